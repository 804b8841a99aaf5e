// Plug-ins that do the least a header view must, for the benchmarks to time
// Quillmark.dll against in one process over the same header:
//  - reference_plugin.dll reads each byte of the mail's header once and hands
//    the host a two-byte text: what any plug-in that reads the header costs;
//  - reference_copy_plugin.dll (QM_REFERENCE_COPIES) reads the header once
//    and hands it back whole as the view, CRs dropped: the least a view of
//    every line costs, the host's copy of the text included;
//  - reference_dkim_plugin.dll (QM_REFERENCE_DKIM) gets the mail's source,
//    hashes it with CNG's SHA-256, checks one RSA-2048 signature of the
//    digest with the test key and gives the source back: the least any
//    check of a DKIM signature costs.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

using GetHeaderFunction = char*(WINAPI*)(std::uint32_t mailId);
using SetTextFunction = int(WINAPI*)(int mode, const char* text);

GetHeaderFunction getHeader = nullptr;
SetTextFunction setText = nullptr;

#if defined(QM_REFERENCE_DKIM)
#include <bcrypt.h>
#include <wincrypt.h>

using GetSourceFunction = char*(WINAPI*)(std::uint32_t mailId);
using FreeFunction = void(WINAPI*)(void* text);

GetSourceFunction getSource = nullptr;
FreeFunction freeText = nullptr;
BCRYPT_ALG_HANDLE sha256 = nullptr;
BCRYPT_KEY_HANDLE key = nullptr;

// The test key, read once, as the check needs it.
bool ready() {
    if (key != nullptr) return true;
    BYTE der[1024];
    DWORD size = sizeof der;
    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD infoSize = 0;
    return BCryptOpenAlgorithmProvider(&sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0 &&
           CryptStringToBinaryA(QM_REFERENCE_KEY, 0, CRYPT_STRING_BASE64, der, &size, nullptr, nullptr) &&
           CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, der, size, CRYPT_DECODE_ALLOC_FLAG, nullptr,
                               &info, &infoSize) &&
           CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, info, 0, nullptr, &key);
}

void check(std::uint32_t mailId) {
    char* source = getSource(mailId);
    if (source == nullptr || !ready()) return;
    BCRYPT_HASH_HANDLE hash = nullptr;
    UCHAR digest[32];
    BCryptCreateHash(sha256, &hash, nullptr, 0, nullptr, 0, 0);
    BCryptHashData(hash, reinterpret_cast<PUCHAR>(source), static_cast<ULONG>(std::strlen(source)), 0);
    BCryptFinishHash(hash, digest, sizeof digest, 0);
    BCryptDestroyHash(hash);
    UCHAR signature[256] = {1};
    BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM};
    BCryptVerifySignature(key, &padding, digest, sizeof digest, signature, sizeof signature, BCRYPT_PAD_PKCS1);
    freeText(source);
}
#elif defined(QM_REFERENCE_COPIES)
// Kept from mail to mail, so that only a larger header grows it.
char* view = nullptr;
std::size_t viewSize = 0;

void answer(const char* header) {
    std::size_t used = 0;
    for (const char* p = header; *p != '\0'; ++p) {
        if (*p == '\r') continue;
        if (used + 2 > viewSize) {
            const std::size_t size = viewSize * 2 + 4096;
            char* larger = static_cast<char*>(std::realloc(view, size));
            if (larger == nullptr) return;
            view = larger;
            viewSize = size;
        }
        view[used++] = *p;
    }
    if (used == 0) return;
    view[used] = '\0';
    setText(-2, view);
}
#else
void answer(const char* header) {
    unsigned sum = 0;
    for (const char* p = header; *p != '\0'; ++p) sum += static_cast<unsigned char>(*p);
    const char text[] = {static_cast<char>('a' + sum % 26), '\n', '\0'};
    setText(-2, text);
}
#endif

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    const HMODULE host = GetModuleHandleA(nullptr);
    getHeader = reinterpret_cast<GetHeaderFunction>(reinterpret_cast<void*>(GetProcAddress(host, "BKA_GetHeader")));
    setText = reinterpret_cast<SetTextFunction>(reinterpret_cast<void*>(GetProcAddress(host, "BKA_SetText")));
#ifdef QM_REFERENCE_DKIM
    getSource = reinterpret_cast<GetSourceFunction>(reinterpret_cast<void*>(GetProcAddress(host, "BKA_GetSource")));
    freeText = reinterpret_cast<FreeFunction>(reinterpret_cast<void*>(GetProcAddress(host, "BKA_Free")));
    if (getSource == nullptr || freeText == nullptr) return FALSE;
#endif
    return getHeader != nullptr && setText != nullptr;
}

#define QM_CALLBACK extern "C" __declspec(dllexport) int WINAPI

QM_CALLBACK BKC_OnOpenMail(std::uint32_t mailId) {
#ifdef QM_REFERENCE_DKIM
    check(mailId);
#else
    if (const char* header = getHeader(mailId)) answer(header);
#endif
    return 0;
}

// The other fourteen do nothing, as most of Quillmark's do.
QM_CALLBACK BKC_OnStart() { return 0; }
QM_CALLBACK BKC_OnExit() { return 0; }
QM_CALLBACK BKC_OnMenuInit(HWND, HMENU, int) { return 0; }
QM_CALLBACK BKC_OnOpenFolder(std::uint32_t) { return 0; }
QM_CALLBACK BKC_OnEveryMinute() { return 0; }
QM_CALLBACK BKC_OnOpenCompose(std::uint32_t, std::uint32_t) { return 0; }
QM_CALLBACK BKC_OnOutgoing(std::uint32_t, std::uint32_t) { return 0; }
QM_CALLBACK BKC_OnKeyDispatch(std::uint32_t, std::uint32_t, std::uint32_t) { return 0; }
QM_CALLBACK BKC_OnRetrieve(std::uint32_t, std::uint32_t) { return 0; }
QM_CALLBACK BKC_OnSend(std::uint32_t) { return 0; }
QM_CALLBACK BKC_OnFinishRetrieve(std::uint32_t) { return 0; }
QM_CALLBACK BKC_OnPlugInSetup(HWND) { return 1; }
QM_CALLBACK BKC_OnPlugInInfo(void*) { return 0; }
QM_CALLBACK BKC_OnDragDrop(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) { return 0; }
