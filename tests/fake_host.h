// A host that keeps every call the plug-in makes, for tests of the view.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform_services.h"
#include "headerview/header_view.h"
#include "host/host_interface.h"

// This platform's converter, kept for every test of the program.
inline CharsetConverter& testConverter() {
    static PlatformConverter converter;
    return converter;
}

class FakeHost final : public HostInterface {
public:
    struct TextCall {
        std::int32_t mode;
        std::string text;
    };
    struct Registration {
        std::string label;
        std::int32_t target;
        CommandHandler handler;
    };

    // Headers and sources the host holds, by mail; a mail missing here has none.
    std::map<MailId, std::string> headers;
    std::map<MailId, std::string> sources;
    bool throwOnGetHeader = false;
    std::vector<MailId> sourceRequests;
    std::size_t sourcesOut = 0;  // handed over and not given back

    std::vector<MailId> headerRequests;
    std::vector<TextCall> textCalls;
    std::vector<Registration> registrations;

    std::int32_t registerCommand(const char* label, std::int32_t target,
                                 CommandHandler handler) override {
        registrations.push_back({label, target, handler});
        return 40000 + static_cast<std::int32_t>(registrations.size());
    }

    char* getHeader(MailId mailId) override {
        headerRequests.push_back(mailId);
        if (throwOnGetHeader) throw std::runtime_error("host failure");
        const auto found = headers.find(mailId);
        if (found == headers.end()) return nullptr;
        std::vector<char>& buffer = buffers_[mailId];
        buffer.assign(found->second.begin(), found->second.end());
        buffer.push_back('\0');
        return buffer.data();
    }

    std::int32_t setText(std::int32_t mode, const char* text) override {
        textCalls.push_back({mode, text});
        return 0;
    }

    char* getSource(MailId mailId) override {
        sourceRequests.push_back(mailId);
        const auto found = sources.find(mailId);
        if (found == sources.end()) return nullptr;
        ++sourcesOut;
        char* copy = new char[found->second.size() + 1];
        std::memcpy(copy, found->second.c_str(), found->second.size() + 1);
        return copy;
    }

    void free(void* text) override {
        --sourcesOut;
        delete[] static_cast<char*>(text);
    }

    // The bytes of the buffer handed out for the mail, as the plug-in left them.
    std::string bufferAfterCall(MailId mailId) const {
        const std::vector<char>& buffer = buffers_.at(mailId);
        return std::string(buffer.begin(), buffer.end() - 1);
    }

private:
    std::map<MailId, std::vector<char>> buffers_;
};

// The text a host is handed for one mail with header under settings, or
// "(none)" when the view does not call the host.
inline std::string viewOf(const Settings& settings, const std::string& header) {
    FakeHost host;
    host.headers[1] = header;
    showHeaderView(host, settings, 1, testConverter());
    return host.textCalls.size() == 1 ? host.textCalls[0].text : "(none)";
}

// A row of a table of views: a header under settings with one wholeFields
// value, and the view it gives without its separator line.
struct ViewCase {
    const char* name;
    Settings settings;
    std::string header;
    int wholeFields;
    std::string view;
};
