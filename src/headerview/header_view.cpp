#include "headerview/header_view.h"

#include <cstring>

std::string composeViewText(const HeaderGroups& groups, const char* separator) {
    std::size_t lineBytes = 0;
    for (const auto& group : groups) {
        for (const std::string_view line : group) lineBytes += line.size() + 1;
    }
    std::string text;
    if (lineBytes == 0) return text;

    const std::size_t separatorLength = strnlen(separator, kSeparatorSize);
    text.reserve(lineBytes + separatorLength + 1);
    for (const auto& group : groups) {
        for (const std::string_view line : group) {
            text += line;
            text += '\n';
        }
    }
    text.append(separator, separatorLength);
    text += '\n';
    return text;
}

void showHeaderView(HostInterface& host, const Settings& settings, MailId mailId) noexcept {
    try {
        HeaderGroups groups;
        if (char* header = host.getHeader(mailId)) filterHeaderLines(settings, groups, header);
        const std::string text = composeViewText(groups, settings.separator);
        if (!text.empty()) host.setText(kViewTextMode, text.c_str());
    } catch (...) {
        // A mail that cannot be shown is skipped; the host carries on.
    }
}
