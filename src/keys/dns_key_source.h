// The DLL's key source: TXT lookups through DnsQuery_A on worker threads,
// answers kept in a KeyCache.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "keys/key_cache.h"
#include "keys/key_source.h"

// At most kWorkers lookups run at once, each on a thread of its own that
// holds a reference to this module, so that an unload while one hangs
// leaves the code in place until it ends; the last thread frees the
// reference as it exits. A name already being looked up is not asked again.
class DnsKeySource final : public KeySource {
public:
    static constexpr std::size_t kWorkers = 5;
    // Names waiting for a worker, at most; one more is not looked up.
    static constexpr std::size_t kQueued = 100;

    DnsKeySource();
    // Only ever destroyed when no worker runs: at the module's unload, which
    // waits for the workers' references.
    ~DnsKeySource();
    DnsKeySource(const DnsKeySource&) = delete;
    DnsKeySource& operator=(const DnsKeySource&) = delete;

    // The servers to ask, IPv4 addresses in network order; none: the
    // system's resolver.
    void useServers(const std::vector<std::uint32_t>& servers);

    void lookUp(const std::string* names, std::size_t count, std::uint32_t waitMs, KeyAnswer* answers) override;

private:
    static DWORD WINAPI work(void* source);
    // Starts a worker if fewer than kWorkers run; under the lock.
    void startWorker();
    // Asks DNS for the TXT records at name; sets the answer and its time to live.
    static void query(const std::string& name, const std::vector<std::uint32_t>& servers, KeyAnswer& answer,
                      std::uint32_t& ttlSeconds);

    CRITICAL_SECTION lock_;
    CONDITION_VARIABLE settled_;  // a lookup came to an end
    KeyCache cache_;
    std::vector<std::string> queue_;
    std::vector<std::uint32_t> servers_;
    std::size_t running_ = 0;
};
