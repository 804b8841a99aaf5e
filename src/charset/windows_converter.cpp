// The DLL's converter, on the Windows code-page functions. ISO-2022-JP and
// EUC-JP go through mlang.dll instead, since MultiByteToWideChar refuses
// them under Wine; mlang is loaded on first use, so that the plug-in loads
// where it is missing and then leaves such words encoded.
#include <windows.h>

#include <string>

#include "charset/charset_converter.h"
#include "charset/charsets.h"

namespace {

constexpr UINT kCodePage932 = 932;
constexpr UINT kIso2022Jp = 50220;
constexpr UINT kEucJp = 51932;

using MlangConvert = HRESULT(WINAPI*)(DWORD* mode, DWORD encoding, const char* source, INT* sourceCount,
                                      WCHAR* destination, INT* destinationCount);

bool inRange(char c, unsigned low, unsigned high) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= low && byte <= high;
}

// mlang shows a byte it cannot read as U+30FB, a character that may also be
// in the text; so the bytes are checked here before mlang sees them.
// ISO-2022-JP: ASCII and JIS X 0201 Roman, and JIS X 0208 in byte pairs.
bool isIso2022Jp(std::string_view bytes) {
    bool pairs = false;
    for (std::size_t i = 0; i < bytes.size();) {
        if (bytes[i] == '\x1b') {
            const std::string_view shift = bytes.substr(i + 1, 2);
            if (shift == "(B" || shift == "(J") {
                pairs = false;
            } else if (shift == "$B" || shift == "$@") {
                pairs = true;
            } else {
                return false;
            }
            i += 3;
        } else if (!pairs) {
            if (!inRange(bytes[i], 0x00, 0x7F)) return false;
            i += 1;
        } else {
            if (i + 1 >= bytes.size() || !inRange(bytes[i], 0x21, 0x7E) || !inRange(bytes[i + 1], 0x21, 0x7E)) {
                return false;
            }
            i += 2;
        }
    }
    return true;
}

// EUC-JP: ASCII, JIS X 0208 pairs, half-width katakana after 0x8E and JIS X
// 0212 after 0x8F.
bool isEucJp(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 1;
        if (lead >= 0x80) {
            length = lead == 0x8F ? 3 : 2;
            if (i + length > bytes.size()) return false;
            if (lead == 0x8E) {
                if (!inRange(bytes[i + 1], 0xA1, 0xDF)) return false;
            } else {
                if (lead != 0x8F && !inRange(bytes[i], 0xA1, 0xFE)) return false;
                for (std::size_t k = 1; k < length; ++k) {
                    if (!inRange(bytes[i + k], 0xA1, 0xFE)) return false;
                }
            }
        }
        i += length;
    }
    return true;
}

class WindowsConverter final : public CharsetConverter {
public:
    bool toCodePage932(std::uint32_t codePage, std::string_view bytes, std::string& out) override {
        if (bytes.empty()) return true;
        const int count = static_cast<int>(bytes.size());
        // No charset gives more UTF-16 units than bytes. The buffer is kept
        // for the next call, unless it grew large.
        wide_.resize(bytes.size());
        int wideCount = 0;
        if (codePage == kIso2022Jp || codePage == kEucJp) {
            const MlangConvert convert = mlang();
            const bool valid = codePage == kIso2022Jp ? isIso2022Jp(bytes) : isEucJp(bytes);
            if (convert == nullptr || !valid) return false;
            DWORD mode = 0;
            INT sourceCount = count;
            INT destinationCount = count;
            if (convert(&mode, codePage, bytes.data(), &sourceCount, &wide_[0], &destinationCount) != S_OK ||
                sourceCount != count) {
                return false;
            }
            wideCount = destinationCount;
            for (int i = 0; i < wideCount; ++i) {
                wide_[i] = static_cast<wchar_t>(codePage932FormOfJis(static_cast<std::uint32_t>(wide_[i])));
            }
        } else {
            wideCount = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), count, &wide_[0], count);
            if (wideCount <= 0) return false;
        }
        wide_.resize(oneUnitPerCharacter(&wide_[0], static_cast<std::size_t>(wideCount)));
        appendCodePage932(wide_, out);
        if (wide_.capacity() > kKeptUnits) std::wstring().swap(wide_);
        return true;
    }

private:
    static constexpr std::size_t kKeptUnits = 4096;

    // Code page 932 has no character outside the BMP: each surrogate pair,
    // and each lone surrogate, becomes one '?' rather than one per unit.
    // Works in place; returns the units left.
    static std::size_t oneUnitPerCharacter(wchar_t* units, std::size_t count) {
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

    static void appendCodePage932(const std::wstring& wide, std::string& out) {
        if (wide.empty()) return;
        const std::size_t start = out.size();
        out.resize(start + 2 * wide.size());  // at most two bytes a unit
        BOOL usedDefault = FALSE;
        const int written = WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, wide.data(),
                                                static_cast<int>(wide.size()), &out[start],
                                                static_cast<int>(2 * wide.size()), "?", &usedDefault);
        out.resize(start + static_cast<std::size_t>(written > 0 ? written : 0));
    }

    // Kept loaded once found: unloading a library from the DLL's own
    // unload is not allowed.
    MlangConvert mlang() {
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

    bool mlangTried_ = false;
    MlangConvert mlangConvert_ = nullptr;
    std::wstring wide_;
};

}  // namespace

CharsetConverter& platformCharsetConverter() {
    static WindowsConverter converter;
    return converter;
}
