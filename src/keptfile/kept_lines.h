// Stand-in until the shared reader of kept files lands: lines of a file
// kept beside the DLL, LF-ended.
#pragma once

#include <cstddef>
#include <string_view>

class KeptLines {
public:
    KeptLines(std::string_view file, std::size_t maxLength) : rest_(file), maxLength_(maxLength) {}
    bool next(std::string_view& line) {
        if (rest_.empty() || damaged_) return false;
        const std::size_t end = rest_.find('\n');
        if (end == std::string_view::npos || end + 1 > maxLength_) {
            damaged_ = true;
            return false;
        }
        line = rest_.substr(0, end);
        rest_.remove_prefix(end + 1);
        if (line.find('\0') != std::string_view::npos) damaged_ = true;
        return !damaged_;
    }
    bool damaged() const { return damaged_; }

private:
    std::string_view rest_;
    std::size_t maxLength_;
    bool damaged_ = false;
};
