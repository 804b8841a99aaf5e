// A file beside the DLL as Windows reads and replaces it: a save that fails
// midway leaves the old file as it was and nothing beside it.
#include "keptfile/whole_file.h"

#include <gtest/gtest.h>

#include <string>

#include "win/test_files.h"

namespace {

// Writes the first half of what it is given, then fails, as a full disk does.
BOOL WINAPI failsMidway(HANDLE file, const void* bytes, DWORD size, DWORD* written, OVERLAPPED*) {
    WriteFile(file, bytes, size / 2, written, nullptr);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

TEST(WholeFile, ASaveReplacesTheFileInOneStepOrLeavesIt) {
    TempFolder folder;
    const std::string path = folder.file("Quillmark-senders.txt");
    writeBytes(path, "old\n");
    const std::string large(3 << 20, 'x');  // more than one write
    EXPECT_FALSE(replaceFile(path.c_str(), large, failsMidway));
    EXPECT_EQ(readBytes(path), "old\n");
    EXPECT_FALSE(fileExists(path + ".new"));
    EXPECT_TRUE(replaceFile(path.c_str(), large));
    EXPECT_EQ(readBytes(path), large);
    EXPECT_FALSE(fileExists(path + ".new"));
}

TEST(WholeFile, ReadsWholeFilesWithinTheirLimit) {
    TempFolder folder;
    const std::string path = folder.file("h.txt");
    std::string bytes;
    EXPECT_EQ(readWholeFile(path.c_str(), 8, bytes), FileRead::kMissing);
    writeBytes(path, "12345678");
    EXPECT_EQ(readWholeFile(path.c_str(), 8, bytes), FileRead::kRead);
    EXPECT_EQ(bytes, "12345678");
    EXPECT_EQ(readWholeFile(path.c_str(), 7, bytes), FileRead::kTooLarge);
    EXPECT_EQ(bytes, "");
    // Held by another program that lets nobody read it: not to be written over.
    const HANDLE held = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(readWholeFile(path.c_str(), 8, bytes), FileRead::kFailed);
    CloseHandle(held);
}

TEST(WholeFile, PathsBesideTheModuleFitOrAreRefused) {
    char path[MAX_PATH];
    ASSERT_TRUE(pathBesideModule(nullptr, "Quillmark-senders.txt", path));
    const std::string self = besideTestProgram("Quillmark-senders.txt");
    EXPECT_EQ(std::string(path), self);
    EXPECT_FALSE(pathBesideModule(nullptr, std::string(MAX_PATH, 'a').c_str(), path));
    EXPECT_STREQ(path, "");
}

}  // namespace
