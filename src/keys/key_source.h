// The outside service that finds DKIM keys and DMARC records: the TXT
// records at a name, and whether the name stands at all.
// In the DLL, DNS on worker threads with a cache; the tests hand keys in
// directly. The checker sees only this seam.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class KeyState : std::uint8_t {
    kPending,  // not answered within the time given
    kFound,    // TXT records stand at the name
    kNoKey,    // the name stands, but has no TXT record
    kNoName,   // the name does not stand at all (NXDOMAIN)
    kFailed,   // the lookup failed: a server failure, no answer, a network error
};

// Each TXT record at a name, its strings joined.
using KeyRecords = std::vector<std::string>;

struct KeyAnswer {
    KeyState state = KeyState::kPending;
    std::shared_ptr<const KeyRecords> records;  // with kFound
};

class KeySource {
public:
    // Looks up names[i] ("selector._domainkey.domain", lower case) for
    // answers[i], for each of the count names, waiting waitMs milliseconds
    // at most in all; a name not answered by then stays pending.
    virtual void lookUp(const std::string* names, std::size_t count, std::uint32_t waitMs, KeyAnswer* answers) = 0;

protected:
    ~KeySource() = default;
};
