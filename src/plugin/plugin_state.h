// What the plug-in keeps for the life of the process: written at attach and
// in BKC_OnStart, read by every callback, one callback at a time. Only the
// entry point and the callbacks see it.
#pragma once

#include <windows.h>

#include "charset/windows_converter.h"
#include "crypto/cng_crypto.h"
#include "host/host_api.h"
#include "keptfile/kept_file.h"
#include "keys/dns_key_source.h"
#include "keys/kept_keys.h"
#include "senders/kept_history.h"
#include "settings/settings.h"

// The DKIM keys that verified, kept in Quillmark-keys.txt beside the DLL.
struct KeptKeysFile {
    // The largest file read: as many lines as are kept, each of the longest.
    static constexpr std::size_t kLargest = KeptKeys::kMaxLines * KeptKeys::kMaxLineLength;

    KeptKeysFile(HMODULE module, Day today) : keys(today), file(module, "Quillmark-keys.txt", keys, kLargest) {
        file.open(today);
    }
    KeptKeys keys;
    KeptFile file;  // of keys, made after them
};

struct PluginState {
    HINSTANCE module = nullptr;  // this DLL; set at process attach
    HostApi host;                // bound at process attach; unbound again at unload
    Settings settings;           // loaded by BKC_OnStart
    WindowsConverter converter;  // keeps mlang once loaded, and a buffer
    CngCrypto crypto;            // keeps the SHA-256 provider once opened
    // Made when a start turns Dkim on. Its lookups may outlive an unload by
    // the host (they hold the module), so it goes only at the real unload.
    DnsKeySource* keys = nullptr;
    // Read at the first start that turns Senders and a trust line on;
    // written when it changed, each minute and at the exit.
    KeptHistory* senders = nullptr;
    // Read at the first start that turns Keys and Dkim on; written as the history is.
    KeptKeysFile* keptKeys = nullptr;
};

extern PluginState plugin;
