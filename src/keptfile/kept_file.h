// A text file kept beside the DLL for a session, as Windows keeps it: read
// at the start, read again each minute while another program holds it
// locked, merged with what another process saved before it is replaced, and
// replaced in one step. A file that is no such file is set aside, never
// written over unread; a folder that cannot be written keeps the content in
// memory. What the file holds is the KeptText's to read, merge and write.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "keptfile/kept_text.h"

class KeptFile {
public:
    // The file name (say "Quillmark-keys.txt") beside module, of at most
    // largest bytes, whose content is text; text holds what a new file
    // begins with, and must outlive this. A file that is no such file is
    // set aside as name with ".bad" for its extension (Quillmark-keys.bad),
    // the earlier ones moving on to .bad-2 and on, five kept in all. Reads
    // nothing yet: see open.
    KeptFile(HMODULE module, const char* name, KeptText& text, std::size_t largest);

    // Reads the file into text (KeptText::read). Without one, text begins
    // anew, and the first save writes it. A file that is no such file (read
    // refuses it, or it is larger than largest) is set aside and text begins
    // anew; a file that cannot be read (another program holds it locked) is
    // tried again at each save, and merged in then. A path that cannot be
    // had, or a file that cannot be set aside, leaves text in memory only,
    // the file untouched.
    void open(Day today);

    // To be called each minute and at the exit. Reads a file that was
    // locked so far, or that another process saved since (its time or size
    // changed), and merges it in (KeptText::merge), so that processes that
    // share the file learn each other's records within a minute; then, when
    // text changed or began anew, reads the file again, merges it in when it
    // differs from what was last read or written (another process saved, or
    // the user edited it), and replaces it with text's bytes. True when
    // nothing is left to write; false when the file is still locked, or the
    // folder cannot be written: the next call tries again. Nothing is
    // written while text is kept in memory only, or while the file is locked.
    bool save(Day today);

    enum class State : std::uint8_t {
        kKept,      // read, or begun anew: saved to the file
        kLocked,    // there but not yet read: tried again at each save
        kInMemory,  // never read or written this session
    };
    State state() const { return state_; }

private:
    // Reads the file into text_, by read or merge, unless it is what was
    // last read or written; sets it aside when it is no such file. False
    // when it could not be read, or set aside.
    bool take(Day today, bool merge);
    // The file's time and size, as they are now; zero for no file.
    void stampNow(FILETIME& time, std::uint64_t& size) const;

    KeptText& text_;
    std::size_t largest_;
    State state_ = State::kInMemory;
    bool begun_ = false;  // text began anew: the file holds none of it
    // What the file held when last read or written: its size and a hash of
    // its bytes (known_ false: nothing, or no file).
    bool known_ = false;
    std::size_t size_ = 0;
    std::uint64_t hash_ = 0;
    // The file's time and size when last read or written: only a cheap
    // look for another process's save; before a save, the bytes decide.
    FILETIME time_ = {};
    std::uint64_t stampSize_ = 0;
    char path_[MAX_PATH] = {};
    char setAside_[MAX_PATH] = {};
};
