// The settings record the header view works from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// An ordered list of owned byte strings: appended at the end, read in order.
using PatternList = std::vector<std::string>;

constexpr std::size_t kSeparatorSize = 256;
// Keys 01 to 99 of each list section.
constexpr std::size_t kMaxPatterns = 99;

// The opt-in switches (WholeFields, Decode, Hops, Auth, Dkim, Senders) are on
// only for the values listed here; any other value, like a missing key,
// leaves them off.
constexpr std::int32_t kOn = 1;
constexpr bool switchedOn(std::int32_t value) { return value == kOn; }

// WholeFields: each line on its own (off), or each field whole, its
// continuation lines below it as lines of their own or unfolded into it.
constexpr std::int32_t kLinesOnTheirOwn = 0;
constexpr std::int32_t kFieldsFolded = 1;
constexpr std::int32_t kFieldsUnfolded = 2;
constexpr bool wholeFieldsOn(std::int32_t value) { return value == kFieldsFolded || value == kFieldsUnfolded; }

// DkimWait: milliseconds a view may wait for key lookups, per mail.
constexpr std::uint32_t kDefaultDkimWait = 1500;
constexpr std::uint32_t kLongestDkimWait = 10000;

struct Settings {
    std::int32_t ignoreCase = 0;   // nonzero: patterns are stored lowered
    std::int32_t sort = 0;         // nonzero: group kept lines by show pattern
    std::int32_t wholeFields = kLinesOnTheirOwn;
    std::int32_t decode = 0;       // on: encoded words shown decoded
    std::int32_t hops = 0;         // on: each shown Received field tells its hop's delay
    std::int32_t auth = 0;         // on: the authentication digest is the view's first line
    std::int32_t dkim = 0;         // on: the view's first lines tell what checking the DKIM signatures found
    std::int32_t senders = 0;      // on: the trust lines on keep a history of senders and tell new ones and look-alikes
    std::int32_t keys = 0;         // on, with Dkim: the DKIM keys that verified are kept, for mail signed before they go
    std::uint32_t dkimWait = kDefaultDkimWait;
    std::vector<std::uint32_t> dnsServers;  // IPv4, network byte order; none: the system's resolver
    char separator[kSeparatorSize] = {};
    PatternList showPatterns;
    PatternList hidePatterns;
    PatternList authServers;       // the servers whose Authentication-Results are trusted
};
