#include "about/version_info.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "host/module_instance.h"
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

VersionBlock loadOwnVersionBlock(std::uint32_t& translation) {
    char path[kPathSize];
    const DWORD length = GetModuleFileNameA(moduleInstance, path, kPathSize);
    if (length == 0 || length >= kPathSize) return nullptr;
    return loadVersionBlock(path, translation);
}

bool queryVersionString(char* dst, std::size_t dstSize, const void* block,
                        std::uint32_t translation, const char* name) {
    if (dstSize == 0) return false;
    dst[0] = '\0';
    if (block == nullptr) return false;

    char subBlock[256];
    std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04x%04x\\%s",
                  static_cast<unsigned>(translation & 0xFFFF), static_cast<unsigned>(translation >> 16),
                  name);
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(const_cast<void*>(block), subBlock, &value, &length) || value == nullptr) {
        return false;
    }
    copyBounded(dst, dstSize, static_cast<const char*>(value));
    return true;
}
