#include "host/host_api.h"

#include "host/host_functions.h"

namespace {

#define QM_NAME(name) #name,
constexpr const char* kNames[] = {QM_HOST_FUNCTIONS(QM_NAME, QM_NAME)};
#undef QM_NAME
static_assert(sizeof kNames / sizeof kNames[0] == HostApi::kFunctionCount);

constexpr bool sameName(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) ++a, ++b;
    return *a == *b;
}

constexpr std::size_t indexOf(const char* name) {
    std::size_t i = 0;
    while (!sameName(kNames[i], name)) ++i;
    return i;
}

constexpr std::size_t kRegisterCommand = indexOf("BKA_RegisterCommand");
constexpr std::size_t kGetHeader = indexOf("BKA_GetHeader");
constexpr std::size_t kSetText = indexOf("BKA_SetText");
constexpr std::size_t kGetSource = indexOf("BKA_GetSource");
constexpr std::size_t kFree = indexOf("BKA_Free");
static_assert(kRegisterCommand == 3 && kGetHeader == 25 && kSetText == 27 && kGetSource == 23 && kFree == 41);

using RegisterCommandFunction = std::int32_t(QM_STDCALL*)(const char*, std::int32_t, CommandHandler);
using GetHeaderFunction = char*(QM_STDCALL*)(MailId);
using SetTextFunction = std::int32_t(QM_STDCALL*)(std::int32_t, const char*);
using GetSourceFunction = char*(QM_STDCALL*)(MailId);
using FreeFunction = void(QM_STDCALL*)(void*);

}  // namespace

const char* HostApi::functionName(std::size_t index) { return kNames[index]; }

bool HostApi::bind() {
    if (hostModule_ != nullptr) return true;
    hostModule_ = GetModuleHandleA(nullptr);
    if (hostModule_ == nullptr) return false;
    for (std::size_t i = 0; i < kFunctionCount; ++i) {
        entries_[i] = GetProcAddress(hostModule_, kNames[i]);
        if (entries_[i] == nullptr) {
            hostModule_ = nullptr;
            return false;
        }
    }
    return true;
}

std::int32_t HostApi::registerCommand(const char* label, std::int32_t target,
                                      CommandHandler handler) {
    const auto call = function<RegisterCommandFunction>(kRegisterCommand);
    return call ? call(label, target, handler) : 0;
}

char* HostApi::getHeader(MailId mailId) {
    const auto call = function<GetHeaderFunction>(kGetHeader);
    return call ? call(mailId) : nullptr;
}

std::int32_t HostApi::setText(std::int32_t mode, const char* text) {
    const auto call = function<SetTextFunction>(kSetText);
    return call ? call(mode, text) : 0;
}

char* HostApi::getSource(MailId mailId) {
    const auto call = function<GetSourceFunction>(kGetSource);
    return call ? call(mailId) : nullptr;
}

void HostApi::free(void* text) {
    if (const auto call = function<FreeFunction>(kFree)) call(text);
}
