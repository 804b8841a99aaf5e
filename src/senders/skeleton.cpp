#include "senders/skeleton.h"

#include "text/punycode.h"

bool SkeletonWalk::next(char32_t& c) {
    for (;;) {
        if (target_.next(c)) return true;
        char32_t point = 0;
        if (decodedAt_ < decodedCount_) {
            point = decoded_[decodedAt_++];
        } else if (at_ < labelEnd_) {
            point = static_cast<unsigned char>(domain_[at_++]);
        } else if (inLabel_ && at_ < domain_.size()) {
            inLabel_ = false;
            ++at_;  // the dot, kept as it is
            c = '.';
            return true;
        } else if (inLabel_ || at_ >= domain_.size()) {
            return false;
        } else {
            startLabel();
            continue;
        }
        // Most code points of a name are ASCII that maps to one ASCII code point.
        if (point < 0x80 && kConfusableAscii[point] < 0x80) {
            c = kConfusableAscii[point];
            return true;
        }
        target_ = ConfusableTarget(point);
    }
}

void SkeletonWalk::startLabel() {
    std::size_t end = at_;
    while (end < domain_.size() && domain_[end] != '.') ++end;
    const std::string_view label = domain_.substr(at_, end - at_);
    inLabel_ = true;
    labelEnd_ = end;
    decodedAt_ = 0;
    decodedCount_ = 0;
    if (label.substr(0, 4) == "xn--") {
        decodedCount_ = decodePunycode(label.substr(4), decoded_, sizeof decoded_ / sizeof decoded_[0]);
        if (decodedCount_ > 0) at_ = end;
    }
}

std::size_t skeletonOf(std::string_view domain, char32_t* out, std::size_t capacity) {
    SkeletonWalk walk(domain);
    std::size_t length = 0;
    for (char32_t c = 0; walk.next(c); ++length) {
        if (length == capacity) return 0;
        out[length] = c;
    }
    return length;
}

std::size_t slipTextOf(std::string_view label, char32_t* out) {
    constexpr std::size_t kLongestLabel = 63;
    std::size_t count = 0;
    if (label.substr(0, 4) == "xn--") count = decodePunycode(label.substr(4), out, kLongestLabel);
    if (count == 0) {
        count = label.size() < kLongestLabel ? label.size() : kLongestLabel;
        for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<unsigned char>(label[i]);
    }
    for (std::size_t i = 0; i < count; ++i) {
        char32_t target[kLongestConfusable];
        const std::size_t size = confusableMapping(out[i], target);
        if (size == 1) {
            out[i] = target[0];
            continue;
        }
        std::uint64_t hash = 0;
        for (std::size_t k = 0; k < size; ++k) hash = hashStep(hash, target[k]);
        out[i] = static_cast<char32_t>(0x110000 + hash % (0xFFFFFFFFu - 0x110000));
    }
    return count;
}
