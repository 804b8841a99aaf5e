// The module's entry point: it binds the host at load, or refuses the load.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "about/plugin_info.h"
#include "plugin/plugin_state.h"

PluginState plugin;

namespace {

constexpr char kRefusalFormat[] =
    "プラグイン「%s」でエラーが発生しました。\r\nBecky!! とプラグインのバージョンを確認してください";
constexpr char kRefusalCaption[] = "プラグインエラー";
constexpr std::size_t kMessageSize = 256;
// The name field holds at most 79 bytes, so the message always fits.
static_assert(sizeof kRefusalFormat - 2 + sizeof PluginInfo{}.name <= kMessageSize);

// Tells the user that this host does not match the plug-in.
void showRefusal(HMODULE module) noexcept {
    PluginInfo info;
    fillPluginInfo(module, info);
    char message[kMessageSize];
    wsprintfA(message, kRefusalFormat, info.name);
    MessageBoxA(nullptr, message, kRefusalCaption, MB_OK | MB_ICONHAND);
}

}  // namespace

// A host that lacks any one of its functions is another version of the
// client: the load is refused rather than risk calling into it.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Unloaded while the process goes on: no lookup runs any more, as
        // each holds the module. When the process ends instead, its threads
        // are gone mid-way and nothing of theirs is touched.
        delete plugin.keys;
        plugin.keys = nullptr;
        delete plugin.senders;
        plugin.senders = nullptr;
        delete plugin.keptKeys;
        plugin.keptKeys = nullptr;
    }
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    plugin.module = instance;
    if (plugin.host.bind()) return TRUE;
    showRefusal(instance);
    return FALSE;
}

// The callbacks let no exception out, so terminate is never reached. This
// stands in for the C++ library's verbose handler, which would print the
// exception's demangled name and bring the whole demangler into the DLL.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The library's strings report misuse (a position past the end, a length too
// great) through these. Every callback catches whatever is thrown and skips
// its work, so what is thrown does not matter; the library's own versions
// build exception objects that carry strings of the library's older kind,
// and with them would bring some 50 KB of code into the DLL.
namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_alloc(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { throw bad_alloc(); }
void __throw_out_of_range_fmt(const char*, ...) { throw bad_alloc(); }
}  // namespace std
