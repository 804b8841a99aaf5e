// The plug-in's item in the host's menu.
#pragma once

#include <windows.h>

#include <cstdint>

#include "host/host_interface.h"

// The item's label; a constant of the plug-in, not read from the resource.
extern const char kMenuLabel[];

// For menuType 0, appends a separator and the plug-in's item to the sub-menu
// at position 5 of menu, with a command registered through host. Other menu
// types are left alone. Every call adds another pair.
void installMenuItem(HostInterface& host, HMENU menu, int menuType);

// The item's command: it takes no action.
void QM_STDCALL onAboutCommand(std::uint32_t window, std::uint32_t param);
