// Quillmark.dll as a user installs it, for the programs that play the host.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "host_exports.h"
#include "plugin_module.h"
#include "win/test_files.h"

// The settings file's own text, rather than a file to copy.
struct IniText {
    std::string text;
};

// Quillmark.dll copied into a fresh folder, with the given settings file
// beside it or none, and loaded; called as a host built by another compiler
// calls it (see host_call.h).
class InstalledPlugin {
public:
    explicit InstalledPlugin(const std::string& ini = "") {
        if (!ini.empty()) {
            EXPECT_TRUE(CopyFileA(ini.c_str(), folder.file("Quillmark.ini").c_str(), FALSE));
        }
        load();
    }
    explicit InstalledPlugin(const IniText& ini) {
        writeBytes(folder.file("Quillmark.ini"), ini.text);
        load();
    }
    // Every call the test made kept the calling convention.
    ~InstalledPlugin() {
        if (plugin != nullptr) {
            EXPECT_EQ(plugin->calls().fault(), "");
        }
    }
    InstalledPlugin(const InstalledPlugin&) = delete;
    InstalledPlugin& operator=(const InstalledPlugin&) = delete;

    TempFolder folder;
    std::unique_ptr<PluginModule> plugin;

private:
    void load() {
        const std::string dll = folder.file("Quillmark.dll");
        EXPECT_TRUE(CopyFileA(windowsPathOf(QM_PLUGIN_DLL).c_str(), dll.c_str(), FALSE));
        standin::reset();
        plugin = std::make_unique<PluginModule>(dll);
        EXPECT_TRUE(plugin->loaded()) << "error " << plugin->loadError();
    }
};
