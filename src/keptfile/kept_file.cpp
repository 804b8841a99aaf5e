#include "keptfile/kept_file.h"

#include <cstring>
#include <string>

#include "keptfile/whole_file.h"

namespace {

// Whether a file is what this process last read or wrote: two lanes of
// 32-bit multiplications over 4 bytes at a time, which a 32-bit processor
// makes in a few ms for the largest history. A file that differs by chance
// with the same hash is one in 2^64.
std::uint64_t hashOfBytes(std::string_view bytes) {
    std::uint32_t high = 0x811C9DC5u;
    std::uint32_t low = 0x9E3779B9u;
    std::size_t at = 0;
    for (; at + 4 <= bytes.size(); at += 4) {
        std::uint32_t word;
        std::memcpy(&word, bytes.data() + at, 4);
        high = (high ^ word) * 0x01000193u + (high >> 15);
        low = (low + word) * 0x85EBCA77u ^ (low >> 13);
    }
    for (; at < bytes.size(); ++at) {
        high = (high ^ static_cast<unsigned char>(bytes[at])) * 0x01000193u;
        low = (low + static_cast<unsigned char>(bytes[at])) * 0x85EBCA77u;
    }
    return std::uint64_t{high} << 32 | low;
}

// path with ".bad" for its extension, or after it when it has none.
bool setAsideNameOf(const char* path, char (&setAside)[MAX_PATH]) {
    const std::size_t length = std::strlen(path);
    std::size_t stem = length;
    while (stem > 0 && path[stem - 1] != '.' && path[stem - 1] != '\\' && path[stem - 1] != '/') --stem;
    stem = stem > 0 && path[stem - 1] == '.' ? stem - 1 : length;
    if (stem + sizeof ".bad" > sizeof setAside) return false;
    std::memcpy(setAside, path, stem);
    std::memcpy(setAside + stem, ".bad", sizeof ".bad");
    return true;
}

}  // namespace

KeptFile::KeptFile(HMODULE module, const char* name, KeptText& text, std::size_t largest)
    : text_(text), largest_(largest) {
    if (!pathBesideModule(module, name, path_) || !setAsideNameOf(path_, setAside_)) path_[0] = '\0';
}

void KeptFile::open(Day today) {
    if (path_[0] == '\0') return;
    state_ = State::kLocked;
    take(today, false);
}

void KeptFile::stampNow(FILETIME& time, std::uint64_t& size) const {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path_, GetFileExInfoStandard, &data)) data = {};
    time = data.ftLastWriteTime;
    size = std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
}

bool KeptFile::take(Day today, bool merge) {
    // Before the read: a save that comes between is looked at again.
    stampNow(time_, stampSize_);
    std::string bytes;
    const FileRead read = readWholeFile(path_, largest_, bytes);
    switch (read) {
        case FileRead::kFailed:
            return false;
        case FileRead::kMissing:
            // None at the start: text begins anew, and is written. One
            // deleted meanwhile is written again when text changes.
            begun_ = begun_ || state_ == State::kLocked;
            known_ = false;
            state_ = State::kKept;
            return true;
        case FileRead::kRead: {
            const std::uint64_t hash = hashOfBytes(bytes);
            if (known_ && bytes.size() == size_ && hash == hash_) return true;
            if (merge ? text_.merge(bytes, today) : text_.read(bytes, today)) {
                known_ = true;
                size_ = bytes.size();
                hash_ = hash;
                state_ = State::kKept;
                return true;
            }
            break;
        }
        case FileRead::kTooLarge:
            break;
    }
    // No such file: kept for the user to look at, and out of the way of the
    // new one. One that cannot be set aside is not written over.
    if (!setFileAside(path_, setAside_)) {
        state_ = State::kInMemory;
        return false;
    }
    begun_ = true;
    known_ = false;
    state_ = State::kKept;
    return true;
}

bool KeptFile::save(Day today) {
    if (state_ == State::kInMemory) return false;
    if (state_ == State::kLocked && !take(today, true)) return false;
    FILETIME time;
    std::uint64_t size = 0;
    stampNow(time, size);
    if (size != stampSize_ || time.dwLowDateTime != time_.dwLowDateTime || time.dwHighDateTime != time_.dwHighDateTime) {
        take(today, true);
    }
    if (state_ == State::kInMemory) return false;
    if (!begun_ && !text_.changed()) return true;
    // Another process may have saved since: its records are merged, not
    // written over.
    if (!take(today, true)) return false;
    const std::string bytes = text_.write();
    if (!replaceFile(path_, bytes)) return false;
    text_.markSaved();
    stampNow(time_, stampSize_);
    begun_ = false;
    known_ = true;
    size_ = bytes.size();
    hash_ = hashOfBytes(bytes);
    return true;
}
