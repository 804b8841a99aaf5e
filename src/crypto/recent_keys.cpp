#include "crypto/crypto.h"

RsaKeyHandle RecentKeys::find(std::string_view subjectPublicKeyInfo) {
    for (Kept& kept : kept_) {
        if (kept.key != nullptr && kept.bytes == subjectPublicKeyInfo) {
            kept.used = ++uses_;
            return kept.key;
        }
    }
    return nullptr;
}

void RecentKeys::keep(std::string_view subjectPublicKeyInfo, const RsaKeyHandle& key) {
    Kept* oldest = &kept_[0];
    for (Kept& kept : kept_) {
        if (kept.used < oldest->used) oldest = &kept;
    }
    oldest->bytes.assign(subjectPublicKeyInfo.data(), subjectPublicKeyInfo.size());
    oldest->key = key;
    oldest->used = ++uses_;
}
