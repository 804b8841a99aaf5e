// A plug-in that does the least any header view must: it reads each byte of
// the mail's header once and hands the host a two-byte text. The stand-in
// host's soak times Quillmark.dll against it, in one process over the same
// header, so that the ratio tells what the header view itself costs.
#include <windows.h>

#include <cstdint>

namespace {

using GetHeaderFunction = char*(WINAPI*)(std::uint32_t mailId);
using SetTextFunction = int(WINAPI*)(int mode, const char* text);

GetHeaderFunction getHeader = nullptr;
SetTextFunction setText = nullptr;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    const HMODULE host = GetModuleHandleA(nullptr);
    getHeader = reinterpret_cast<GetHeaderFunction>(reinterpret_cast<void*>(GetProcAddress(host, "BKA_GetHeader")));
    setText = reinterpret_cast<SetTextFunction>(reinterpret_cast<void*>(GetProcAddress(host, "BKA_SetText")));
    return getHeader != nullptr && setText != nullptr;
}

#define QM_CALLBACK extern "C" __declspec(dllexport) int WINAPI

QM_CALLBACK BKC_OnOpenMail(std::uint32_t mailId) {
    const char* header = getHeader(mailId);
    if (header == nullptr) return 0;
    unsigned sum = 0;
    for (const char* p = header; *p != '\0'; ++p) sum += static_cast<unsigned char>(*p);
    const char text[] = {static_cast<char>('a' + sum % 26), '\n', '\0'};
    setText(-2, text);
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
