#include "local_clock.h"

#include <cstdio>
#include <cstring>

namespace {

SYSTEMTIME date;  // the date handed out; one plug-in's clock per process

void WINAPI localTime(SYSTEMTIME* time) { *time = date; }

// The import address table slot through which module calls name of dll;
// null when it has none.
void** importSlot(HMODULE module, const char* dll, const char* name) {
    auto* const base = reinterpret_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return nullptr;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name != 0;
         ++entry) {
        if (_stricmp(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
            base + (entry->OriginalFirstThunk != 0 ? entry->OriginalFirstThunk : entry->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) == 0) {
                return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
    }
    return nullptr;
}

}  // namespace

bool setLocalDate(HMODULE module, WORD year, WORD month, WORD day) {
    date = SYSTEMTIME{};
    date.wYear = year;
    date.wMonth = month;
    date.wDay = day;
    date.wHour = 12;
    void** slot = importSlot(module, "KERNEL32.dll", "GetLocalTime");
    if (slot == nullptr) return false;
    DWORD protection = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) return false;
    *slot = reinterpret_cast<void*>(&localTime);
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    return true;
}

bool readLocalDate(const char* text, WORD& year, WORD& month, WORD& day) {
    unsigned y = 0, m = 0, d = 0;
    char end = 0;
    if (std::strlen(text) != 10 || std::sscanf(text, "%4u-%2u-%2u%c", &y, &m, &d, &end) != 3) return false;
    if (m < 1 || m > 12 || d < 1 || d > 31) return false;
    year = static_cast<WORD>(y);
    month = static_cast<WORD>(m);
    day = static_cast<WORD>(d);
    return true;
}
