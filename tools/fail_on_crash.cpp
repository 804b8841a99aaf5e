// Linked into every Windows program of the project: a crash ends the program
// with status 3 and a line that says where. Wine's debugger, once told not
// to show its dialog, ends a crashed program with status 0, which a test
// run would take for success.
#include <windows.h>

#include <cstdio>

namespace {

LONG WINAPI failOnCrash(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    HMODULE module = nullptr;
    char name[MAX_PATH] = "?";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCSTR>(record.ExceptionAddress), &module)) {
        GetModuleFileNameA(module, name, sizeof name);
    }
    std::fprintf(stderr, "crashed: exception 0x%08lx at %p (%s+0x%lx)\n", record.ExceptionCode,
                 record.ExceptionAddress, name,
                 static_cast<unsigned long>(static_cast<const char*>(record.ExceptionAddress) -
                                            reinterpret_cast<const char*>(module)));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_CONTINUE_SEARCH;
}

const LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(failOnCrash);

}  // namespace
