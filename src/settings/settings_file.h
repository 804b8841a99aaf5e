// The settings file beside the module: its path, its defaults, its loading.
#pragma once

#include <cstddef>

#include "settings/settings.h"

constexpr std::size_t kPathSize = 260;

// Fills buffer with the module's own path, its last three characters replaced
// by "ini". Returns false and leaves buffer empty when the module's path
// cannot be had in full: a cut path could name somebody else's file.
bool deriveSettingsPath(char (&buffer)[kPathSize]);

// Loads the file at path into settings, after writing the six defaults into
// it when (and only when) the file does not exist. The record is reset first.
// A null or empty path writes and reads nothing and leaves the reader's
// defaults: sort 1, separator "-- ", every other value 0, no patterns.
void loadSettingsFrom(const char* path, Settings& settings);

// loadSettingsFrom with the path that deriveSettingsPath gives.
void loadSettings(Settings& settings);
