// The settings that the file holds as text and the plug-in reads itself:
// portable, so that their rules are tested natively.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// DkimWait: a decimal number of milliseconds from 0 to kLongestDkimWait; any
// other text, or none, gives kDefaultDkimWait.
std::uint32_t readDkimWait(std::string_view text);

// DnsServers: IPv4 addresses (four decimal numbers of 0 to 255, each of one
// to three digits, between dots) separated by blanks, tabs or commas, in
// network byte order; an entry that is not such an address is skipped.
std::vector<std::uint32_t> readDnsServers(std::string_view text);
