#include "host_exports.h"

#include <cstdlib>
#include <cstring>
#include <map>

#include "mail_file.h"

#include "host/host_functions.h"

#define QM_EXPORT extern "C" __declspec(dllexport)

// Built once more with BKA_Connect renamed, for a host that lacks it.
#ifdef QM_HOST_WITHOUT_CONNECT
#define BKA_Connect BKA_Connect_withheld
#endif

#define QM_STUB(name) \
    QM_EXPORT int __stdcall name() { return 0; }
#define QM_CALLED(name)
QM_HOST_FUNCTIONS(QM_STUB, QM_CALLED)

namespace standin {
namespace {

struct State {
    std::vector<std::string> headers;
    std::vector<std::string> sources;
    std::map<MailId, std::vector<char>> lent;  // the buffers handed to the plug-in
    std::vector<ViewText> viewTexts;
    std::vector<Command> commands;
    std::vector<MailId> headerRequests;
    std::vector<MailId> sourceRequests;
    long sourcesOut = 0;
};

State& state() {
    static State instance;
    return instance;
}

}  // namespace

MailId addMail(const std::string& header) {
    state().headers.push_back(header);
    state().sources.push_back(header + "\r\n");
    return static_cast<MailId>(state().headers.size());
}

MailId addMailSource(const std::string& mail) {
    std::string source;
    for (std::size_t i = 0; i < mail.size(); ++i) {
        if (mail[i] == '\n' && (i == 0 || mail[i - 1] != '\r')) source += '\r';
        source += mail[i];
    }
    state().headers.push_back(headerBlockOf(mail));
    state().sources.push_back(source);
    return static_cast<MailId>(state().headers.size());
}

std::vector<ViewText>& viewTexts() { return state().viewTexts; }
std::vector<Command>& commands() { return state().commands; }
std::vector<MailId>& headerRequests() { return state().headerRequests; }
std::vector<MailId>& sourceRequests() { return state().sourceRequests; }
long& sourcesOut() { return state().sourcesOut; }
void reset() { state() = State{}; }

}  // namespace standin

using standin::state;

QM_EXPORT std::int32_t __stdcall BKA_RegisterCommand(const char* label, std::int32_t target,
                                                     CommandHandler handler) {
    try {
        const auto id = static_cast<std::int32_t>(40001 + state().commands.size());
        state().commands.push_back({label, target, handler, id});
        return id;
    } catch (...) {
        return 0;
    }
}

// A fresh writable copy for every call: the plug-in cuts it into lines.
QM_EXPORT char* __stdcall BKA_GetHeader(MailId mailId) {
    try {
        state().headerRequests.push_back(mailId);
        if (mailId == 0 || mailId > state().headers.size()) return nullptr;
        const std::string& header = state().headers[mailId - 1];
        std::vector<char>& buffer = state().lent[mailId];
        buffer.assign(header.begin(), header.end());
        buffer.push_back('\0');
        return buffer.data();
    } catch (...) {
        return nullptr;
    }
}

QM_EXPORT std::int32_t __stdcall BKA_SetText(std::int32_t mode, const char* text) {
    try {
        state().viewTexts.push_back({mode, text});
        return 0;
    } catch (...) {
        return -1;
    }
}

// The plug-in's own copy, from the host's heap, as BKA_Free gives it back.
QM_EXPORT char* __stdcall BKA_GetSource(MailId mailId) {
    try {
        state().sourceRequests.push_back(mailId);
        if (mailId == 0 || mailId > state().sources.size()) return nullptr;
        const std::string& source = state().sources[mailId - 1];
        auto* copy = static_cast<char*>(std::malloc(source.size() + 1));
        if (copy == nullptr) return nullptr;
        std::memcpy(copy, source.c_str(), source.size() + 1);
        ++state().sourcesOut;
        return copy;
    } catch (...) {
        return nullptr;
    }
}

QM_EXPORT void __stdcall BKA_Free(void* block) {
    if (block == nullptr) return;
    --state().sourcesOut;
    std::free(block);
}
