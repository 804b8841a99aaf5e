// The native builds' crypto, on OpenSSL's libcrypto: for the tests, the
// fuzzer and the benchmarks.
#pragma once

#include "crypto/crypto.h"

class OpenSslCrypto final : public Crypto {
public:
    std::unique_ptr<Sha256> sha256() override;
    std::unique_ptr<RsaPublicKey> rsaKey(std::string_view subjectPublicKeyInfo) override;
};
