// The callbacks the host calls, exported by name and ordinal through
// Quillmark.def. Each hands its work to the module that does it; none lets a
// C++ exception reach the host, which knows nothing of them.
#include <windows.h>

#include <cstdint>
#include <optional>

#include "about/menu_item.h"
#include "about/plugin_info.h"
#include "about/setup_summary.h"
#include "headerview/header_view.h"
#include "plugin/plugin_state.h"
#include "settings/settings_file.h"

namespace {

// Runs work and returns result whatever happens: a failure is silent, as
// every failure of this plug-in is.
template <typename Work>
int guarded(int result, Work&& work) noexcept {
    try {
        work();
    } catch (...) {
    }
    return result;
}

// The machine's clock, which judges whether a signature has expired.
std::int64_t secondsSince1970() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t ticks = (std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    constexpr std::uint64_t kTicksTo1970 = 116444736000000000u;  // of 100 ns, from 1601
    return static_cast<std::int64_t>((ticks - kTicksTo1970) / 10000000u);
}

// The user's local date, which the history of senders and the kept keys
// count in, and how far the local time is ahead of UTC, which dates a
// mail's arrival alike. Read again at the start, each minute, and a minute
// after it was last read: the local time takes the time zone's rules,
// which cost more than a mail's notes; a date a minute late after midnight
// is still the user's day.
struct LocalClock {
    Day day = 0;
    std::int32_t zoneOffset = 0;  // seconds
};
const LocalClock& localClock(bool again = false) {
    static DWORD readAt = 0;
    static LocalClock clock;
    const DWORD now = GetTickCount();
    if (again || clock.day == 0 || now - readAt >= 60000) {
        SYSTEMTIME local;
        SYSTEMTIME utc;
        GetLocalTime(&local);
        GetSystemTime(&utc);
        clock.day = dayOf(local.wYear, local.wMonth, local.wDay);
        // Of the times of day: a zone is 12 hours behind UTC at most, and
        // 14 ahead, whichever date each clock reads.
        constexpr std::int32_t kDay = 86400;
        std::int32_t offset = ((local.wHour - utc.wHour) * 60 + (local.wMinute - utc.wMinute)) * 60;
        if (offset > 14 * 3600) offset -= kDay;
        if (offset < -12 * 3600) offset += kDay;
        clock.zoneOffset = offset;
        readAt = now;
    }
    return clock;
}
Day today(bool again = false) { return localClock(again).day; }

// Whether the history of senders is kept: Senders and a trust line on.
bool keepsSenders(const Settings& settings) {
    return switchedOn(settings.senders) && (switchedOn(settings.auth) || switchedOn(settings.dkim));
}

// Whether the keys that verified are kept: Keys and Dkim on.
bool keepsKeys(const Settings& settings) { return switchedOn(settings.keys) && switchedOn(settings.dkim); }

// The kept files are written when they changed, merged with what another
// process saved; a failure leaves them in memory, for the next minute.
void saveKept(Day day) {
    if (plugin.senders != nullptr) plugin.senders->save(day);
    if (plugin.keptKeys != nullptr) plugin.keptKeys->file.save(day);
}

}  // namespace

extern "C" {

int WINAPI BKC_OnStart() {
    return guarded(0, [] {
        loadSettings(plugin.module, plugin.settings);
        // The clock is read afresh at each start, whatever an earlier
        // session of the loaded module read.
        const Day day = today(true);
        // Read once: a later start keeps what this session learned.
        if (keepsSenders(plugin.settings) && plugin.senders == nullptr) plugin.senders = new KeptHistory(plugin.module, day);
        if (keepsKeys(plugin.settings) && plugin.keptKeys == nullptr) plugin.keptKeys = new KeptKeysFile(plugin.module, day);
        if (!switchedOn(plugin.settings.dkim)) return;
        if (plugin.keys == nullptr) plugin.keys = new DnsKeySource();
        plugin.keys->useServers(plugin.settings.dnsServers);
    });
}

int WINAPI BKC_OnExit() {
    return guarded(0, [] { saveKept(today()); });
}

int WINAPI BKC_OnMenuInit(HWND /*window*/, HMENU menu, int menuType) {
    return guarded(0, [&] { installMenuItem(plugin.host, menu, menuType); });
}

int WINAPI BKC_OnOpenFolder(std::uint32_t /*folderId*/) { return 0; }

int WINAPI BKC_OnOpenMail(MailId mailId) {
    return guarded(0, [&] {
        std::optional<SenderCheck> senders;
        if (plugin.senders != nullptr && keepsSenders(plugin.settings)) senders.emplace(plugin.senders->history(), today());
        SenderCheck* check = senders ? &*senders : nullptr;
        if (plugin.keys == nullptr) {
            showHeaderView(plugin.host, plugin.settings, mailId, plugin.converter, nullptr, check);
            return;
        }
        DkimServices dkim{*plugin.keys, plugin.crypto, plugin.converter, secondsSince1970(), check};
        if (plugin.keptKeys != nullptr && keepsKeys(plugin.settings)) dkim.keptKeys = &plugin.keptKeys->keys;
        dkim.today = localClock().day;
        dkim.zoneOffset = localClock().zoneOffset;
        showHeaderView(plugin.host, plugin.settings, mailId, plugin.converter, &dkim, check);
    });
}

int WINAPI BKC_OnEveryMinute() {
    return guarded(0, [] {
        // A file locked at the start is read now, if it can be.
        saveKept(today(true));
    });
}

int WINAPI BKC_OnOpenCompose(std::uint32_t /*window*/, std::uint32_t /*mode*/) { return 0; }

int WINAPI BKC_OnOutgoing(std::uint32_t /*window*/, std::uint32_t /*mode*/) { return 0; }

int WINAPI BKC_OnKeyDispatch(std::uint32_t /*window*/, std::uint32_t /*key*/,
                             std::uint32_t /*shift*/) {
    return 0;
}

int WINAPI BKC_OnRetrieve(std::uint32_t /*mail*/, std::uint32_t /*mailId*/) { return 0; }

int WINAPI BKC_OnSend(std::uint32_t /*mail*/) { return 0; }

int WINAPI BKC_OnFinishRetrieve(std::uint32_t /*count*/) { return 0; }

int WINAPI BKC_OnPlugInSetup(HWND ownerWindow) {
    return guarded(1, [&] { showSetupSummary(plugin.module, ownerWindow, plugin.settings); });
}

int WINAPI BKC_OnPlugInInfo(PluginInfo* info) {
    return guarded(0, [&] {
        if (info != nullptr) fillPluginInfo(plugin.module, *info);
    });
}

int WINAPI BKC_OnDragDrop(std::uint32_t /*target*/, std::uint32_t /*source*/,
                          std::uint32_t /*count*/, std::uint32_t /*effect*/) {
    return 0;
}

}  // extern "C"
