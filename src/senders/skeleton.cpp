#include "senders/skeleton.h"

#include "text/punycode.h"

bool SkeletonWalk::next(char32_t& c) {
    for (;;) {
        if (target_.next(c)) return true;
        if (inLabel_) {
            if (decodedAt_ < decodedCount_) {
                target_ = ConfusableTarget(decoded_[decodedAt_++]);
                continue;
            }
            if (at_ < labelEnd_) {
                target_ = ConfusableTarget(static_cast<unsigned char>(domain_[at_++]));
                continue;
            }
            inLabel_ = false;
            if (at_ < domain_.size()) {
                ++at_;  // the dot, kept as it is
                c = '.';
                return true;
            }
        }
        if (at_ >= domain_.size()) return false;
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
