// The history of senders as a session keeps it: read from its file beside
// the DLL at the start, held in memory, and written back when it changed.
// A file that cannot be read as a history is set aside, never written over
// unread; a folder that cannot be written keeps the history in memory.
#pragma once

#include <windows.h>

#include <memory>

#include "senders/sender_history.h"

class KeptHistory {
public:
    // Reads the history from Quillmark-senders.txt beside module. Without
    // one, the history begins today. A file that is no history (damaged,
    // cut short, of another format, too large) is renamed
    // Quillmark-senders.bad, replacing an older one, and the history begins
    // today; one that cannot be read, or set aside, or a path that cannot
    // be had, leaves the history in memory only, the file untouched.
    KeptHistory(HMODULE module, Day today);

    SenderHistory& history() { return *history_; }

    // Writes the history to its file when it changed since it was read or
    // written, or began; true when nothing is left to write. A history in
    // memory only is never written.
    bool save();

private:
    std::unique_ptr<SenderHistory> history_;
    char path_[MAX_PATH] = {};  // empty: in memory only
    bool begun_ = false;        // begun here: its file holds none of it yet
};
