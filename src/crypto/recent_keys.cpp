#include "crypto/crypto.h"

RsaKeyHandle RecentKeys::find(std::string_view der) {
    for (Kept& kept : kept_) {
        if (kept.key != nullptr && kept.bytes == der) {
            kept.used = ++uses_;
            return kept.key;
        }
    }
    return nullptr;
}

void RecentKeys::keep(std::string_view der, const RsaKeyHandle& key) {
    Kept* oldest = &kept_[0];
    for (Kept& kept : kept_) {
        if (kept.used < oldest->used) oldest = &kept;
    }
    oldest->bytes.assign(der.data(), der.size());
    oldest->key = key;
    oldest->used = ++uses_;
}
