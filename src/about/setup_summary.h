// The message shown when the user asks for the plug-in's setup.
#pragma once

#include <windows.h>

#include <string>

#include "settings/settings.h"

struct SetupSummary {
    std::string caption;
    std::string body;  // LF line ends, no LF after the settings path
};

// Composes the caption and body from module's version resource, the
// patterns in settings and the path of module's settings file.
SetupSummary composeSetupSummary(HMODULE module, const Settings& settings);

// Shows the summary in a box with an OK button, owned by ownerWindow; returns
// when the box is closed.
void showSetupSummary(HMODULE module, HWND ownerWindow, const Settings& settings);
