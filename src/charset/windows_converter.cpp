#include "charset/windows_converter.h"

namespace {

// The wide buffer a conversion keeps for the next.
constexpr std::size_t kKeptUnits = 4096;

// Code page 932 has no character outside the BMP: each surrogate pair,
// and each lone surrogate, becomes one '?' rather than one per unit.
// Works in place; returns the units left.
std::size_t oneUnitPerCharacter(wchar_t* units, std::size_t count) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const wchar_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            const bool pair =
                unit <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF;
            if (pair) ++i;
            units[kept++] = L'?';
        } else {
            units[kept++] = unit;
        }
    }
    return kept;
}

// Appends wide to out in code page 932; false, appending nothing, when
// Windows cannot convert it.
bool appendCodePage932(const wchar_t* wide, std::size_t count, std::string& out) {
    if (count == 0) return true;
    const std::size_t start = out.size();
    out.resize(start + 2 * count);  // at most two bytes a unit
    BOOL usedDefault = FALSE;
    const int written = WideCharToMultiByte(static_cast<UINT>(kCodePage932), WC_NO_BEST_FIT_CHARS, wide,
                                            static_cast<int>(count), &out[start], static_cast<int>(2 * count), "?",
                                            &usedDefault);
    out.resize(start + static_cast<std::size_t>(written > 0 ? written : 0));
    return written > 0;
}

}  // namespace

bool WindowsConverter::toCodePage932(const Charset& charset, std::string_view bytes, std::string& out) {
    if (bytes.empty()) return true;
    const int count = static_cast<int>(bytes.size());
    // No charset gives more UTF-16 units than bytes.
    wide_.resize(bytes.size());
    int wideCount = 0;
    if (charset.jis) {
        const MlangConvert convert = mlang();
        if (convert == nullptr) return false;
        DWORD mode = 0;
        INT sourceCount = count;
        INT destinationCount = count;
        if (convert(&mode, charset.codePage, bytes.data(), &sourceCount, &wide_[0], &destinationCount) != S_OK ||
            sourceCount != count) {
            return false;
        }
        wideCount = destinationCount;
        for (int i = 0; i < wideCount; ++i) {
            wide_[i] = static_cast<wchar_t>(codePage932FormOfJis(static_cast<std::uint32_t>(wide_[i])));
        }
    } else {
        wideCount = MultiByteToWideChar(charset.codePage, MB_ERR_INVALID_CHARS, bytes.data(), count, &wide_[0], count);
        if (wideCount <= 0) return false;
    }
    const std::size_t units = oneUnitPerCharacter(&wide_[0], static_cast<std::size_t>(wideCount));
    const bool converted = appendCodePage932(wide_.data(), units, out);
    if (wide_.capacity() > kKeptUnits) std::vector<wchar_t>().swap(wide_);
    return converted;
}

// Kept loaded once found: unloading a library from the DLL's own
// unload is not allowed.
WindowsConverter::MlangConvert WindowsConverter::mlang() {
    if (!mlangTried_) {
        mlangTried_ = true;
        char path[MAX_PATH];
        const UINT length = GetSystemDirectoryA(path, MAX_PATH);
        constexpr char kName[] = "\\mlang.dll";
        // A full path, so that no mlang.dll beside the client is taken instead.
        if (length > 0 && length + sizeof kName <= MAX_PATH) {
            lstrcpyA(path + length, kName);
            if (const HMODULE module = LoadLibraryA(path)) {
                mlangConvert_ = reinterpret_cast<MlangConvert>(
                    reinterpret_cast<void*>(GetProcAddress(module, "ConvertINetMultiByteToUnicode")));
            }
        }
    }
    return mlangConvert_;
}

