#include "settings/settings.h"

Settings globalSettings;

void lowerAsciiInPlace(char* text) {
    for (; *text != '\0'; ++text) *text = lowerAscii(*text);
}
