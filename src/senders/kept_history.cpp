#include "senders/kept_history.h"

#include <cstring>
#include <string>

#include "senders/history_file.h"

KeptHistory::KeptHistory(HMODULE module, Day today) : history_(std::make_unique<SenderHistory>(today)) {
    char path[MAX_PATH];
    char setAside[MAX_PATH];
    if (!pathBesideModule(module, kHistoryFileName, path) || !pathBesideModule(module, kSetAsideFileName, setAside)) {
        return;
    }
    std::string bytes;
    switch (readWholeFile(path, kLargestHistoryFile, bytes)) {
        case FileRead::kRead:
            if (history_->read(bytes)) break;
            [[fallthrough]];
        case FileRead::kTooLarge:
            // Kept for the user to look at, and out of the way of the new one.
            if (!setFileAside(path, setAside)) return;
            begun_ = true;
            break;
        case FileRead::kMissing:
            begun_ = true;
            break;
        case FileRead::kFailed:
            return;
    }
    std::memcpy(path_, path, sizeof path_);
}

bool KeptHistory::save() {
    if (path_[0] == '\0') return false;
    if (!begun_ && !history_->changed()) return true;
    if (!replaceFile(path_, history_->write())) return false;
    history_->markSaved();
    begun_ = false;
    return true;
}
