// The plug-in module as the client loads it, with typed calls of its
// callbacks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "about/plugin_info.h"
#include "host/host_interface.h"

class PluginModule {
public:
    // Loads the module at path; see loaded() and loadError().
    explicit PluginModule(const std::string& path)
        : module_(LoadLibraryA(path.c_str())), error_(module_ ? 0 : GetLastError()) {}
    ~PluginModule() {
        if (module_) FreeLibrary(module_);
    }
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    bool loaded() const { return module_ != nullptr; }
    DWORD loadError() const { return error_; }
    HMODULE handle() const { return module_; }

    // The exported callback of that name, or null.
    FARPROC callback(const char* name) const { return module_ ? GetProcAddress(module_, name) : nullptr; }

    int onStart() { return call<int(WINAPI*)()>("BKC_OnStart"); }
    int onOpenMail(MailId mail) { return call<int(WINAPI*)(MailId)>("BKC_OnOpenMail", mail); }
    int onMenuInit(HWND window, HMENU menu, int type) {
        return call<int(WINAPI*)(HWND, HMENU, int)>("BKC_OnMenuInit", window, menu, type);
    }
    int onPlugInSetup(HWND owner) { return call<int(WINAPI*)(HWND)>("BKC_OnPlugInSetup", owner); }
    int onPlugInInfo(PluginInfo* info) {
        return call<int(WINAPI*)(PluginInfo*)>("BKC_OnPlugInInfo", info);
    }

private:
    // Calls the named callback; -1 when the module lacks it.
    template <typename Function, typename... Args>
    int call(const char* name, Args... args) {
        const FARPROC address = callback(name);
        if (address == nullptr) return -1;
        return reinterpret_cast<Function>(reinterpret_cast<void*>(address))(args...);
    }

    HMODULE module_;
    DWORD error_;
};
