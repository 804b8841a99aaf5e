#include "settings/settings_file.h"

#include <windows.h>

#include <cstring>

#include "settings/setting_values.h"
#include "text/ascii.h"

namespace {

constexpr char kSettingSection[] = "Setting";
constexpr char kShowSection[] = "ShowHeader";
constexpr char kHideSection[] = "HideHeader";
constexpr char kAuthServersSection[] = "AuthServers";
constexpr char kDefaultSeparator[] = "-- ";
// The reader is given one byte less than the buffer holds.
constexpr DWORD kValueReadSize = 1023;

// Only a file that is really not there gets the defaults: one that is locked
// or unreadable holds the user's settings, which must never be overwritten.
bool fileIsAbsent(const char* path) {
    const HANDLE file =
        CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    CloseHandle(file);
    return false;
}

void writeDefaults(const char* path) {
    WritePrivateProfileStringA(kSettingSection, "IgnoreCase", "0", path);
    WritePrivateProfileStringA(kSettingSection, "Sort", "1", path);
    WritePrivateProfileStringA(kSettingSection, "Separator", kDefaultSeparator, path);
    WritePrivateProfileStringA(kShowSection, "01", "Comments", path);
    WritePrivateProfileStringA(kShowSection, "02", "X-", path);
    WritePrivateProfileStringA(kHideSection, "01", "X-UIDL", path);
}

// Reads keys 01, 02, ... up to 99 of section, stopping at the first empty one.
void readPatternList(const char* path, const char* section, bool lower, PatternList& list) {
    for (std::size_t i = 1; i <= kMaxPatterns; ++i) {
        char key[8];
        wsprintfA(key, "%02d", static_cast<int>(i));
        char value[kValueReadSize + 1];
        GetPrivateProfileStringA(section, key, "", value, kValueReadSize, path);
        if (value[0] == '\0') return;
        if (lower) lowerAsciiInPlace(value);
        list.emplace_back(value);
    }
}

}  // namespace

bool moduleFilePath(HMODULE module, char (&buffer)[kPathSize]) {
    const DWORD length = GetModuleFileNameA(module, buffer, kPathSize);
    // A length that reaches the buffer's size means the path was cut.
    if (length == 0 || length >= kPathSize) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

bool deriveSettingsPath(HMODULE module, char (&buffer)[kPathSize]) {
    if (!moduleFilePath(module, buffer)) return false;
    const std::size_t length = std::strlen(buffer);
    if (length < 3) {
        buffer[0] = '\0';
        return false;
    }
    std::memcpy(buffer + length - 3, "ini", 3);
    return true;
}

void loadSettingsFrom(const char* path, Settings& settings) {
    // What the reader gives for a file without keys: the values a null path keeps.
    settings = Settings{};
    settings.sort = 1;
    std::memcpy(settings.separator, kDefaultSeparator, sizeof kDefaultSeparator);
    if (path == nullptr || path[0] == '\0') return;
    if (fileIsAbsent(path)) writeDefaults(path);

    const auto readInt = [path](const char* key, int fallback) {
        return static_cast<std::int32_t>(GetPrivateProfileIntA(kSettingSection, key, fallback, path));
    };
    settings.ignoreCase = readInt("IgnoreCase", 0);
    settings.sort = readInt("Sort", 1);
    GetPrivateProfileStringA(kSettingSection, "Separator", kDefaultSeparator, settings.separator,
                             kSeparatorSize, path);
    // Opt-in views: without their keys the view is the plain one of lines.
    settings.wholeFields = readInt("WholeFields", 0);
    settings.decode = readInt("Decode", 0);
    settings.hops = readInt("Hops", 0);
    settings.auth = readInt("Auth", 0);
    settings.dkim = readInt("Dkim", 0);
    settings.senders = readInt("Senders", 0);
    settings.keys = readInt("Keys", 0);
    char value[kValueReadSize + 1];
    GetPrivateProfileStringA(kSettingSection, "DkimWait", "", value, kValueReadSize, path);
    settings.dkimWait = readDkimWait(value);
    GetPrivateProfileStringA(kSettingSection, "DnsServers", "", value, kValueReadSize, path);
    settings.dnsServers = readDnsServers(value);
    const bool lower = settings.ignoreCase != 0;
    readPatternList(path, kShowSection, lower, settings.showPatterns);
    readPatternList(path, kHideSection, lower, settings.hidePatterns);
    // Matched case-blind as they stand, whatever IgnoreCase says.
    readPatternList(path, kAuthServersSection, false, settings.authServers);
}

void loadSettings(HMODULE module, Settings& settings) {
    char path[kPathSize];
    loadSettingsFrom(deriveSettingsPath(module, path) ? path : nullptr, settings);
}
