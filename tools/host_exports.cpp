#include "host_exports.h"

#include <map>

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
    std::map<MailId, std::vector<char>> lent;  // the buffers handed to the plug-in
    std::vector<ViewText> viewTexts;
    std::vector<Command> commands;
    std::vector<MailId> headerRequests;
};

State& state() {
    static State instance;
    return instance;
}

}  // namespace

MailId addMail(const std::string& header) {
    state().headers.push_back(header);
    return static_cast<MailId>(state().headers.size());
}

std::vector<ViewText>& viewTexts() { return state().viewTexts; }
std::vector<Command>& commands() { return state().commands; }
std::vector<MailId>& headerRequests() { return state().headerRequests; }
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
