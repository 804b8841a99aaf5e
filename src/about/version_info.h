// Reading the module's own version resource back at run time.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

using VersionBlock = std::unique_ptr<unsigned char[]>;

// Loads the version block of the file at path and its first translation (low
// word language, high word code page). Returns null when the file has no
// block or no translation.
VersionBlock loadVersionBlock(const char* path, std::uint32_t& translation);

// loadVersionBlock for module's own file (null: the process's program); null
// when its path cannot be had in full.
VersionBlock loadModuleVersionBlock(HMODULE module, std::uint32_t& translation);

// The longest value name queryVersionString looks up.
constexpr std::size_t kLongestVersionName = 32;

// Copies the string value name of the block's string table for translation
// into dst, in the ANSI code page, and returns true. A value longer than
// dstSize - 1 bytes is cut at a character boundary; nothing is ever written
// past dstSize. Returns false with dst empty when block is null or lacks name,
// or name is longer than kLongestVersionName. Allocates nothing.
bool queryVersionString(char* dst, std::size_t dstSize, const void* block,
                        std::uint32_t translation, const char* name);
