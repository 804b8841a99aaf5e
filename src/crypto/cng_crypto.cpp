#include "crypto/cng_crypto.h"

#include <wincrypt.h>

#include <cstring>
#include <vector>

namespace {

bool succeeded(NTSTATUS status) { return status >= 0; }

class CngSha256 final : public Sha256 {
public:
    CngSha256(BCRYPT_ALG_HANDLE algorithm, DWORD objectSize) : object_(objectSize) {
        if (!succeeded(BCryptCreateHash(algorithm, &hash_, object_.data(), objectSize, nullptr, 0, 0))) {
            hash_ = nullptr;
        }
    }
    ~CngSha256() override {
        if (hash_ != nullptr) BCryptDestroyHash(hash_);
    }
    CngSha256(const CngSha256&) = delete;
    CngSha256& operator=(const CngSha256&) = delete;

    bool ready() const { return hash_ != nullptr; }
    void add(const char* bytes, std::size_t size) override {
        // CNG takes a ULONG a call.
        constexpr std::size_t kMost = 1u << 30;
        for (; size > 0;) {
            const std::size_t piece = size < kMost ? size : kMost;
            BCryptHashData(hash_, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes)), static_cast<ULONG>(piece), 0);
            bytes += piece;
            size -= piece;
        }
    }
    Sha256Digest finish() override {
        Sha256Digest digest{};
        BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0);
        return digest;
    }

private:
    std::vector<UCHAR> object_;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
};

class CngRsaKey final : public RsaPublicKey {
public:
    CngRsaKey(BCRYPT_KEY_HANDLE key, std::size_t bits) : key_(key), bits_(bits) {}
    ~CngRsaKey() override { BCryptDestroyKey(key_); }
    CngRsaKey(const CngRsaKey&) = delete;
    CngRsaKey& operator=(const CngRsaKey&) = delete;

    std::size_t bits() const override { return bits_; }
    bool verifies(const Sha256Digest& digest, std::string_view signature) const override {
        BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM};
        Sha256Digest copy = digest;
        return succeeded(BCryptVerifySignature(key_, &padding, copy.data(), static_cast<ULONG>(copy.size()),
                                               reinterpret_cast<PUCHAR>(const_cast<char*>(signature.data())),
                                               static_cast<ULONG>(signature.size()), BCRYPT_PAD_PKCS1));
    }

private:
    BCRYPT_KEY_HANDLE key_;
    std::size_t bits_;
};

}  // namespace

CngCrypto::~CngCrypto() {
    if (sha256_ != nullptr) BCryptCloseAlgorithmProvider(sha256_, 0);
}

std::unique_ptr<Sha256> CngCrypto::sha256() {
    if (sha256_ == nullptr) {
        BCRYPT_ALG_HANDLE algorithm = nullptr;
        DWORD size = 0;
        ULONG written = 0;
        if (!succeeded(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return nullptr;
        if (!succeeded(BCryptGetProperty(algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&size), sizeof size,
                                         &written, 0))) {
            BCryptCloseAlgorithmProvider(algorithm, 0);
            return nullptr;
        }
        sha256_ = algorithm;
        hashObjectSize_ = size;
    }
    auto hash = std::make_unique<CngSha256>(sha256_, hashObjectSize_);
    if (!hash->ready()) return nullptr;
    return hash;
}

namespace {

// The key of der, a SubjectPublicKeyInfo or a bare RSAPublicKey, imported
// into CNG; null when it is neither or not RSA.
BCRYPT_KEY_HANDLE importRsaKey(std::string_view der) {
    const auto* bytes = reinterpret_cast<const BYTE*>(der.data());
    const auto size = static_cast<DWORD>(der.size());
    BCRYPT_KEY_HANDLE key = nullptr;
    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD infoSize = 0;
    if (CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, bytes, size, CRYPT_DECODE_ALLOC_FLAG, nullptr,
                            &info, &infoSize)) {
        const bool rsa = info->Algorithm.pszObjId != nullptr && std::strcmp(info->Algorithm.pszObjId, szOID_RSA_RSA) == 0;
        const bool imported = rsa && CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, info, 0, nullptr, &key);
        LocalFree(info);
        return imported ? key : nullptr;
    }
    // A bare RSAPublicKey is what a SubjectPublicKeyInfo of RSA wraps: once
    // crypt32 reads it as one, it is handed over in that wrapping.
    void* blob = nullptr;
    DWORD blobSize = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, RSA_CSP_PUBLICKEYBLOB, bytes, size, CRYPT_DECODE_ALLOC_FLAG, nullptr,
                             &blob, &blobSize)) {
        return nullptr;
    }
    LocalFree(blob);
    BYTE noParameters[] = {0x05, 0x00};  // DER NULL, as rsaEncryption has it
    CERT_PUBLIC_KEY_INFO wrapped{};
    wrapped.Algorithm.pszObjId = const_cast<char*>(szOID_RSA_RSA);
    wrapped.Algorithm.Parameters = {sizeof noParameters, noParameters};
    wrapped.PublicKey = {size, const_cast<BYTE*>(bytes), 0};
    return CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, &wrapped, 0, nullptr, &key) ? key : nullptr;
}

}  // namespace

RsaKeyHandle CngCrypto::rsaKey(std::string_view der) {
    if (RsaKeyHandle known = recent_.find(der)) return known;
    const BCRYPT_KEY_HANDLE key = importRsaKey(der);
    if (key == nullptr) return nullptr;
    // The key's size from its public blob, which Windows and Wine both give
    // (Wine has no BCRYPT_KEY_LENGTH for keys); room for keys of some 8,000
    // bits, twice what is ever used: a larger one is no key of ours.
    alignas(BCRYPT_RSAKEY_BLOB) UCHAR blob[2048];
    ULONG size = 0;
    ULONG written = 0;
    if (!succeeded(BCryptExportKey(key, nullptr, BCRYPT_RSAPUBLIC_BLOB, nullptr, 0, &size, 0)) || size > sizeof blob ||
        !succeeded(BCryptExportKey(key, nullptr, BCRYPT_RSAPUBLIC_BLOB, blob, sizeof blob, &written, 0)) ||
        written < sizeof(BCRYPT_RSAKEY_BLOB)) {
        BCryptDestroyKey(key);
        return nullptr;
    }
    RsaKeyHandle read = std::make_shared<CngRsaKey>(key, reinterpret_cast<const BCRYPT_RSAKEY_BLOB*>(blob)->BitLength);
    recent_.keep(der, read);
    return read;
}
