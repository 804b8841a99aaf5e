#include "about/menu_item.h"

#include <cstddef>

const char kMenuLabel[] = "Tavisel Pluginについて";

namespace {
// The record as it was before the item-bitmap field was added, which every
// version of Windows accepts.
constexpr UINT kMenuItemInfoSize = 44;
static_assert(offsetof(MENUITEMINFOA, hbmpItem) == kMenuItemInfoSize);
constexpr int kPluginSubMenu = 5;
}  // namespace

void installMenuItem(HostInterface& host, HMENU menu, int menuType) {
    if (menuType != 0) return;
    const HMENU sub = GetSubMenu(menu, kPluginSubMenu);

    MENUITEMINFOA item{};
    item.cbSize = kMenuItemInfoSize;
    item.fMask = MIIM_TYPE;
    item.fType = MFT_SEPARATOR;
    InsertMenuItemA(sub, static_cast<UINT>(GetMenuItemCount(sub)), TRUE, &item);

    const std::int32_t command = host.registerCommand(kMenuLabel, 0, onAboutCommand);
    item.fMask = MIIM_TYPE | MIIM_ID;
    item.fType = MFT_STRING;
    item.wID = static_cast<UINT>(command);
    item.dwTypeData = const_cast<char*>(kMenuLabel);
    item.cch = sizeof kMenuLabel - 1;
    InsertMenuItemA(sub, static_cast<UINT>(GetMenuItemCount(sub)), TRUE, &item);
}

void QM_STDCALL onAboutCommand(std::uint32_t /*window*/, std::uint32_t /*param*/) {}
