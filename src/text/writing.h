// Writing text and numbers into buffers the caller has sized for them: the
// per-mail notes and lines, with no formatted printing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// Copies text to out; returns the end.
inline char* writeText(std::string_view text, char* out) {
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

// Writes the decimal digits of value at out; returns the end. Divides in 32
// bits where it can: 64-bit division is a library call on i686.
inline char* writeNumber(std::uint64_t value, char* out) {
    char digits[20];
    std::size_t count = 0;
    for (; value > 0xFFFFFFFFu; value /= 10) digits[count++] = static_cast<char>('0' + value % 10);
    auto small = static_cast<std::uint32_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + small % 10);
        small /= 10;
    } while (small != 0);
    while (count > 0) *out++ = digits[--count];
    return out;
}

// Writes a line piece by piece into a buffer sized for the longest line
// there can be, going on from length, which it sets when it is done.
class LineWriter {
public:
    LineWriter(char* line, std::size_t& length) : line_(line), at_(line + length), length_(length) {}
    ~LineWriter() { length_ = static_cast<std::size_t>(at_ - line_); }
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    LineWriter& operator<<(std::string_view text) {
        at_ = writeText(text, at_);
        return *this;
    }
    LineWriter& operator<<(std::size_t number) {
        at_ = writeNumber(number, at_);
        return *this;
    }

private:
    char* const line_;
    char* at_;
    std::size_t& length_;
};
