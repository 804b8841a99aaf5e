// Menus as the client hands them to the plug-in, and reading their items.
#pragma once

#include <windows.h>

#include <string>

// A menu bar shaped like the client's main menu: six pop-ups, each holding
// one item. The caller destroys it.
inline HMENU makeClientMenu() {
    const HMENU menu = CreateMenu();
    for (int i = 0; i < 6; ++i) {
        const HMENU popup = CreatePopupMenu();
        AppendMenuA(popup, MF_STRING, 100 + i, ("item " + std::to_string(i)).c_str());
        AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), "popup");
    }
    return menu;
}

struct MenuItemReading {
    bool found;
    UINT type;
    UINT id;
    std::string text;
};

// The type, identifier and text of the item at position in menu.
inline MenuItemReading readMenuItem(HMENU menu, int position) {
    char text[256] = {};
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_TYPE | MIIM_ID;
    item.dwTypeData = text;
    item.cch = sizeof text;
    const bool found = GetMenuItemInfoA(menu, static_cast<UINT>(position), TRUE, &item) != FALSE;
    return {found, item.fType, item.wID, text};
}
