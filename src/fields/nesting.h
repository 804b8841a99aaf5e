// Comments and quoted strings, as a sender's text has them (RFC 5322): the
// one reader of them for dates, Authentication-Results and From.
#pragma once

#include <cstddef>

// A comment runs from '(' to its ')', nests and may hold backslash pairs; a
// quoted string runs from '"' to the next '"' that no backslash escapes.
// Either runs to the end when it is not closed. The caller hands it the
// bytes inside one, one at a time; which bytes it skips (the breaks of the
// line cut, say) is the caller's choice. Nothing here recurses, so any depth
// costs the same.
class Nesting {
public:
    bool outside() const { return depth_ == 0 && !quoted_; }
    bool inComment() const { return depth_ > 0; }
    bool inQuote() const { return quoted_; }
    // A backslash ended what was read so far, in a quoted string or comment.
    bool escaping() const { return escaped_; }

    void openComment() { depth_ = 1; }
    void openQuote() { quoted_ = true; }
    // Reads c in a comment; the comment has ended when inComment() turns false.
    void readInComment(char c) {
        if (escaped_) {
            escaped_ = false;
        } else if (c == '\\') {
            escaped_ = true;
        } else if (c == '(') {
            ++depth_;
        } else if (c == ')') {
            --depth_;
        }
    }
    // Reads c in a quoted string; true when c is a byte of its text, not an
    // escaping backslash or the closing quote.
    bool readInQuote(char c) {
        if (escaped_) {
            escaped_ = false;
            return true;
        }
        if (c == '\\') {
            escaped_ = true;
            return false;
        }
        if (c == '"') {
            quoted_ = false;
            return false;
        }
        return true;
    }

private:
    std::size_t depth_ = 0;
    bool quoted_ = false;
    bool escaped_ = false;
};
