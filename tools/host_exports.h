// The host's side of the three functions the plug-in calls, as the stand-in
// host and the tests offer them: mails with their headers, and a record of
// what the plug-in handed back. The program that links this exports all 54
// host functions; the 51 the plug-in never calls do nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_interface.h"

namespace standin {

struct Command {
    std::string label;
    std::int32_t target;
    CommandHandler handler;
    std::int32_t id;
};

struct ViewText {
    std::int32_t mode;
    std::string text;
};

// Stores header as a new mail's header and returns the mail's identifier.
MailId addMail(const std::string& header);

// What the plug-in did through the host functions, oldest first.
std::vector<ViewText>& viewTexts();
std::vector<Command>& commands();
std::vector<MailId>& headerRequests();

// Forgets every mail and every record.
void reset();

}  // namespace standin
