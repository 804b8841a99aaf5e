#include "keptfile/kept_text.h"

#include <cstring>

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isTrailingBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

KeptLines::KeptLines(std::string_view file, std::size_t longest) : rest_(file), longest_(longest) {
    if (rest_.substr(0, kByteOrderMark.size()) == kByteOrderMark) rest_.remove_prefix(kByteOrderMark.size());
}

KeptLines::Next KeptLines::next(std::string_view& line) {
    while (!damaged_ && !rest_.empty()) {
        // The LF is looked for one byte past the longest line, so that a
        // line too long costs no more than the longest.
        const std::size_t window = rest_.size() < longest_ + 1 ? rest_.size() : longest_ + 1;
        const void* const lf = std::memchr(rest_.data(), '\n', window);
        const std::size_t length =
            lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - rest_.data()) : window;
        if (length > longest_ || std::memchr(rest_.data(), '\0', length) != nullptr) {
            damaged_ = true;
            break;
        }
        line = rest_.substr(0, length);
        rest_.remove_prefix(lf != nullptr ? length + 1 : length);
        while (!line.empty() && isTrailingBlank(line.back())) line.remove_suffix(1);
        // A line of blanks and tabs only is blank too: nothing is left of it.
        if (line.empty() || (!first_ && line[0] == '#')) continue;
        first_ = false;
        return Next::kLine;
    }
    line = {};
    return damaged_ ? Next::kDamaged : Next::kEnd;
}
