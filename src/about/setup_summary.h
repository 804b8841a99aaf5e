// The message shown when the user asks for the plug-in's setup.
#pragma once

#include <windows.h>

#include <string>

#include "settings/settings.h"

struct SetupSummary {
    std::string caption;
    std::string body;  // LF line ends, no LF after the settings path
};

// Composes the caption and body from the version resource, the patterns in
// settings and the settings file's path.
SetupSummary composeSetupSummary(const Settings& settings);

// Shows the summary in a box with an OK button, owned by ownerWindow; returns
// when the box is closed.
void buildSetupSummary(HWND ownerWindow, const Settings& settings);
