// The table of the host's exported functions, bound by name at load.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>

#include "host/host_interface.h"

class HostApi final : public HostInterface {
public:
    static constexpr std::size_t kFunctionCount = 54;

    constexpr HostApi() = default;
    ~HostApi() { hostModule_ = nullptr; }
    HostApi(const HostApi&) = delete;
    HostApi& operator=(const HostApi&) = delete;

    // Looks up all 54 functions in the process's main executable, in order.
    // Returns true when every one was found, and at once when already bound.
    // At the first missing one it returns false with the table unbound; the
    // entries found before it keep their addresses.
    bool bind();

    // The module the functions were found in; null while unbound.
    HMODULE hostModule() const { return hostModule_; }
    // The address bound for the function at index (binding order), or null.
    FARPROC entry(std::size_t index) const { return entries_[index]; }
    static const char* functionName(std::size_t index);

    // The host operations, through the bound entries. Unbound, they do nothing
    // and return zero.
    std::int32_t registerCommand(const char* label, std::int32_t target,
                                 CommandHandler handler) override;
    char* getHeader(MailId mailId) override;
    std::int32_t setText(std::int32_t mode, const char* text) override;
    char* getSource(MailId mailId) override;
    void free(void* text) override;

private:
    // The bound entry as the function type the host gives it; null while unbound.
    template <typename Function>
    Function function(std::size_t index) const {
        if (hostModule_ == nullptr) return nullptr;
        return reinterpret_cast<Function>(reinterpret_cast<void*>(entries_[index]));
    }

    HMODULE hostModule_ = nullptr;
    std::array<FARPROC, kFunctionCount> entries_{};
};
