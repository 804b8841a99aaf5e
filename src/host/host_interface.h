// The host services the plug-in's logic uses. Inside the mail client they
// go through the bound host function table; tests and tools offer their own.
#pragma once

#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define QM_STDCALL __attribute__((stdcall))
#else
#define QM_STDCALL
#endif

// The host's identifier of a mail: passed back unchanged, never read.
using MailId = std::uint32_t;

// A menu command handler: two 32-bit arguments, callee pops them.
using CommandHandler = void(QM_STDCALL*)(std::uint32_t window, std::uint32_t param);

class HostInterface {
public:
    // Registers a menu command; returns the identifier the host assigned.
    virtual std::int32_t registerCommand(const char* label, std::int32_t target,
                                         CommandHandler handler) = 0;
    // Returns the mail's header text, CR LF separated and NUL-terminated, or
    // null. The buffer is the host's; it may be written until the callback ends.
    virtual char* getHeader(MailId mailId) = 0;
    // Hands text to the host, which copies what it keeps; result unused.
    virtual std::int32_t setText(std::int32_t mode, const char* text) = 0;
    // Returns the whole mail as the host stores it (header, empty line, body;
    // NUL-terminated, lines ended by CR LF), or null. The text is the
    // plug-in's, to be given back with free before the callback returns.
    virtual char* getSource(MailId mailId) = 0;
    // Gives back a text the host handed over.
    virtual void free(void* text) = 0;

protected:
    ~HostInterface() = default;
};
