// The outside service that hashes and checks signatures: SHA-256 and RSA
// (PKCS #1 v1.5) public keys. The DLL uses Windows' CNG; native builds use
// OpenSSL's libcrypto. The DKIM checker sees only this seam.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
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

// An RSA public key, read from its DER bytes.
class RsaPublicKey {
public:
    virtual ~RsaPublicKey() = default;
    // The size of its modulus in bits.
    virtual std::size_t bits() const = 0;
    // Whether signature is this key's PKCS #1 v1.5 signature of a SHA-256
    // digest.
    virtual bool verifies(const Sha256Digest& digest, std::string_view signature) const = 0;
};

using RsaKeyHandle = std::shared_ptr<const RsaPublicKey>;

class Crypto {
public:
    // A new hash; null when the platform cannot make one.
    virtual std::unique_ptr<Sha256> sha256() = 0;
    // The RSA key that DER bytes hold, as a SubjectPublicKeyInfo or as a
    // bare RSAPublicKey (PKCS #1), the older form some key tools publish;
    // null when they hold anything else or cannot be read.
    virtual RsaKeyHandle rsaKey(std::string_view der) = 0;

protected:
    ~Crypto() = default;
};

// The keys read last, by their bytes, for a platform's Crypto: the same few
// keys sign most of the mails of a day, and reading one costs more than
// checking a signature with it.
class RecentKeys {
public:
    static constexpr std::size_t kKept = 8;

    // The key read from exactly these bytes, if it is kept; null otherwise.
    RsaKeyHandle find(std::string_view der);
    // Keeps key, read from these bytes, in place of the one used longest ago.
    void keep(std::string_view der, const RsaKeyHandle& key);

private:
    struct Kept {
        std::string bytes;
        RsaKeyHandle key;
        std::uint64_t used = 0;
    };
    Kept kept_[kKept];
    std::uint64_t uses_ = 0;
};
