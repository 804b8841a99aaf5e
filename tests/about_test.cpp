// The plug-in's identity: version strings, information record, settings
// summary and menu item. This program carries the module's version resource,
// so given a null module the code under test reads it from here.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "about/menu_item.h"
#include "about/plugin_info.h"
#include "about/setup_summary.h"
#include "about/version_info.h"
#include "box_watcher.h"
#include "client_menu.h"
#include "core_settings.h"
#include "fake_host.h"
#include "settings/settings_file.h"
#include "win/test_files.h"

// The load refusal fills its record under the loader lock, where nothing may
// throw: while this is set, every allocation that could throw does.
static bool refuseThrowingNew = false;

void* operator new(std::size_t size) {
    void* block = refuseThrowingNew ? nullptr : std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

const char kComments[] = "同じヘッダが複数あってもOKなヘッダ表示用Plugin";

std::string ownPath() {
    char path[MAX_PATH];
    return std::string(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
}

// Version resource.

TEST(VersionResource, EveryStringComesBackInCodePage932) {
    ASSERT_EQ(GetACP(), 932u) << "Wine needs LANG=ja_JP.UTF-8";
    std::uint32_t translation = 0;
    const VersionBlock block = loadModuleVersionBlock(nullptr, translation);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(translation, 0x04B00411u);

    const struct {
        const char* name;
        std::string value;
    } strings[] = {
        {"Comments", kComments},
        {"CompanyName", ""},
        {"FileDescription", "Tavisel Plugin"},
        {"FileVersion", "Ver.0.20"},
        {"InternalName", "Quillmark"},
        {"LegalCopyright", "Copyright (C) 2026 Zelvorn"},
        {"LegalTrademarks", ""},
        {"OriginalFilename", "Quillmark.dll"},
        {"PrivateBuild", ""},
        {"ProductName", "Quillmark ﾀﾞｲﾅﾐｯｸ ﾘﾝｸ ﾗｲﾌﾞﾗﾘ"},
        {"ProductVersion", "0, 20, 0, 7"},
        {"SpecialBuild", ""},
    };
    for (const auto& string : strings) {
        char value[256];
        EXPECT_TRUE(queryVersionString(value, sizeof value, block.get(), translation, string.name))
            << string.name;
        EXPECT_EQ(std::string(value), string.value) << string.name;
    }
    // Half-width katakana are single bytes: "ﾀﾞ" is 0xC0 0xDE.
    EXPECT_EQ(std::string("ﾀﾞ"), "\xC0\xDE");
}

TEST(VersionResource, TheFixedPartDescribesA32BitDll) {
    std::uint32_t translation = 0;
    const VersionBlock block = loadModuleVersionBlock(nullptr, translation);
    ASSERT_NE(block, nullptr);
    void* value = nullptr;
    UINT length = 0;
    char root[] = "\\";
    ASSERT_TRUE(VerQueryValueA(block.get(), root, &value, &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00000014u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000007u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00000014u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000007u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
}

TEST(VersionResource, AMissingNameOrBlockGivesAnEmptyValue) {
    std::uint32_t translation = 0;
    const VersionBlock block = loadModuleVersionBlock(nullptr, translation);
    char value[16];
    std::memset(value, 'x', sizeof value);
    EXPECT_FALSE(queryVersionString(value, sizeof value, block.get(), translation, "NoSuchName"));
    EXPECT_STREQ(value, "");
    std::memset(value, 'x', sizeof value);
    EXPECT_FALSE(queryVersionString(value, sizeof value, nullptr, translation, "FileVersion"));
    EXPECT_STREQ(value, "");

    EXPECT_EQ(loadVersionBlock(besideTestProgram("probe_module.dll").c_str(), translation), nullptr);
    EXPECT_EQ(loadVersionBlock("Z:\\no\\such\\file.dll", translation), nullptr);
}

TEST(VersionResource, ACopyNeverRunsPastItsDestination) {
    std::uint32_t translation = 0;
    const VersionBlock block = loadModuleVersionBlock(nullptr, translation);
    char value[12];
    std::memset(value, '#', sizeof value);
    EXPECT_TRUE(queryVersionString(value, 8, block.get(), translation, "FileDescription"));
    EXPECT_EQ(std::string(value, 12), std::string("Tavisel\0####", 12));

    // "同じヘッダ" is ten bytes: with its NUL it does not fit, and the cut
    // falls between characters.
    std::memset(value, '#', sizeof value);
    EXPECT_TRUE(queryVersionString(value, 10, block.get(), translation, "Comments"));
    EXPECT_EQ(std::string(value, 12), std::string("同じヘッ") + std::string("\0###", 4));
}

// Information record.

TEST(PluginInfoRecord, FillsEachFieldAndLeavesTheBytesAfterItsEnd) {
    PluginInfo info;
    std::memset(&info, 0xAA, sizeof info);
    fillPluginInfo(nullptr, info);
    const std::string bytes(reinterpret_cast<const char*>(&info), sizeof info);
    const auto expectField = [&](std::size_t offset, std::size_t size, const std::string& text) {
        EXPECT_EQ(bytes.substr(offset, text.size() + 1), text + '\0') << "at " << offset;
        EXPECT_EQ(bytes.substr(offset + text.size() + 1, size - text.size() - 1),
                  std::string(size - text.size() - 1, '\xAA'))
            << "after " << text;
    };
    expectField(0, 80, "Tavisel Plugin");
    expectField(80, 80, "Zelvorn");
    expectField(160, 80, "Ver.0.20");
    expectField(240, 256, kComments);
}

TEST(PluginInfoRecord, IsFilledWithoutAnAllocationThatCouldThrow) {
    PluginInfo info{};
    refuseThrowingNew = true;
    try {
        fillPluginInfo(nullptr, info);
    } catch (...) {
    }
    refuseThrowingNew = false;
    EXPECT_STREQ(info.name, "Tavisel Plugin");
    EXPECT_STREQ(info.description, kComments);
}

TEST(PluginInfoRecord, WithoutAVersionResourceOnlyTheVendorIsWritten) {
    const auto noSuchModule = reinterpret_cast<HMODULE>(0x1230);
    PluginInfo info;
    std::memset(&info, 0xAA, sizeof info);
    fillPluginInfo(noSuchModule, info);
    EXPECT_STREQ(info.name, "");
    EXPECT_STREQ(info.vendor, "Zelvorn");
    EXPECT_STREQ(info.version, "");
    EXPECT_STREQ(info.description, "");
}

// Settings summary, read from the real box.

class SetupSummaryBox : public ::testing::Test {
protected:
    BoxWatcher::Box show(const Settings& settings) {
        BoxWatcher watcher;
        showSetupSummary(nullptr, nullptr, settings);
        return watcher.result();
    }

    static std::string expectedBody(const std::string& patternLines) {
        const std::string path = ownPath();
        return "Tavisel Plugin Ver.0.20\nCopyright (C) 2026 Zelvorn\n\n現在の設定\n  [ShowHeader]\n" +
               patternLines +
               "\n設定を変更する際は下記のINIファイルを修正してください。\n"
               "設定はBecky!を再起動するまで有効になりません。\n" +
               path.substr(0, path.size() - 3) + "ini";
    }
};

TEST_F(SetupSummaryBox, ListsTheDefaultPatterns) {
    const BoxWatcher::Box box = show(defaultSettings());
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.caption, "Tavisel Plugin のﾊﾞｰｼﾞｮﾝ情報");
    EXPECT_EQ(box.body, expectedBody("    Comments\n    X-\n  [HideHeader]\n    X-UIDL\n"));
    EXPECT_FALSE(box.errorIcon);
}

TEST_F(SetupSummaryBox, ShowsThePatternsAsLoadedCaseBlind) {
    TempFolder folder;
    const std::string ini = folder.file("Quillmark.ini");
    writeBytes(ini, "[Setting]\r\nIgnoreCase=1\r\n[ShowHeader]\r\n01=Comments\r\n[HideHeader]\r\n01=X-UIDL\r\n");
    Settings settings;
    loadSettingsFrom(ini.c_str(), settings);
    const BoxWatcher::Box box = show(settings);
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.body, expectedBody("    comments\n  [HideHeader]\n    x-uidl\n"));
}

TEST_F(SetupSummaryBox, KeepsBothSectionLinesWhenTheListsAreEmpty) {
    const BoxWatcher::Box box = show(Settings{});
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.body, expectedBody("  [HideHeader]\n"));
}

// Menu item.

class MenuItem : public ::testing::Test {
protected:
    void TearDown() override { DestroyMenu(menu); }

    // Each popup's item count.
    std::vector<int> counts() const {
        std::vector<int> result;
        for (int i = 0; i < 6; ++i) result.push_back(GetMenuItemCount(GetSubMenu(menu, i)));
        return result;
    }

    HMENU menu = makeClientMenu();
    FakeHost host;
};

TEST_F(MenuItem, OtherMenuTypesAreLeftAlone) {
    installMenuItem(host, menu, 1);
    EXPECT_EQ(counts(), (std::vector<int>{1, 1, 1, 1, 1, 1}));
    EXPECT_TRUE(host.registrations.empty());
}

TEST_F(MenuItem, EachCallAppendsASeparatorAndAnItemWithItsOwnCommand) {
    installMenuItem(host, menu, 0);
    installMenuItem(host, menu, 0);
    EXPECT_EQ(counts(), (std::vector<int>{1, 1, 1, 1, 1, 5}));
    ASSERT_EQ(host.registrations.size(), 2u);

    for (int n = 0; n < 2; ++n) {
        const FakeHost::Registration& registration = host.registrations[n];
        EXPECT_EQ(registration.label, "Tavisel Pluginについて");
        EXPECT_EQ(registration.target, 0);
        EXPECT_EQ(registration.handler, onAboutCommand);

        const HMENU sub = GetSubMenu(menu, 5);
        EXPECT_EQ(readMenuItem(sub, 1 + 2 * n).type, static_cast<UINT>(MFT_SEPARATOR));
        const MenuItemReading item = readMenuItem(sub, 2 + 2 * n);
        ASSERT_TRUE(item.found);
        EXPECT_EQ(item.type, static_cast<UINT>(MFT_STRING));
        EXPECT_EQ(item.id, 40001u + n);
        EXPECT_EQ(item.text, "Tavisel Pluginについて");
    }
}

TEST_F(MenuItem, TheCommandDoesNothing) {
    installMenuItem(host, menu, 0);
    ASSERT_EQ(host.registrations.size(), 1u);
    BoxWatcher watcher(500);
    host.registrations[0].handler(0, 0);
    EXPECT_FALSE(watcher.result().seen);
    EXPECT_EQ(counts(), (std::vector<int>{1, 1, 1, 1, 1, 3}));
}

}  // namespace
