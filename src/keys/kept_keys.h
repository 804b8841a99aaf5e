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

// A key kept for a name.
struct KeptKey {
    Day first = 0;  // the local dates it was first and last seen in DNS
    Day last = 0;
    std::string_view record;  // valid until the keys change
};

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

    // The keys kept for name, in the order of the file.
    std::vector<KeptKey> keysOf(std::string_view name) const;

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
    struct Line {
        std::string name;
        Day first = 0;
        Day last = 0;
        std::string record;
    };
    // Reads file into lines, in the file's order; false when it is no keys file.
    static bool readLines(std::string_view file, Day today, Day& since, std::vector<Line>& lines);
    // Sorts lines, makes the lines of one name and key one, and drops what
    // the limits leave no room for.
    static void tidy(std::vector<Line>& lines);
    // The line of name holding key, or the end.
    std::vector<Line>::iterator find(std::string_view name, std::string_view key);

    Day since_;
    bool changed_ = false;
    std::vector<Line> lines_;  // sorted by name, then first
};
