#include "about/version_info.h"

#include <windows.h>

#include <cstring>
#include <new>
#include <string_view>

#include "settings/settings_file.h"

namespace {

// Copies as much of src as fits in size bytes with its NUL, never splitting a
// double-byte character.
void copyBounded(char* dst, std::size_t size, const char* src) {
    std::size_t length = 0;
    while (src[length] != '\0') {
        const bool pair = IsDBCSLeadByte(static_cast<BYTE>(src[length])) && src[length + 1] != '\0';
        const std::size_t next = length + (pair ? 2 : 1);
        if (next > size - 1) break;
        length = next;
    }
    std::memcpy(dst, src, length);
    dst[length] = '\0';
}

}  // namespace

VersionBlock loadVersionBlock(const char* path, std::uint32_t& translation) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0) return nullptr;
    VersionBlock block(new (std::nothrow) unsigned char[size]);
    if (!block || !GetFileVersionInfoA(path, 0, size, block.get())) return nullptr;

    void* value = nullptr;
    UINT length = 0;
    char query[] = "\\VarFileInfo\\Translation";
    if (!VerQueryValueA(block.get(), query, &value, &length) || length < sizeof translation) {
        return nullptr;
    }
    std::memcpy(&translation, value, sizeof translation);
    return block;
}

VersionBlock loadModuleVersionBlock(HMODULE module, std::uint32_t& translation) {
    char path[kPathSize];
    if (!moduleFilePath(module, path)) return nullptr;
    return loadVersionBlock(path, translation);
}

bool queryVersionString(char* dst, std::size_t dstSize, const void* block,
                        std::uint32_t translation, const char* name) {
    if (dstSize == 0) return false;
    dst[0] = '\0';
    if (block == nullptr) return false;

    // "\StringFileInfo\041104b0\name": the language, then the code page,
    // each as four lower-case hex digits. Built by hand in a fixed buffer:
    // the C library's formatted printing would add some 25 KB to the DLL,
    // and the load refusal may not allocate.
    constexpr char kPrefix[] = "\\StringFileInfo\\";
    char subBlock[sizeof kPrefix + 9 + kLongestVersionName];
    const std::size_t nameLength = std::strlen(name);
    if (nameLength > kLongestVersionName) return false;
    char* at = subBlock;
    for (const char c : std::string_view(kPrefix, sizeof kPrefix - 1)) *at++ = c;
    for (const int shift : {12, 8, 4, 0, 28, 24, 20, 16}) *at++ = "0123456789abcdef"[(translation >> shift) & 0xF];
    *at++ = '\\';
    std::memcpy(at, name, nameLength + 1);
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(const_cast<void*>(block), subBlock, &value, &length) || value == nullptr) {
        return false;
    }
    copyBounded(dst, dstSize, static_cast<const char*>(value));
    return true;
}
