// The settings file, read and written by the real Windows profile functions.
#include "settings/settings_file.h"
#include "settings/setting_values.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "win/test_files.h"

namespace {

using Lines = std::vector<std::string>;

// The file's non-empty lines, without trailing blanks: whether the writer
// keeps those is its own rule.
Lines linesOf(const std::string& bytes) {
    Lines lines;
    std::string line;
    for (char c : bytes + "\n") {
        if (c == '\r' || c == '\n') {
            line.erase(line.find_last_not_of(' ') + 1);
            if (!line.empty()) lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}

class SettingsFile : public ::testing::Test {
protected:
    Settings load() {
        Settings settings;
        loadSettingsFrom(ini.c_str(), settings);
        return settings;
    }

    TempFolder folder;
    const std::string ini = folder.file("Quillmark.ini");
};

TEST_F(SettingsFile, FirstStartWritesTheSixDefaultsInOrderAndLoadsThemBack) {
    const Settings settings = load();
    EXPECT_EQ(linesOf(readBytes(ini)),
              (Lines{"[Setting]", "IgnoreCase=0", "Sort=1", "Separator=--", "[ShowHeader]",
                     "01=Comments", "02=X-", "[HideHeader]", "01=X-UIDL"}));
    EXPECT_EQ(settings.ignoreCase, 0);
    EXPECT_EQ(settings.sort, 1);
    // The profile functions trim the blank that ends "-- ".
    EXPECT_STREQ(settings.separator, "--");
    EXPECT_EQ(settings.showPatterns, (Lines{"Comments", "X-"}));
    EXPECT_EQ(settings.hidePatterns, (Lines{"X-UIDL"}));
}

TEST_F(SettingsFile, TheViewKeysAreReadAndOffWhenAbsent) {
    writeBytes(ini, "[Setting]\r\nSort=1\r\n");
    Settings settings = load();
    EXPECT_EQ(settings.wholeFields, 0);
    EXPECT_EQ(settings.decode, 0);
    EXPECT_EQ(settings.hops, 0);
    EXPECT_EQ(settings.auth, 0);
    EXPECT_EQ(settings.dkim, 0);
    EXPECT_EQ(settings.senders, 0);
    EXPECT_EQ(settings.keys, 0);
    EXPECT_EQ(settings.dkimWait, kDefaultDkimWait);
    EXPECT_TRUE(settings.dnsServers.empty());
    EXPECT_TRUE(settings.authServers.empty());
    // The servers are read as the patterns are, but never lowered.
    writeBytes(ini,
               "[Setting]\r\nWholeFields=2\r\nDecode=1\r\nHops=1\r\nAuth=1\r\nIgnoreCase=1\r\nDkim=1\r\nSenders=1\r\nKeys=1\r\n"
               "DkimWait= 250 \r\nDnsServers=\"192.0.2.1, resolver 10.0.0.53\"\r\n"
               "[AuthServers]\r\n01=MX.example.net\r\n02=*.Example.com\r\n03=-\r\n05=after a gap\r\n");
    settings = load();
    EXPECT_EQ(settings.wholeFields, 2);
    EXPECT_EQ(settings.decode, 1);
    EXPECT_EQ(settings.hops, 1);
    EXPECT_EQ(settings.auth, 1);
    EXPECT_EQ(settings.dkim, 1);
    EXPECT_EQ(settings.senders, 1);
    EXPECT_EQ(settings.keys, 1);
    EXPECT_EQ(settings.dkimWait, 250u);
    EXPECT_EQ(settings.dnsServers, readDnsServers("192.0.2.1 10.0.0.53"));
    EXPECT_EQ(settings.authServers, (Lines{"MX.example.net", "*.Example.com", "-"}));
}

TEST_F(SettingsFile, AFileWithoutASettingSectionIsNotTouched) {
    const std::string bytes = "; mine\r\n[ShowHeader]\r\n01=Received\r\n";
    writeBytes(ini, bytes);
    const Settings settings = load();
    EXPECT_EQ(readBytes(ini), bytes);
    EXPECT_EQ(settings.ignoreCase, 0);
    EXPECT_EQ(settings.sort, 1);
    EXPECT_STREQ(settings.separator, "--");
    EXPECT_EQ(settings.showPatterns, (Lines{"Received"}));
    EXPECT_TRUE(settings.hidePatterns.empty());
}

TEST_F(SettingsFile, QuotesKeepTheSeparatorsBlanks) {
    writeBytes(ini, "[Setting]\r\nSeparator=\"== end ==  \"\r\nSort=0\r\nIgnoreCase=7\r\n");
    const Settings settings = load();
    EXPECT_STREQ(settings.separator, "== end ==  ");
    EXPECT_EQ(settings.sort, 0);
    EXPECT_EQ(settings.ignoreCase, 7);
}

TEST_F(SettingsFile, ListsStopAtTheFirstMissingOrEmptyKey) {
    writeBytes(ini,
               "[ShowHeader]\r\n01=A\r\n02=B\r\n04=D\r\n"
               "[HideHeader]\r\n1=one digit\r\n01=\r\n02=after an empty one\r\n");
    const Settings settings = load();
    EXPECT_EQ(settings.showPatterns, (Lines{"A", "B"}));
    EXPECT_TRUE(settings.hidePatterns.empty());
}

TEST_F(SettingsFile, OnlyKeys01To99AreRead) {
    std::string bytes = "[ShowHeader]\r\n";
    for (int i = 1; i <= 120; ++i) {
        char key[8];
        wsprintfA(key, "%02d", i);
        bytes += std::string(key) + "=P" + std::to_string(i) + "\r\n";
    }
    writeBytes(ini, bytes);
    const Settings settings = load();
    ASSERT_EQ(settings.showPatterns.size(), 99u);
    EXPECT_EQ(settings.showPatterns.front(), "P1");
    EXPECT_EQ(settings.showPatterns.back(), "P99");
}

TEST_F(SettingsFile, ALongValueIsCutByTheReader) {
    const std::string value(2000, 'v');
    writeBytes(ini, "[ShowHeader]\r\n01=" + value + "\r\n");
    const Settings settings = load();
    ASSERT_EQ(settings.showPatterns.size(), 1u);
    EXPECT_EQ(settings.showPatterns[0], std::string(1022, 'v'));
}

TEST_F(SettingsFile, IgnoreCaseLowersOnlyAToZInTheStoredPatterns) {
    writeBytes(ini,
               "[Setting]\r\nIgnoreCase=1\r\n"
               "[ShowHeader]\r\n01=X-Mailer表示ｶﾅ\r\n02=ア\r\n"
               "[HideHeader]\r\n01=X-UIDL\r\n");
    const Settings settings = load();
    // "表" (0x95 0x5C), "示" and the half-width kana stay; the trail byte 0x41
    // of "ア" is an A to Z byte and is lowered, as header lines are.
    EXPECT_EQ(settings.showPatterns, (Lines{"x-mailer表示ｶﾅ", "\x83\x61"}));
    EXPECT_EQ(settings.hidePatterns, (Lines{"x-uidl"}));
}

TEST_F(SettingsFile, AFileHeldOpenByAnotherProgramKeepsItsBytes) {
    const std::string bytes = "[Setting]\r\nIgnoreCase=1\r\nSort=0\r\n[ShowHeader]\r\n01=Received\r\n";
    writeBytes(ini, bytes);
    const struct {
        const char* name;
        DWORD share;
    } holders[] = {
        {"no sharing", 0},
        {"read and write sharing", FILE_SHARE_READ | FILE_SHARE_WRITE},
    };
    for (const auto& holder : holders) {
        const HANDLE held = CreateFileA(ini.c_str(), GENERIC_READ, holder.share, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE) << holder.name;
        const Settings settings = load();
        CloseHandle(held);
        EXPECT_EQ(readBytes(ini), bytes) << holder.name;
        if (holder.share != 0) {
            EXPECT_EQ(settings.ignoreCase, 1) << holder.name;
            EXPECT_EQ(settings.showPatterns, (Lines{"received"})) << holder.name;
        }
    }
}

TEST_F(SettingsFile, ASecondLoadReplacesBothLists) {
    writeBytes(ini, "[ShowHeader]\r\n01=A\r\n02=B\r\n[HideHeader]\r\n01=C\r\n");
    Settings settings;
    loadSettingsFrom(ini.c_str(), settings);
    loadSettingsFrom(ini.c_str(), settings);
    EXPECT_EQ(settings.showPatterns, (Lines{"A", "B"}));
    EXPECT_EQ(settings.hidePatterns, (Lines{"C"}));

    writeBytes(ini, "[ShowHeader]\r\n01=D\r\n");
    loadSettingsFrom(ini.c_str(), settings);
    EXPECT_EQ(settings.showPatterns, (Lines{"D"}));
    EXPECT_TRUE(settings.hidePatterns.empty());
}

// The path beside the module, through a copy of a module loaded from where
// the test wants it.

class SettingsPath : public SettingsFile {
protected:
    // Loads a copy of the probe module as dir\Quillmark.dll.
    HMODULE loadModuleIn(const std::string& dir) {
        const std::string copy = dir + "\\Quillmark.dll";
        EXPECT_TRUE(CopyFileA(besideTestProgram("probe_module.dll").c_str(), copy.c_str(), FALSE));
        const HMODULE module = LoadLibraryA(copy.c_str());
        EXPECT_NE(module, nullptr) << copy;
        return module;
    }

    // A folder inside the temporary one whose Quillmark.dll path has exactly
    // the given length.
    std::string folderForModulePath(std::size_t length) {
        const std::size_t nameLength = std::string("\\Quillmark.dll").size();
        const std::string dir = folder.path() + "\\" +
                                std::string(length - nameLength - folder.path().size() - 1, 'd');
        EXPECT_TRUE(CreateDirectoryA(dir.c_str(), nullptr)) << dir;
        return dir;
    }
};

TEST_F(SettingsPath, TheFileLiesBesideTheModuleAndIsCreatedThere) {
    const HMODULE module = loadModuleIn(folder.path());
    char path[kPathSize];
    ASSERT_TRUE(deriveSettingsPath(module, path));
    EXPECT_STRCASEEQ(path, ini.c_str());

    Settings settings;
    loadSettings(module, settings);
    EXPECT_TRUE(fileExists(ini));
    EXPECT_EQ(settings.showPatterns, (Lines{"Comments", "X-"}));
    FreeLibrary(module);
}

TEST_F(SettingsPath, TheLongestPathIsReadWholeAndALongerOneNotAtAll) {
    for (const std::size_t length : {kPathSize - 2, kPathSize - 1}) {
        const HMODULE module = loadModuleIn(folderForModulePath(length));
        char path[kPathSize];
        EXPECT_TRUE(deriveSettingsPath(module, path)) << length;
        EXPECT_EQ(std::string(path).size(), length);
        FreeLibrary(module);
    }
    const HMODULE cut = loadModuleIn(folderForModulePath(kPathSize));
    char path[kPathSize];
    EXPECT_FALSE(deriveSettingsPath(cut, path));
    EXPECT_STREQ(path, "");
    FreeLibrary(cut);
}

TEST_F(SettingsPath, WithoutAModulePathNothingIsWrittenAndTheReadersDefaultsHold) {
    const auto noSuchModule = reinterpret_cast<HMODULE>(0x1230);
    char path[kPathSize];
    EXPECT_FALSE(deriveSettingsPath(noSuchModule, path));
    EXPECT_STREQ(path, "");

    Settings settings;
    settings.showPatterns = {"stale"};
    loadSettings(noSuchModule, settings);
    EXPECT_EQ(settings.ignoreCase, 0);
    EXPECT_EQ(settings.sort, 1);
    EXPECT_STREQ(settings.separator, "-- ");
    EXPECT_TRUE(settings.showPatterns.empty());
    EXPECT_TRUE(settings.hidePatterns.empty());
}

}  // namespace
