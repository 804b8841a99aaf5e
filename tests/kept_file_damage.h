// What becomes of a file kept beside the DLL, as one table for the tests of
// each such file: given the file as the module writes it (a first line and
// lines, each LF-ended) and the longest line its reader takes, what a text
// editor leaves of it, which reads as the file itself, and damage, which is
// no such file.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

struct KeptFileChange {
    static constexpr std::size_t kAll = std::string_view::npos;

    const char* name;
    bool damage;
    std::string_view before;      // put before the file
    std::string_view lineEnd;     // for each LF
    std::string_view afterFirst;  // put after the first line
    std::size_t blanks;           // then a line of the longest's blanks and this many more less one; 0 for none
    std::size_t cut;              // bytes cut from the file's end first (kAll: all)

    std::string applyTo(std::string file, std::size_t longest) const {
        file.resize(cut >= file.size() ? 0 : file.size() - cut);
        const std::size_t firstEnd = std::min(file.find('\n'), file.size() - 1) + 1;
        std::string text = file.substr(0, firstEnd) + std::string(afterFirst);
        if (blanks > 0) text += std::string(longest - 1 + blanks, ' ') + "\n";
        text += file.substr(firstEnd);
        std::string out(before);
        for (const char c : text) out += c == '\n' ? std::string(lineEnd) : std::string(1, c);
        return out;
    }
};

inline const KeptFileChange kKeptFileChanges[] = {
    {"a UTF-8 byte-order mark", false, "\xEF\xBB\xBF", "\n", "", 0, 0},
    {"CR LF line ends", false, "", "\r\n", "", 0, 0},
    {"no line end after the last line", false, "", "\r\n", "", 0, 1},
    {"blank lines, first and between", false, " \t\r\n", "\n\n", "", 0, 1},
    {"blanks and tabs at the ends of lines", false, "", " \t \n", "", 0, 0},
    {"# lines after the first", false, "", "\n", "# a note\n#\n", 0, 0},
    {"a line of blanks as long as the longest", false, "", "\n", "", 1, 0},
    {"a line one byte too long", true, "", "\n", "", 2, 0},
    {"a NUL in a # line", true, "", "\n", std::string_view("# a\0b\n", 6), 0, 0},
    {"a # line of 1 MiB", true, "", "\n", "#", 1 << 20, 0},
    {"an empty file", true, "", "\n", "", 0, KeptFileChange::kAll},
    {"blank lines only", true, "\xEF\xBB\xBF\r\n \n", "\n", "", 0, KeptFileChange::kAll},
    {"lone CRs for line ends", true, "", "\r", "", 0, 0},
};
