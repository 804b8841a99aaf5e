#include "keptfile/whole_file.h"

#include <cstring>

bool pathBesideModule(HMODULE module, const char* name, char (&path)[MAX_PATH]) {
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    // A length that reaches the buffer's size means the path was cut.
    std::size_t folder = length;
    while (folder > 0 && path[folder - 1] != '\\' && path[folder - 1] != '/') --folder;
    const std::size_t nameLength = std::strlen(name);
    if (length == 0 || length >= MAX_PATH || folder == 0 || folder + nameLength >= MAX_PATH) {
        path[0] = '\0';
        return false;
    }
    std::memcpy(path + folder, name, nameLength + 1);
    return true;
}

FileRead readWholeFile(const char* path, std::size_t limit, std::string& bytes) {
    bytes.clear();
    const HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRead::kMissing : FileRead::kFailed;
    }
    FileRead result = FileRead::kRead;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        result = FileRead::kFailed;
    } else if (static_cast<unsigned long long>(size.QuadPart) > limit) {
        result = FileRead::kTooLarge;
    } else {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD read = 0;
            if (!ReadFile(file, &bytes[done], static_cast<DWORD>(bytes.size() - done), &read, nullptr) || read == 0) {
                break;
            }
            done += read;
        }
        // A file that changed size while it was read is no file to trust.
        if (done != bytes.size()) result = FileRead::kFailed;
    }
    CloseHandle(file);
    if (result != FileRead::kRead) bytes.clear();
    return result;
}

bool replaceFile(const char* path, std::string_view bytes, WriteBytes write) {
    if (write == nullptr) write = WriteFile;
    char fresh[MAX_PATH];
    const std::size_t length = std::strlen(path);
    if (length + sizeof ".new" > sizeof fresh) return false;
    std::memcpy(fresh, path, length);
    std::memcpy(fresh + length, ".new", sizeof ".new");
    const HANDLE file = CreateFileA(fresh, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool written = true;
    for (std::size_t done = 0; written && done < bytes.size();) {
        DWORD wrote = 0;
        const auto chunk = static_cast<DWORD>(bytes.size() - done < (1u << 20) ? bytes.size() - done : 1u << 20);
        written = write(file, bytes.data() + done, chunk, &wrote, nullptr) && wrote == chunk;
        done += wrote;
    }
    // On the disk before it takes the old file's place: a power cut after
    // the move must not leave a file the disk never got.
    written = written && FlushFileBuffers(file);
    CloseHandle(file);
    if (written && MoveFileExA(fresh, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    DeleteFileA(fresh);
    return false;
}

namespace {

// setAside's n-th name: setAside itself for the first, then "-2" and on.
bool setAsideName(const char* setAside, int n, char (&name)[MAX_PATH]) {
    const std::size_t length = std::strlen(setAside);
    if (length + 3 > sizeof name) return false;
    std::memcpy(name, setAside, length + 1);
    if (n > 1) {
        name[length] = '-';
        name[length + 1] = static_cast<char>('0' + n);
        name[length + 2] = '\0';
    }
    return true;
}

}  // namespace

bool setFileAside(const char* path, const char* setAside) {
    static_assert(kSetAsideFiles <= 9, "one digit a name");
    // The oldest first, so that each takes a place just left.
    char from[MAX_PATH];
    char to[MAX_PATH];
    for (int n = kSetAsideFiles; n > 1; --n) {
        if (setAsideName(setAside, n - 1, from) && setAsideName(setAside, n, to)) {
            MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        }
    }
    return MoveFileExA(path, setAside, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
