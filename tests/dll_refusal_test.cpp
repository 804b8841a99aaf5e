// The module in a host that lacks one of the 54 functions: this program
// exports all of them but BKA_Connect.
#include <gtest/gtest.h>
#include <windows.h>

#include "box_watcher.h"
#include "plugin_module.h"
#include "win/test_files.h"

namespace {

TEST(LoadRefusal, AHostLackingAFunctionGetsTheErrorBoxAndTheLoadFails) {
    TempFolder folder;
    const std::string dll = folder.file("Quillmark.dll");
    ASSERT_TRUE(CopyFileA(windowsPathOf(QM_PLUGIN_DLL).c_str(), dll.c_str(), FALSE));

    BoxWatcher watcher;  // running before the load: the box comes under the loader lock
    {
        PluginModule plugin(dll);
        EXPECT_FALSE(plugin.loaded());
    }
    const BoxWatcher::Box box = watcher.result();
    ASSERT_TRUE(box.seen);
    EXPECT_EQ(box.caption, "プラグインエラー");
    EXPECT_EQ(box.body,
              "プラグイン「Tavisel Plugin」でエラーが発生しました。\r\n"
              "Becky!! とプラグインのバージョンを確認してください");
    EXPECT_TRUE(box.errorIcon);
    EXPECT_EQ(GetModuleHandleA("Quillmark.dll"), nullptr);
    // Refused before it was ever started: no settings file was written.
    EXPECT_FALSE(fileExists(folder.file("Quillmark.ini")));
}

}  // namespace
