#include "charset/windows_converter.h"

#include <climits>
#include <cstring>

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

// Loads a library of Windows' own folder, kept loaded: unloading a library
// from the DLL's own unload is not allowed. A full path, so that no library
// of that name beside the client is taken instead.
HMODULE systemLibrary(const char* name) {
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + std::strlen(name) + 1 > MAX_PATH) return nullptr;
    path[length] = '\\';
    lstrcpyA(path + length + 1, name);
    return LoadLibraryA(path);
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

WindowsConverter::MlangConvert WindowsConverter::mlang() {
    if (!mlangTried_) {
        mlangTried_ = true;
        if (const HMODULE module = systemLibrary("mlang.dll")) {
            mlangConvert_ = reinterpret_cast<MlangConvert>(
                reinterpret_cast<void*>(GetProcAddress(module, "ConvertINetMultiByteToUnicode")));
        }
    }
    return mlangConvert_;
}

void WindowsConverter::loadNormaliz() {
    if (normalizTried_) return;
    normalizTried_ = true;
    if (const HMODULE module = systemLibrary("normaliz.dll")) {
        idnToAscii_ = reinterpret_cast<IdnConvert>(reinterpret_cast<void*>(GetProcAddress(module, "IdnToAscii")));
        normalize_ = reinterpret_cast<Normalize>(reinterpret_cast<void*>(GetProcAddress(module, "NormalizeString")));
    }
}

bool WindowsConverter::toCompatibilityForm(std::string_view text, std::string& decomposed) {
    decomposed.clear();
    loadNormaliz();
    if (normalize_ == nullptr || text.empty() || text.size() > INT_MAX / 8) return false;
    const int count = static_cast<int>(text.size());
    // No more UTF-16 units than bytes; a decomposition is at most 18 a unit.
    wide_.resize(text.size() * 19);
    wchar_t* const source = &wide_[0];
    wchar_t* const target = source + text.size();
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), count, source, count);
    if (units <= 0) return false;
    constexpr int kCompatibilityDecomposition = 6;  // NormalizationKD
    const int written = normalize_(kCompatibilityDecomposition, source, units, target, units * 18);
    bool converted = written > 0;
    if (converted) {
        decomposed.resize(static_cast<std::size_t>(written) * 3);
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, target, written, &decomposed[0],
                                              static_cast<int>(decomposed.size()), nullptr, nullptr);
        converted = bytes > 0;
        decomposed.resize(converted ? static_cast<std::size_t>(bytes) : 0);
    }
    if (wide_.capacity() > kKeptUnits) std::vector<wchar_t>().swap(wide_);
    return converted;
}

bool WindowsConverter::toAsciiDomain(std::string_view domain, std::string& ascii) {
    ascii.clear();
    loadNormaliz();
    const IdnConvert convert = idnToAscii_;
    // Longer than a name can be after mapping, in any form.
    constexpr int kLongest = 1024;
    if (convert == nullptr || domain.empty() || domain.size() > kLongest) return false;
    WCHAR unicode[kLongest];
    const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, domain.data(), static_cast<int>(domain.size()),
                                          unicode, kLongest);
    if (count <= 0) return false;
    WCHAR mapped[256];
    const int length = convert(0, unicode, count, mapped, 256);
    if (length <= 0) return false;
    for (int i = 0; i < length; ++i) {
        if (mapped[i] >= 0x80) return false;
        ascii += static_cast<char>(mapped[i]);
    }
    return true;
}
