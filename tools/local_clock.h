// The local date a plug-in sees, set by the program that plays the host: a
// test's clock, so that a run can cover days, weeks and a restart in a
// second. It replaces the plug-in's import of GetLocalTime; nothing else of
// the module changes.
#pragma once

#include <windows.h>

// Makes module's calls of GetLocalTime give midday of year-month-day from
// now on. False when the module imports no GetLocalTime from KERNEL32.
bool setLocalDate(HMODULE module, WORD year, WORD month, WORD day);

// Reads "YYYY-MM-DD"; false for anything else.
bool readLocalDate(const char* text, WORD& year, WORD& month, WORD& day);
