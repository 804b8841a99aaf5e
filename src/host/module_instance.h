// The plug-in module's own instance handle, through which it finds its file.
#pragma once

#include <windows.h>

// Null until the entry point stores it at process attach.
extern HINSTANCE moduleInstance;
