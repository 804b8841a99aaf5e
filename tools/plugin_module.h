// The plug-in module as the client loads it, with typed calls of its
// callbacks, each made as a host built by another compiler makes it (see
// host_call.h).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include "about/plugin_info.h"
#include "host/host_interface.h"
#include "host_call.h"

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

    int onStart() { return call("BKC_OnStart"); }
    int onExit() { return call("BKC_OnExit"); }
    int onEveryMinute() { return call("BKC_OnEveryMinute"); }
    int onOpenMail(MailId mail) { return call("BKC_OnOpenMail", mail); }
    int onMenuInit(HWND window, HMENU menu, int type) { return call("BKC_OnMenuInit", window, menu, type); }
    int onPlugInSetup(HWND owner) { return call("BKC_OnPlugInSetup", owner); }
    int onPlugInInfo(PluginInfo* info) { return call("BKC_OnPlugInInfo", info); }

    // The calls made so far, and the first thing a callback did not give
    // back as the host set it (empty when none).
    const HostCaller& calls() const { return caller_; }

private:
    template <typename Arg>
    static std::uint32_t word(Arg arg) {
        if constexpr (std::is_pointer_v<Arg>) {
            return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(arg));
        } else {
            return static_cast<std::uint32_t>(arg);
        }
    }

    // Calls the named callback; -1 when the module lacks it.
    template <typename... Args>
    int call(const char* name, Args... args) {
        const FARPROC address = callback(name);
        if (address == nullptr) return -1;
        const std::uint32_t words[] = {word(args)..., 0};
        return caller_.call(name, reinterpret_cast<const void*>(address), words, sizeof...(Args));
    }

    HMODULE module_;
    DWORD error_;
    HostCaller caller_;
};
