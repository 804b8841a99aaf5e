// Text taken from a buffer piece by piece, copied only when it must be.
#pragma once

#include <cstddef>
#include <string_view>

#include "text/inline_buffer.h"

// A text read from a sender's bytes piece by piece: a word, a display name.
// Most often it is one run of the bytes read and is handed out as that
// slice; only a text that is not (it drops quote marks, or a comment or a
// break splits it) is copied.
class SliceText {
public:
    // Adds the bytes from first up to last.
    void take(const char* first, const char* last) {
        if (!copied_ && (slice_ == nullptr || sliceEnd_ == first)) {
            if (slice_ == nullptr) slice_ = first;
            sliceEnd_ = last;
        } else {
            copy(first, last);
        }
    }
    std::size_t size() const { return copied_ ? copy_.size() : static_cast<std::size_t>(sliceEnd_ - slice_); }
    std::string_view text() const {
        return copied_ ? std::string_view(copy_.data(), copy_.size()) : std::string_view(slice_, size());
    }
    void clear() {
        slice_ = sliceEnd_ = nullptr;
        copied_ = false;
        copy_.truncate(0);
    }
    // Drops the bytes from size on; size must not exceed size().
    void truncate(std::size_t size) {
        if (copied_) {
            copy_.truncate(size);
        } else if (size == 0) {
            slice_ = sliceEnd_ = nullptr;
        } else {
            sliceEnd_ = slice_ + size;
        }
    }

private:
    // The rare text that is not one slice.
    __attribute__((noinline)) void copy(const char* first, const char* last) {
        if (!copied_) {
            copy_.append(slice_, static_cast<std::size_t>(sliceEnd_ - slice_));
            copied_ = true;
        }
        copy_.append(first, static_cast<std::size_t>(last - first));
    }

    InlineBuffer<char, 256> copy_;
    const char* slice_ = nullptr;
    const char* sliceEnd_ = nullptr;
    bool copied_ = false;
};
