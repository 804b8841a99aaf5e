// DKIM key records (RFC 6376, 3.6.1): what a TXT record at a key's name says.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "crypto/crypto.h"
#include "keys/key_source.h"

// What the records at a key's name come to, in the order these are looked for.
enum class KeyVerdict : std::uint8_t {
    kUsable,
    kNoKey,    // no record, or none that reads as a key record
    kRevoked,  // p= is empty
    kBadKey,   // a tag that rules the key out, or p= is not an RSA key of at most 4096 bits
    kWeakKey,  // an RSA key under 1024 bits (RFC 8301)
};

struct Key {
    KeyVerdict verdict = KeyVerdict::kNoKey;
    RsaKeyHandle rsa;      // with kUsable
    bool testing = false;  // t=y: the signer is testing, and its mail counts as unsigned
    std::string_view record;  // the record that decided, valid while the records are
};

// The key that records give a signature of domain whose i= domain is
// identityDomain: the first record that reads as a key record (a tag list
// with a p= tag, and no v= but "DKIM1") decides; the key is read through
// crypto.
Key readKey(const KeyRecords& records, std::string_view domain, std::string_view identityDomain, Crypto& crypto);
