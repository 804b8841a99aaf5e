// The history of senders as a session keeps it: in its file beside the DLL,
// Quillmark-senders.txt, as KeptFile keeps a file (read at the start, tried
// again while locked, merged with another process's save, replaced in one
// step, set aside as Quillmark-senders.bad when it is no history).
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

#include "keptfile/kept_file.h"
#include "senders/sender_history.h"

constexpr char kHistoryFileName[] = "Quillmark-senders.txt";
// The largest file read: some 200,000 lines, where 50,000 are kept.
constexpr std::size_t kLargestHistoryFile = 16u << 20;

class KeptHistory {
public:
    // Reads the history from its file beside module, as KeptFile::open
    // reads; without one, or with one set aside, the history begins today.
    KeptHistory(HMODULE module, Day today);

    SenderHistory& history() { return *history_; }

    // Writes the history to its file when it changed, as KeptFile::save
    // writes; true when nothing is left to write.
    bool save(Day today) { return file_.save(today); }

private:
    std::unique_ptr<SenderHistory> history_;
    KeptFile file_;
};
