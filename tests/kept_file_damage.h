// What becomes of a file kept beside the DLL, as tables for the tests of
// each such file: given the file's own bytes (a first line and lines, each
// LF-ended, as the module writes them), what a text editor leaves of it,
// which must read as the same content, and damage, which must not read.
#pragma once

#include <cstddef>
#include <string>

namespace kept_file_damage {

// Each LF of file replaced by with.
inline std::string eachLineEnd(const std::string& file, const std::string& with) {
    std::string out;
    for (const char c : file) out += c == '\n' ? with : std::string(1, c);
    return out;
}

// file with text after its first line.
inline std::string afterFirstLine(const std::string& file, const std::string& text) {
    const std::size_t end = file.find('\n') + 1;
    return file.substr(0, end) + text + file.substr(end);
}

}  // namespace kept_file_damage

struct KeptFileChange {
    const char* name;
    // file changed; longest is the longest line the file's reader takes.
    std::string (*change)(const std::string& file, std::size_t longest);
};

// Saved again by a text editor: each reads as the file itself.
inline const KeptFileChange kEditorLeftovers[] = {
    {"a UTF-8 byte-order mark", [](const std::string& f, std::size_t) { return "\xEF\xBB\xBF" + f; }},
    {"CR LF line ends", [](const std::string& f, std::size_t) { return kept_file_damage::eachLineEnd(f, "\r\n"); }},
    {"no LF after the last line", [](const std::string& f, std::size_t) { return f.substr(0, f.size() - 1); }},
    {"no CR LF after the last line",
     [](const std::string& f, std::size_t) { return kept_file_damage::eachLineEnd(f.substr(0, f.size() - 1), "\r\n"); }},
    {"blank lines, first and between",
     [](const std::string& f, std::size_t) { return "\n \t\r\n" + kept_file_damage::eachLineEnd(f, "\n\n"); }},
    {"blanks and tabs at the ends of lines",
     [](const std::string& f, std::size_t) { return kept_file_damage::eachLineEnd(f, " \t \n"); }},
    {"# lines after the first",
     [](const std::string& f, std::size_t) { return kept_file_damage::afterFirstLine(f, "# a note\n#\n") + "# end"; }},
    {"a line of blanks just within the longest",
     [](const std::string& f, std::size_t longest) { return f + std::string(longest, ' ') + "\n"; }},
};

// Damage to any such file: each is no such file.
inline const KeptFileChange kKeptFileDamage[] = {
    {"an empty file", [](const std::string&, std::size_t) { return std::string(); }},
    {"blank lines only", [](const std::string&, std::size_t) { return std::string("\xEF\xBB\xBF\r\n \n"); }},
    {"the first line cut short", [](const std::string& f, std::size_t) { return f.substr(0, f.find('\n') - 1); }},
    {"a NUL in a line", [](const std::string& f, std::size_t) { return f.substr(0, f.size() - 3) + '\0' + f.substr(f.size() - 3); }},
    {"a NUL in a # line",
     [](const std::string& f, std::size_t) { return kept_file_damage::afterFirstLine(f, std::string("# a\0b\n", 6)); }},
    {"a line one byte too long",
     [](const std::string& f, std::size_t longest) { return f + std::string(longest + 1, ' ') + "\n"; }},
    {"a # line of 1 MiB",
     [](const std::string& f, std::size_t) { return kept_file_damage::afterFirstLine(f, "#" + std::string(1 << 20, 'a') + "\n"); }},
    {"lone CRs for line ends", [](const std::string& f, std::size_t) { return kept_file_damage::eachLineEnd(f, "\r"); }},
    {"saved as UTF-16", [](const std::string& f, std::size_t) {
         std::string out = "\xFF\xFE";
         for (const char c : f) (out += c) += '\0';
         return out;
     }},
};
