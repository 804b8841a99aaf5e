// Files beside the DLL as Windows reads and writes them: read whole, set
// aside when they cannot be read as what they should be, and replaced in
// one step, so that a crash or a power cut leaves the old file or the new
// one, never a mix.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

// Fills path with the file name in module's folder; false, path empty, when
// the module's path cannot be had or the whole path would not fit.
bool pathBesideModule(HMODULE module, const char* name, char (&path)[MAX_PATH]);

enum class FileRead {
    kRead,      // bytes hold the whole file
    kTooLarge,  // it holds more than limit bytes: none are read
    kMissing,   // there is no such file
    kFailed,    // it is there, but could not be read (locked, say): it must not be written over
};
// Reads the file at path into bytes, at most limit bytes.
FileRead readWholeFile(const char* path, std::size_t limit, std::string& bytes);

// How replaceFile writes: WriteFile's shape, so that a test can make a
// write fail midway.
using WriteBytes = BOOL(WINAPI*)(HANDLE file, const void* bytes, DWORD size, DWORD* written, OVERLAPPED* overlapped);

// Writes bytes to a new file beside path (its name and ".new"), flushes it
// to the disk and moves it over path in one step. False when any of that
// fails: the new file is removed and path is as it was.
bool replaceFile(const char* path, std::string_view bytes, WriteBytes write = nullptr);

// How many files set aside are kept: setAside, then setAside-2 and on.
constexpr int kSetAsideFiles = 5;

// Renames the file at path to setAside. What stood there before moves on
// to setAside-2, that to setAside-3, and so on up to kSetAsideFiles; the
// one that was the fifth goes. False when the file could not be renamed.
bool setFileAside(const char* path, const char* setAside);
