// The native builds' crypto, on OpenSSL's libcrypto: for the tests, the
// fuzzer and the benchmarks.
#pragma once

#include "crypto/crypto.h"

class OpenSslCrypto final : public Crypto {
public:
    std::unique_ptr<Sha256> sha256() override;
    // Kept among the recent keys.
    RsaKeyHandle rsaKey(std::string_view der) override;

private:
    RecentKeys recent_;
};
