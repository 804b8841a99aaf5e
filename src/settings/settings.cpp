#include "settings/settings.h"

Settings globalSettings;

void lowerAsciiInPlace(char* text) {
    for (; *text != '\0'; ++text) *text = lowerAscii(*text);
}

bool equalsLowered(std::string_view text, std::string_view lowerName) {
    if (text.size() != lowerName.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lowerAscii(text[i]) != lowerName[i]) return false;
    }
    return true;
}
