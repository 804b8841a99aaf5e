// The outside service that hashes and checks signatures: SHA-256 and RSA
// (PKCS #1 v1.5) public keys. The DLL uses Windows' CNG; native builds use
// OpenSSL's libcrypto. The DKIM checker sees only this seam.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

using Sha256Digest = std::array<std::uint8_t, 32>;

// A SHA-256 hash fed in pieces.
class Sha256 {
public:
    virtual ~Sha256() = default;
    virtual void add(const char* bytes, std::size_t size) = 0;
    // The digest of all bytes added; call once, last.
    virtual Sha256Digest finish() = 0;
};

// An RSA public key, read from its SubjectPublicKeyInfo.
class RsaPublicKey {
public:
    virtual ~RsaPublicKey() = default;
    // The size of its modulus in bits.
    virtual std::size_t bits() const = 0;
    // Whether signature is this key's PKCS #1 v1.5 signature of a SHA-256
    // digest.
    virtual bool verifies(const Sha256Digest& digest, std::string_view signature) const = 0;
};

class Crypto {
public:
    // A new hash; null when the platform cannot make one.
    virtual std::unique_ptr<Sha256> sha256() = 0;
    // The RSA key that the DER bytes of a SubjectPublicKeyInfo hold; null
    // when they hold anything else or cannot be read.
    virtual std::unique_ptr<RsaPublicKey> rsaKey(std::string_view subjectPublicKeyInfo) = 0;

protected:
    ~Crypto() = default;
};
