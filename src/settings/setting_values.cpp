#include "settings/setting_values.h"

#include "settings/settings.h"
#include "text/ascii.h"

std::uint32_t readDkimWait(std::string_view text) {
    if (text.empty() || text.size() > 5) return kDefaultDkimWait;
    std::uint32_t value = 0;
    for (const char c : text) {
        if (!isDigit(c)) return kDefaultDkimWait;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value <= kLongestDkimWait ? value : kDefaultDkimWait;
}

namespace {

// An address "a.b.c.d" in network byte order; false when entry is none.
bool readAddress(std::string_view entry, std::uint32_t& address) {
    std::uint8_t parts[4] = {};
    std::size_t part = 0;
    std::size_t digits = 0;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i <= entry.size(); ++i) {
        if (i == entry.size() || entry[i] == '.') {
            if (digits == 0 || value > 255 || part == 4) return false;
            parts[part++] = static_cast<std::uint8_t>(value);
            digits = 0;
            value = 0;
        } else if (isDigit(entry[i]) && digits < 3) {
            value = value * 10 + static_cast<std::uint32_t>(entry[i] - '0');
            ++digits;
        } else {
            return false;
        }
    }
    if (part != 4) return false;
    // The first byte in memory is the first number, whatever the machine's order.
    address = 0;
    for (int i = 3; i >= 0; --i) address = address << 8 | parts[i];
    return true;
}

}  // namespace

std::vector<std::uint32_t> readDnsServers(std::string_view text) {
    std::vector<std::uint32_t> servers;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto separates = [](char c) { return isBlank(c) || c == ','; };
        while (at < text.size() && separates(text[at])) ++at;
        std::size_t end = at;
        while (end < text.size() && !separates(text[end])) ++end;
        std::uint32_t address = 0;
        if (end > at && readAddress(text.substr(at, end - at), address)) servers.push_back(address);
        at = end;
    }
    return servers;
}
