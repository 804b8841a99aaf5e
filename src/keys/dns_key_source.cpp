#include "keys/dns_key_source.h"

#include <windns.h>

#include <algorithm>
#include <memory>
#include <new>

namespace {

// Held while in scope.
class Locked {
public:
    explicit Locked(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
    ~Locked() { LeaveCriticalSection(&lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    CRITICAL_SECTION& lock_;
};

// How long "no key" lasts when the answer tells nothing of it.
constexpr std::uint32_t kUnknownTtl = 60;

}  // namespace

DnsKeySource::DnsKeySource() {
    InitializeCriticalSection(&lock_);
    InitializeConditionVariable(&settled_);
}

DnsKeySource::~DnsKeySource() { DeleteCriticalSection(&lock_); }

void DnsKeySource::useServers(const std::vector<std::uint32_t>& servers) {
    Locked locked(lock_);
    // Other servers may answer otherwise: what these gave is not theirs.
    if (servers == servers_) return;
    servers_ = servers;
    cache_.forget();
}

void DnsKeySource::startWorker() {
    if (running_ == kWorkers || queue_.empty()) return;
    // The worker's own reference to this module, taken before it exists.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&DnsKeySource::work),
                            &module)) {
        return;
    }
    const HANDLE thread = CreateThread(nullptr, 0, &DnsKeySource::work, this, 0, nullptr);
    if (thread == nullptr) {
        FreeLibrary(module);
        return;
    }
    CloseHandle(thread);
    ++running_;
}

DWORD WINAPI DnsKeySource::work(void* source) {
    auto& self = *static_cast<DnsKeySource*>(source);
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&DnsKeySource::work), &module);
    EnterCriticalSection(&self.lock_);
    while (!self.queue_.empty()) {
        // Nothing here may throw out of the thread: taking the name moves
        // it, and a lookup that cannot be made has failed.
        std::string name;
        name.swap(self.queue_.front());
        self.queue_.erase(self.queue_.begin());
        KeyAnswer answer{KeyState::kFailed, nullptr};
        std::uint32_t ttl = 0;
        std::vector<std::uint32_t> servers;
        bool copied = true;
        try {
            servers = self.servers_;
        } catch (...) {
            copied = false;
        }
        LeaveCriticalSection(&self.lock_);
        if (copied) {
            try {
                query(name, servers, answer, ttl);
            } catch (...) {
                answer = KeyAnswer{KeyState::kFailed, nullptr};
            }
        }
        EnterCriticalSection(&self.lock_);
        self.cache_.settle(name, answer, ttl, GetTickCount64());
        WakeAllConditionVariable(&self.settled_);
    }
    --self.running_;
    LeaveCriticalSection(&self.lock_);
    // Nothing of this module runs after this call: it may unload it.
    FreeLibraryAndExitThread(module, 0);
}

void DnsKeySource::query(const std::string& name, const std::vector<std::uint32_t>& servers, KeyAnswer& answer,
                         std::uint32_t& ttlSeconds) {
    // An IP4_ARRAY of the servers: a count, then the addresses.
    std::vector<DWORD> array(1 + std::max<std::size_t>(servers.size(), 1));
    array[0] = static_cast<DWORD>(servers.size());
    std::copy(servers.begin(), servers.end(), array.begin() + 1);
    PDNS_RECORD records = nullptr;
    const DNS_STATUS status = DnsQuery_A(name.c_str(), DNS_TYPE_TEXT, DNS_QUERY_STANDARD,
                                         servers.empty() ? nullptr : reinterpret_cast<PIP4_ARRAY>(array.data()),
                                         &records, nullptr);
    const std::unique_ptr<DNS_RECORD, void (*)(DNS_RECORD*)> owned(
        records, [](DNS_RECORD* list) { DnsRecordListFree(list, DnsFreeRecordList); });

    auto found = std::make_shared<KeyRecords>();
    ttlSeconds = kUnknownTtl;
    bool sawTtl = false;
    for (const DNS_RECORD* record = records; record != nullptr; record = record->pNext) {
        const bool answerSection = (record->Flags.DW & 0x3) == DnsSectionAnswer;
        if (record->wType == DNS_TYPE_SOA && status != ERROR_SUCCESS) {
            // How long the zone lets a "no such name" be kept.
            ttlSeconds = std::min<std::uint32_t>(record->dwTtl, record->Data.SOA.dwDefaultTtl);
        } else if (record->wType == DNS_TYPE_TEXT && answerSection) {
            std::string joined;
            for (DWORD i = 0; i < record->Data.TXT.dwStringCount; ++i) {
                if (record->Data.TXT.pStringArray[i] != nullptr) joined += record->Data.TXT.pStringArray[i];
            }
            found->push_back(std::move(joined));
            ttlSeconds = sawTtl ? std::min<std::uint32_t>(ttlSeconds, record->dwTtl) : record->dwTtl;
            sawTtl = true;
        }
    }
    if (status == ERROR_SUCCESS && !found->empty()) {
        answer = KeyAnswer{KeyState::kFound, std::move(found)};
    } else if (status == DNS_ERROR_RCODE_NAME_ERROR) {
        answer = KeyAnswer{KeyState::kNoName, nullptr};
    } else if (status == ERROR_SUCCESS || status == DNS_INFO_NO_RECORDS) {
        answer = KeyAnswer{KeyState::kNoKey, nullptr};
    } else {
        answer = KeyAnswer{KeyState::kFailed, nullptr};
    }
}

void DnsKeySource::lookUp(const std::string* names, std::size_t count, std::uint32_t waitMs, KeyAnswer* answers) {
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    Locked locked(lock_);
    std::vector<bool> known(count, false);
    for (;;) {
        bool waiting = false;
        for (std::size_t i = 0; i < count; ++i) {
            if (known[i]) continue;
            switch (cache_.need(names[i], GetTickCount64(), answers[i])) {
                case KeyCache::Need::kKnown:
                    known[i] = true;
                    break;
                case KeyCache::Need::kAsk: {
                    bool queued = false;
                    if (queue_.size() < kQueued) {
                        try {
                            queue_.push_back(names[i]);
                            queued = true;
                        } catch (const std::bad_alloc&) {
                        }
                    }
                    if (queued) startWorker();
                    if (queued && running_ > 0) {
                        waiting = true;
                        break;
                    }
                    // No room, or no worker could start: nobody would ever
                    // take it, so it stays pending, and a later mail asks again.
                    if (queued) queue_.pop_back();
                    cache_.abandon(names[i]);
                    known[i] = true;
                    break;
                }
                case KeyCache::Need::kWait:
                    waiting = true;
                    break;
            }
        }
        const ULONGLONG now = GetTickCount64();
        if (!waiting || now >= deadline) return;
        SleepConditionVariableCS(&settled_, &lock_, static_cast<DWORD>(deadline - now));
    }
}
