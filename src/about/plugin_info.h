// The record in which the host asks for the plug-in's name and version.
#pragma once

#include <windows.h>

// Laid out by the host: four NUL-terminated code page 932 fields, no gaps.
struct PluginInfo {
    char name[80];
    char vendor[80];
    char version[80];
    char description[256];
};
static_assert(sizeof(PluginInfo) == 496, "the host's record is 496 bytes");

// Fills name, vendor, version and description, in that order, from the
// version resource of module (null: the process's program); a value that
// cannot be read is left empty. Only each field's text and its NUL are
// written: the bytes after them stay as the caller left them.
void fillPluginInfo(HMODULE module, PluginInfo& info);
