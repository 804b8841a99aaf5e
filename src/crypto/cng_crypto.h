// The DLL's crypto, on Windows' CNG (bcrypt.dll), with keys read by
// crypt32.dll.
#pragma once

#include <windows.h>

#include <bcrypt.h>

#include "crypto/crypto.h"

// Opens the SHA-256 provider on first use and keeps it.
class CngCrypto final : public Crypto {
public:
    CngCrypto() = default;
    ~CngCrypto();
    CngCrypto(const CngCrypto&) = delete;
    CngCrypto& operator=(const CngCrypto&) = delete;

    std::unique_ptr<Sha256> sha256() override;
    // Kept among the recent keys.
    RsaKeyHandle rsaKey(std::string_view der) override;

private:
    RecentKeys recent_;
    BCRYPT_ALG_HANDLE sha256_ = nullptr;
    DWORD hashObjectSize_ = 0;
};
