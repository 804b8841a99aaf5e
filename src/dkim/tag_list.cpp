#include "dkim/tag_list.h"

#include "dkim/name_table.h"
#include "text/ascii.h"
#include "text/byte_set.h"

namespace {

// The bytes of a value that are not whitespace: '!' to '~' but ';'.
constexpr ByteSet kValueBytes =
    ByteSet::where([](char c) { return c >= '!' && c <= '~' && c != ';'; });
constexpr ByteSet kNameBytes = ByteSet::where([](char c) { return isLetter(c) || isDigit(c) || c == '_'; });

std::size_t skipFoldingSpace(std::string_view text, std::size_t at) {
    std::size_t length = 0;
    while (isFoldingSpaceAt(text, at, length)) at += length;
    return at;
}

}  // namespace

bool isFoldingSpaceAt(std::string_view text, std::size_t at, std::size_t& length) {
    if (at >= text.size()) return false;
    if (isBlank(text[at])) {
        length = 1;
        return true;
    }
    std::size_t breakLength = 0;
    if (text[at] == '\n') {
        breakLength = 1;
    } else if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
        breakLength = 2;
    }
    if (breakLength == 0 || at + breakLength >= text.size() || !isBlank(text[at + breakLength])) return false;
    length = breakLength + 1;
    return true;
}

bool TagList::firstOf(std::string_view name, std::unique_ptr<NameTable>& names) const {
    // A few tags are compared one by one; past them, a table keeps the
    // reading linear however many a sender writes.
    constexpr std::size_t kFew = 16;
    if (tags_.size() < kFew) return find(name) == nullptr;
    bool isNew = false;
    if (names == nullptr) {
        names = std::make_unique<NameTable>(false);
        for (std::size_t i = 0; i < tags_.size(); ++i) names->add(tags_[i].name, isNew);
    }
    names->add(name, isNew);
    return isNew;
}

TagList::TagList(std::string_view text) {
    std::unique_ptr<NameTable> names;
    std::size_t at = skipFoldingSpace(text, 0);
    while (at < text.size()) {
        // A tag's name, '=' and value, up to the ';' that ends it.
        bool good = at < text.size() && isLetter(text[at]);
        const std::size_t nameStart = at;
        while (at < text.size() && kNameBytes.has(text[at])) ++at;
        const std::string_view name = text.substr(nameStart, at - nameStart);
        at = skipFoldingSpace(text, at);
        good = good && at < text.size() && text[at] == '=';
        if (good) ++at;
        const std::size_t afterEquals = at;
        at = skipFoldingSpace(text, at);
        const std::size_t valueStart = at;
        std::size_t valueEnd = at;
        std::size_t space = 0;
        while (at < text.size() && text[at] != ';') {
            if (kValueBytes.has(text[at])) {
                valueEnd = ++at;
            } else if (isFoldingSpaceAt(text, at, space)) {
                at += space;
            } else {
                good = false;
                ++at;
            }
        }
        if (good && firstOf(name, names)) {
            tags_.push_back({name, text.substr(valueStart, valueEnd - valueStart), text.data() + afterEquals,
                             text.data() + at});
        } else {
            valid_ = false;
        }
        if (at == text.size()) break;
        at = skipFoldingSpace(text, at + 1);  // past the ';': another tag, or the end
    }
}

const Tag* TagList::find(std::string_view name) const {
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        if (sameText(tags_[i].name, name)) return &tags_[i];
    }
    return nullptr;
}

bool holdsSpace(std::string_view value) {
    for (const char c : value) {
        if (isBlankOrBreak(c)) return true;
    }
    return false;
}

