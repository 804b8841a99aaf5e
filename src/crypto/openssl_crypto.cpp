#include "crypto/openssl_crypto.h"

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace {

// SHA-256 as the library provides it, found once: a lookup for each hash
// costs as much as hashing a kilobyte.
const EVP_MD* sha256Digest() {
    static EVP_MD* const digest = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return digest;
}

class OpenSslSha256 final : public Sha256 {
public:
    OpenSslSha256() : context_(EVP_MD_CTX_new()) {
        if (context_ != nullptr && EVP_DigestInit_ex(context_, sha256Digest(), nullptr) != 1) {
            EVP_MD_CTX_free(context_);
            context_ = nullptr;
        }
    }
    ~OpenSslSha256() override { EVP_MD_CTX_free(context_); }
    OpenSslSha256(const OpenSslSha256&) = delete;
    OpenSslSha256& operator=(const OpenSslSha256&) = delete;

    bool ready() const { return context_ != nullptr; }
    void add(const char* bytes, std::size_t size) override { EVP_DigestUpdate(context_, bytes, size); }
    Sha256Digest finish() override {
        Sha256Digest digest{};
        unsigned size = 0;
        EVP_DigestFinal_ex(context_, digest.data(), &size);
        return digest;
    }

private:
    EVP_MD_CTX* context_;
};

class OpenSslRsaKey final : public RsaPublicKey {
public:
    explicit OpenSslRsaKey(EVP_PKEY* key) : key_(key) {}
    ~OpenSslRsaKey() override { EVP_PKEY_free(key_); }
    OpenSslRsaKey(const OpenSslRsaKey&) = delete;
    OpenSslRsaKey& operator=(const OpenSslRsaKey&) = delete;

    std::size_t bits() const override { return static_cast<std::size_t>(EVP_PKEY_get_bits(key_)); }
    bool verifies(const Sha256Digest& digest, std::string_view signature) const override {
        EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key_, nullptr);
        const bool verified = context != nullptr && EVP_PKEY_verify_init(context) == 1 &&
                              EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING) == 1 &&
                              EVP_PKEY_CTX_set_signature_md(context, sha256Digest()) == 1 &&
                              EVP_PKEY_verify(context, reinterpret_cast<const unsigned char*>(signature.data()),
                                              signature.size(), digest.data(), digest.size()) == 1;
        EVP_PKEY_CTX_free(context);
        return verified;
    }

private:
    EVP_PKEY* key_;
};

}  // namespace

std::unique_ptr<Sha256> OpenSslCrypto::sha256() {
    auto hash = std::make_unique<OpenSslSha256>();
    if (!hash->ready()) return nullptr;
    return hash;
}

RsaKeyHandle OpenSslCrypto::rsaKey(std::string_view der) {
    if (RsaKeyHandle known = recent_.find(der)) return known;
    const auto* const start = reinterpret_cast<const unsigned char*>(der.data());
    const auto* const end = start + der.size();
    const auto length = static_cast<long>(der.size());
    const unsigned char* at = start;
    EVP_PKEY* key = d2i_PUBKEY(nullptr, &at, length);
    if (key == nullptr) {
        at = start;
        key = d2i_PublicKey(EVP_PKEY_RSA, nullptr, &at, length);
    }
    // Bytes after the key's own are not a key's.
    if (key == nullptr || at != end || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) {
        EVP_PKEY_free(key);
        return nullptr;
    }
    RsaKeyHandle read = std::make_shared<OpenSslRsaKey>(key);
    recent_.keep(der, read);
    return read;
}
