// libFuzzer target for the header view: arbitrary settings and header bytes.
//
// Input, readable so that seeds can be real headers:
//   line 1: ignoreCase and sort, as decimal integers
//   line 2: the separator (up to 300 bytes; 256 or more fill its buffer)
//   show patterns, a line each, up to a line "%%"
//   hide patterns, a line each, up to a line "%%"
//   the rest: the header text, any bytes (it ends at its first NUL)
// Lists stop at 99 patterns. Anything missing is empty.
//
// Every output is checked against a plain second reading of the rules and
// against the invariants the host relies on.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fake_host.h"
#include "headerview/header_view.h"

namespace {

// Splits off the next LF-terminated line of the input; the last may lack it.
std::string takeLine(const std::string& input, std::size_t& at) {
    const std::size_t end = std::min(input.find('\n', at), input.size());
    std::string line = input.substr(at, end - at);
    at = std::min(end + 1, input.size());
    return line;
}

// Patterns as the settings file can hold them: no NUL.
PatternList takeList(const std::string& input, std::size_t& at) {
    PatternList list;
    while (at < input.size()) {
        std::string line = takeLine(input, at);
        if (line == "%%") break;
        if (list.size() < kMaxPatterns) list.push_back(line.substr(0, line.find('\0')));
    }
    return list;
}

Settings parseSettings(const std::string& input, std::size_t& at) {
    Settings settings;
    const std::string numbers = takeLine(input, at);
    char* end = nullptr;
    settings.ignoreCase = static_cast<std::int32_t>(std::strtol(numbers.c_str(), &end, 10));
    settings.sort = static_cast<std::int32_t>(std::strtol(end, nullptr, 10));
    const std::string separator = takeLine(input, at).substr(0, 300);
    std::memcpy(settings.separator, separator.data(), std::min(separator.size(), kSeparatorSize));
    settings.showPatterns = takeList(input, at);
    settings.hidePatterns = takeList(input, at);
    return settings;
}

bool isBreak(char c) { return c == '\r' || c == '\n'; }

// The rules read plainly: lowered probe copies, patterns tried in list order.
bool begins(const std::string& probe, const std::string& pattern) {
    return probe.compare(0, pattern.size(), pattern) == 0;
}

std::size_t firstMatch(const std::string& probe, const PatternList& patterns) {
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        if (begins(probe, patterns[i])) return i;
    }
    return patterns.size();
}

struct Expected {
    std::string text;        // what the host is handed; empty: no call
    std::string buffer;      // the header buffer afterwards
    std::vector<std::string> headerLines;
};

Expected expectedFor(const Settings& settings, const std::string& header) {
    Expected expected;
    expected.buffer = header;
    std::vector<std::vector<std::string>> groups(kGroupCount);
    std::size_t i = 0;
    while (i < header.size()) {
        while (i < header.size() && isBreak(header[i])) ++i;
        if (i == header.size()) break;
        const std::size_t start = i;
        while (i < header.size() && !isBreak(header[i])) ++i;
        const std::string line = header.substr(start, i - start);
        if (i < header.size()) expected.buffer[i++] = '\0';
        expected.headerLines.push_back(line);

        std::string probe = line;
        if (settings.ignoreCase != 0) {
            for (char& c : probe) c = lowerAscii(c);
        }
        const std::size_t show = firstMatch(probe, settings.showPatterns);
        if (show == settings.showPatterns.size()) continue;
        if (firstMatch(probe, settings.hidePatterns) < settings.hidePatterns.size()) continue;
        groups[settings.sort != 0 ? std::min(show, kGroupCount - 1) : 0].push_back(line);
    }
    for (const auto& group : groups) {
        for (const std::string& line : group) expected.text += line + '\n';
    }
    if (!expected.text.empty()) {
        expected.text.append(settings.separator, strnlen(settings.separator, kSeparatorSize));
        expected.text += '\n';
    }
    return expected;
}

void check(bool condition) {
    if (!condition) std::abort();
}

// The invariants, stated on their own: each shown line is a header line,
// never empty and without CR; lines of one pattern keep header order; the
// text ends with the separator line.
void checkInvariants(const Settings& settings, const Expected& expected, const std::string& text) {
    const std::size_t separatorLength = strnlen(settings.separator, kSeparatorSize);
    const std::string separatorLine = std::string(settings.separator, separatorLength) + '\n';
    check(text.size() >= separatorLine.size());
    check(text.compare(text.size() - separatorLine.size(), separatorLine.size(), separatorLine) == 0);

    std::size_t searchFrom = 0;  // sort off: one group, in header order
    std::size_t at = 0;
    const std::size_t body = text.size() - separatorLine.size();
    while (at < body) {
        const std::size_t end = text.find('\n', at);
        check(end != std::string::npos && end < body + 1);
        const std::string line = text.substr(at, end - at);
        check(!line.empty() && line.find('\r') == std::string::npos);
        const auto& lines = expected.headerLines;
        bool found = false;
        for (std::size_t k = settings.sort != 0 ? 0 : searchFrom; k < lines.size(); ++k) {
            if (lines[k] == line) {
                found = true;
                searchFrom = k + 1;
                break;
            }
        }
        check(found);
        at = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t at = 0;
    const Settings settings = parseSettings(input, at);
    const std::string rest = input.substr(at);
    const std::string header = rest.substr(0, rest.find('\0'));

    FakeHost host;
    host.headers[7] = header;
    showHeaderView(host, settings, 7);

    const Expected expected = expectedFor(settings, header);
    check(host.bufferAfterCall(7) == expected.buffer);
    if (expected.text.empty()) {
        check(host.textCalls.empty());
        return 0;
    }
    check(host.textCalls.size() == 1);
    check(host.textCalls[0].mode == kViewTextMode);
    check(host.textCalls[0].text == expected.text);
    checkInvariants(settings, expected, host.textCalls[0].text);
    return 0;
}
