// The DKIM keys kept on the user's machine: each key record that DNS gave
// and that verified a signature, with the local dates it was first and last
// seen in DNS, so that mail signed while a key was published still passes
// once the domain has dropped it.
//
// The file, every line LF-ended, in ASCII:
//   # Quillmark keys 1 since YYYY-MM-DD
//   NAME FIRST LAST RECORD
//   ...
// NAME is "selector._domainkey.domain" in lower-case A-labels, RECORD the
// key record as DNS gave it with its blanks removed; lines sorted by NAME,
// then FIRST. A name has a line per key.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "keptfile/kept_text.h"
#include "keptfile/local_dates.h"

class KeptKeys final : public KeptText {
public:
    // Beyond this many lines, the line last seen longest ago goes.
    static constexpr std::size_t kMaxLines = 20000;
    // A name keeps its latest keys only: a domain that publishes a new key
    // under one selector every day cannot fill the file with one name.
    static constexpr std::size_t kMaxKeysAName = 16;
    // The longest record kept: an RSA key of 4096 bits and its tags fit.
    static constexpr std::size_t kLongestRecord = 2048;
    // The longest line read; a longer one is damage.
    static constexpr std::size_t kMaxLineLength = 256 + 2 * kDateLength + kLongestRecord + 4;

    explicit KeptKeys(Day since) : since_(since) {}

    // The record as it is kept: blanks removed, only bytes '!' to '~', at
    // most kLongestRecord bytes, holding a p= with a key; empty when it
    // cannot be kept.
    static std::string keptForm(std::string_view record);
    // The key a kept form holds: the value of its first p= tag.
    static std::string_view keyOf(std::string_view kept);
    // Whether record is a kept form.
    static bool isKeptForm(std::string_view record);
    // Whether record, as DNS gave it, is kept, as kept holds it.
    static bool sameRecord(std::string_view kept, std::string_view record);

    // The lines of a name, "NAME FIRST LAST RECORD" as the file holds them,
    // in its order; valid until the keys change.
    struct Range {
        const std::string* begin;
        const std::string* end;
    };
    Range keysOf(std::string_view name) const;
    // What a line of keysOf holds.
    static Day firstOf(const std::string& line);
    static Day lastOf(const std::string& line);
    static std::string_view recordOf(const std::string& line);

    // Keeps record, which DNS gave at name today and which verified a
    // signature: a new key is added, first and last seen today; a kept one
    // was seen today. A name past kMaxKeysAName keys, or a file past
    // kMaxLines, drops the key last seen longest ago.
    void keep(std::string_view name, std::string_view record, Day today);
    // DNS gave record at name today: a kept key of it was seen today. A key
    // not kept stays so, as it verified nothing yet.
    void see(std::string_view name, std::string_view record, Day today);

    // The file as KeptText reads, merges and writes it. Lines of one name
    // and key are one: of them, the earliest FIRST, the latest LAST and
    // the record last seen; past the limits, the keys seen longest ago go.
    bool read(std::string_view file, Day today) override;
    // Of a key both hold, the earlier FIRST and the later LAST.
    bool merge(std::string_view file, Day today) override;
    std::string write() const override;

    bool changed() const override { return changed_; }
    void markSaved() override { changed_ = false; }
    Day since() const { return since_; }
    std::size_t size() const { return lines_.size(); }

private:
    // Reads file's lines, each as it is kept; false when it is no keys file.
    // clamped: a date later than today was read as today.
    static bool readLines(std::string_view file, Day today, Day& since, std::vector<std::string>& lines,
                          bool& clamped);
    // Whether lines are as tidy leaves them.
    static bool isTidy(const std::vector<std::string>& lines);
    // Sorts lines, makes the lines of one name and key one, and drops what
    // the limits leave no room for.
    static void tidy(std::vector<std::string>& lines);
    // The line of name holding key, or null.
    std::string* find(std::string_view name, std::string_view key);

    Day since_;
    bool changed_ = false;
    // Sorted as text, which is by name, then FIRST: a name's lines stand
    // together, as the blank after it sorts before any byte of a name.
    std::vector<std::string> lines_;
};
