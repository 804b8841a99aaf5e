// The host's side of the functions the plug-in calls, as the stand-in host
// and the tests offer them: mails with their headers and sources, and a
// record of what the plug-in handed back. The program that links this
// exports all 54 host functions; the ones the plug-in never calls do nothing.
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

// Stores header as a new mail's header and returns the mail's identifier;
// its source is the header and an empty line.
MailId addMail(const std::string& header);
// Stores a whole mail as a new mail's source, its lines ended by CR LF as
// the client stores them, and its header block as its header.
MailId addMailSource(const std::string& mail);

// What the plug-in did through the host functions, oldest first.
std::vector<ViewText>& viewTexts();
std::vector<Command>& commands();
std::vector<MailId>& headerRequests();
std::vector<MailId>& sourceRequests();
// Sources handed to the plug-in and not given back with BKA_Free.
long& sourcesOut();

// Forgets every mail and every record.
void reset();

}  // namespace standin
