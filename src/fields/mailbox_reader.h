// The one reader of the fields that hold mailboxes (From, Reply-To): their
// addresses as RFC 5322 reads them, its obsolete forms included, whether a
// field is one mailbox written plainly, and the text a client shows beside
// the address. The trust lines pass a sender only on what reads plainly:
// "service@paypal .com" is paypal.com to RFC 5322, but not plainly so.
#pragma once

#include <cstddef>
#include <string_view>

// What the reader hands on as it reads, in order. Every operation does
// nothing unless a sink needs it.
class MailboxSink {
public:
    // The value's text outside its first address and any route: quote marks
    // taken away and backslash escapes applied, each comment's text with
    // its parentheses, the brackets and everything else as written (but the
    // first address's own '>'); the breaks a fold leaves (CR, LF, NUL) are
    // no text. Pieces are slices of the value, as long as they run on.
    virtual void text(std::string_view /*piece*/) {}
    // The text handed on takes back all but its first size bytes, when what
    // was read turns out to be the first address.
    virtual void cutText(std::size_t /*size*/) {}
    // Each address, in order: its domain's atoms and dots as written, the
    // blanks and comments around them left out; empty for none or a domain
    // literal. whole is false for one cut at kLongestReadDomain bytes.
    virtual void address(std::string_view /*domain*/, bool /*whole*/) {}

protected:
    ~MailboxSink() = default;
};

// No more of a domain is kept: a longer one cannot come down to a name of
// 253 bytes, but for dots that trail.
constexpr std::size_t kLongestReadDomain = 1012;

struct Mailboxes {
    // Every '@' outside quoted strings, comments, domain literals and routes.
    std::size_t addresses = 0;
    // One address in a plain form: the addr-spec alone, or a display name
    // (any phrase) and the addr-spec in '<' '>', comments after either. The
    // addr-spec: a local part of word text and dots, or one quoted string
    // without '@'; '@'; a dot-atom domain; nothing between them.
    bool plain = false;
};

// Reads value, a field's value (the line cut's breaks may stand in it),
// handing what it finds to sink. A route ('<' then '@' or ',' up to its
// ':', or to the '>' when it has none) holds no address. An address's local
// part is the words, quoted strings and dots before its '@', no two words
// without a dot between; its domain the atoms and dots after it, blanks and
// comments allowed around each, up to what continues neither. An unclosed
// comment or quoted string runs to the end. One pass, no recursion; linear
// in the value.
Mailboxes readMailboxes(std::string_view value, MailboxSink& sink);
