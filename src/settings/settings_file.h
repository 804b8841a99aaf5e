// The settings file beside the module: the module's own path, the file's
// path derived from it, its defaults, its loading.
#pragma once

#include <windows.h>

#include <cstddef>

#include "settings/settings.h"

constexpr std::size_t kPathSize = 260;

// Fills buffer with the file path of module (null: the process's program).
// Returns false and leaves buffer empty when the path cannot be had in full:
// a cut path could name somebody else's file.
bool moduleFilePath(HMODULE module, char (&buffer)[kPathSize]);

// Fills buffer with module's own path, its last three characters replaced by
// "ini". Returns false and leaves buffer empty when moduleFilePath does.
bool deriveSettingsPath(HMODULE module, char (&buffer)[kPathSize]);

// Loads the file at path into settings, after writing the six defaults into
// it when (and only when) the file does not exist. The record is reset first.
// A null or empty path writes and reads nothing and leaves the reader's
// defaults: sort 1, separator "-- ", every other value 0, no patterns.
void loadSettingsFrom(const char* path, Settings& settings);

// loadSettingsFrom with the path that deriveSettingsPath gives for module.
void loadSettings(HMODULE module, Settings& settings);
