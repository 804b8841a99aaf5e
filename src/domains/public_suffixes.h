// Public suffixes and organizational domains, by the Public Suffix List
// (ICANN and private sections), built into the module: the organizational
// domain of a name is what one owner controls, so that two names of one
// owner align and names under a shared suffix (eu.org, github.io) do not.
#pragma once

#include <cstddef>
#include <string_view>

// The longest name DNS holds, in bytes, without a trailing dot.
constexpr std::size_t kLongestDnsName = 253;

struct PublicSuffix {
    std::size_t start = 0;  // where in the name the public suffix begins
    bool listed = false;    // a rule of the list made it, not the default rule that an unlisted name's last label is public
    // The rule is one of the generic top-level domains delegated since 2012
    // (med, dev, shop, app ...), which end many a word of prose by chance.
    bool newGeneric = false;
    // The rule is one of the list's private section: a name that a company
    // owns, such as github.io, whose names below it are its customers'.
    bool privateRule = false;
};

// Whether name is a domain name as the lookups below take it: not empty,
// with no empty label (no dot first, last or twice in a row).
bool isDomainName(std::string_view name);

// Finds the public suffix of name by the list's own algorithm: the rule of
// most labels that matches, an exception rule before any, and for no rule
// the last label. name is lower case, its labels A-labels, with no trailing
// dot. False when name is no domain name: empty, or with an empty label.
// Linear in the name; allocates nothing.
bool findPublicSuffix(std::string_view name, PublicSuffix& suffix);

// The organizational domain of name: its public suffix and the label before
// it, or name itself when it is a public suffix; a part of name. Empty when
// name is no domain name. Linear in the name; allocates nothing.
std::string_view organizationalDomain(std::string_view name);
// The same, for a name whose public suffix findPublicSuffix has found.
constexpr std::string_view organizationalDomain(std::string_view name, const PublicSuffix& suffix);

// Whether a rule of the list names a name below domain (a domain name, as
// above): when none does, every name below an organizational domain has
// that organizational domain. Linear in the domain; allocates nothing.
bool rulesBelow(std::string_view domain);

// The length of the name that begins text, up to its first byte that is
// no dot and that holds(byte) refuses: labels of 1 to 63 bytes between
// dots, at most kLongestDnsName bytes in all, and for a host name (hostName)
// no label with '-' first or last; 0 when what stands there is no such name.
// One pass, over kLongestDnsName + 1 bytes at most.
template <typename Holds>
constexpr std::size_t nameLengthAt(std::string_view text, Holds holds, bool hostName) {
    const auto isLabel = [&](std::size_t start, std::size_t end) {
        return end > start && end - start <= 63 && (!hostName || (text[start] != '-' && text[end - 1] != '-'));
    };
    std::size_t label = 0;
    std::size_t end = 0;
    for (; end < text.size() && end <= kLongestDnsName; ++end) {
        if (text[end] == '.') {
            if (!isLabel(label, end)) return 0;
            label = end + 1;
        } else if (!holds(text[end])) {
            break;
        }
    }
    return end <= kLongestDnsName && isLabel(label, end) ? end : 0;
}

// Whether text is a host name of at most kLongestDnsName bytes: labels of
// letters, digits and '-' (not first or last), each 1 to 63 bytes, between
// dots.
bool isHostName(std::string_view text);

// Whether text can be asked of DNS as a name: at most kLongestDnsName bytes,
// labels of 1 to 63 bytes between dots, each byte from '!' to '~' but a
// backslash, which DNS functions read as an escape (underscores stand in
// names such as _dmarc.example.com; blanks, control bytes and bytes beyond
// ASCII are asked of no server).
bool isDnsName(std::string_view text);

// The start of the label that ends just before the dot at dot.
constexpr std::size_t labelBefore(std::string_view name, std::size_t dot) {
    std::size_t start = dot;
    while (start > 0 && name[start - 1] != '.') --start;
    return start;
}

constexpr std::string_view organizationalDomain(std::string_view name, const PublicSuffix& suffix) {
    return suffix.start == 0 ? name : name.substr(labelBefore(name, suffix.start - 1));
}
