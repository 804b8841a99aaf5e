// Settings records filled by hand, as the settings file would fill them.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "settings/settings.h"

inline Settings makeSettings(std::vector<std::string> show, std::vector<std::string> hide,
                             int sort = 1, int ignoreCase = 0, const char* separator = "-- ") {
    Settings settings;
    settings.showPatterns = std::move(show);
    settings.hidePatterns = std::move(hide);
    settings.sort = sort;
    settings.ignoreCase = ignoreCase;
    std::strncpy(settings.separator, separator, sizeof settings.separator - 1);
    return settings;
}

// The values a new settings file holds.
inline Settings defaultSettings() { return makeSettings({"Comments", "X-"}, {"X-UIDL"}); }
