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

// The user's local date, which the history of senders counts in. Read
// again at the start, each minute, and a minute after it was last read:
// the local time takes the time zone's rules, which cost more than a mail's
// notes; a date a minute late after midnight is still the user's day.
Day today(bool again = false) {
    static DWORD readAt = 0;
    static Day day = 0;
    const DWORD now = GetTickCount();
    if (again || day == 0 || now - readAt >= 60000) {
        SYSTEMTIME local;
        GetLocalTime(&local);
        day = dayOf(local.wYear, local.wMonth, local.wDay);
        readAt = now;
    }
    return day;
}

// Whether the history of senders is kept: Senders and a trust line on.
bool keepsSenders(const Settings& settings) {
    return switchedOn(settings.senders) && (switchedOn(settings.auth) || switchedOn(settings.dkim));
}

}  // namespace

extern "C" {

int WINAPI BKC_OnStart() {
    return guarded(0, [] {
        loadSettings(plugin.module, plugin.settings);
        // Read once: a later start keeps what this session learned.
        if (keepsSenders(plugin.settings)) {
            const Day day = today(true);
            if (plugin.senders == nullptr) plugin.senders = new KeptHistory(plugin.module, day);
        }
        if (!switchedOn(plugin.settings.dkim)) return;
        if (plugin.keys == nullptr) plugin.keys = new DnsKeySource();
        plugin.keys->useServers(plugin.settings.dnsServers);
    });
}

// The history of senders is written when it changed, merged with what
// another process saved; a failure leaves it in memory, for the next minute.
int WINAPI BKC_OnExit() {
    return guarded(0, [] {
        if (plugin.senders != nullptr) plugin.senders->save(today());
    });
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
        showHeaderView(plugin.host, plugin.settings, mailId, plugin.converter, &dkim, check);
    });
}

int WINAPI BKC_OnEveryMinute() {
    return guarded(0, [] {
        if (plugin.senders == nullptr) return;
        // A file locked at the start is read now, if it can be.
        plugin.senders->save(today(true));
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
