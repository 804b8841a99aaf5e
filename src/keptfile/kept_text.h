// A text file kept beside the module, as its content sees it: the lines a
// user may have opened in a text editor and saved again, and what the
// content must do for the file to be read at the start, merged with another
// process's save and replaced (kept_file.h does that on Windows).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "keptfile/local_dates.h"

// Reads a kept file's lines as a text editor may leave them. Taken as they
// come, and no damage: a UTF-8 byte-order mark before the first line, blank
// lines (blanks and tabs only) anywhere, blanks, tabs and CRs at a line's
// end, a last line without its LF, and after the first line, lines that
// begin with '#'. Damage, which ends the reading: a NUL, or a line longer
// than the longest allowed. Each byte is looked at a bounded number of
// times: linear in the file, with no recursion.
class KeptLines {
public:
    enum class Next {
        kLine,     // line holds the next line
        kEnd,      // no line is left
        kDamaged,  // what follows is no text file of this kind: a NUL or a line too long
    };

    // Reads file, whose lines hold at most longest bytes each (their blanks
    // at the end and CR counted, their LF not).
    KeptLines(std::string_view file, std::size_t longest);

    // Sets line to the next line that holds text, without its LF and the
    // blanks, tabs and CRs at its end. The first is the file's first line
    // of text, '#' or not; after it, '#' lines are passed over. After kEnd
    // or kDamaged, each call gives the same.
    Next next(std::string_view& line);

private:
    std::string_view rest_;
    std::size_t longest_;
    bool first_ = true;
    bool damaged_ = false;
};

// What a kept file holds, as the module that keeps the file (KeptFile)
// reads, merges and writes it. The content is the truth while the process
// runs; the file is where it is kept between runs and shared with other
// processes of the same user (two clients, or two copies of the module,
// with one folder).
//
// Each text that implements it reads with KeptLines, so that what an editor
// leaves is no damage, and reads a date later than today as today: a clock
// that was once set ahead must not hold its dates in the future.
class KeptText {
public:
    virtual ~KeptText() = default;

    // Replaces the content with what file holds and returns true; false,
    // the content as it was, when file is no such file (damaged, of
    // another kind): the module then sets it aside, never writes over it.
    // today bounds the dates read. The content counts as unchanged after
    // it, unless what it keeps differs from what the file held (lines of
    // an older form, dates ahead, past its capacity). Linear in file, but
    // for sorting; throws std::bad_alloc, the content as it was.
    virtual bool read(std::string_view file, Day today) = 0;

    // Merges in what file holds, which another process saved, or the user
    // edited, since the content was read or saved, and returns true: no
    // record of either is lost. false, the content as it was, when file is
    // no such file. After it, the content counts as changed exactly when
    // it keeps what file does not, so that a save follows. Linear in the
    // file and the content, but for sorting; throws std::bad_alloc.
    virtual bool merge(std::string_view file, Day today) = 0;

    // The file's bytes for the content as it is: its canonical form, which
    // read takes back to the same content.
    virtual std::string write() const = 0;

    // Whether the content differs from the file as last read, merged or
    // saved; markSaved says the file now holds write()'s bytes.
    virtual bool changed() const = 0;
    virtual void markSaved() = 0;

protected:
    KeptText() = default;
    KeptText(const KeptText&) = default;
    KeptText& operator=(const KeptText&) = default;
};
