#include "headerview/header_view.h"

#include <cstring>

#include "headerview/encoded_words.h"

std::string composeViewText(const HeaderGroups& groups, const Settings& settings,
                            CharsetConverter& converter) {
    std::string text;
    if (groups.empty()) return text;

    const std::size_t separatorLength = strnlen(settings.separator, kSeparatorSize);
    text.reserve(groups.byteCount() + groups.lineCount() + separatorLength + 1);
    const bool decode = settings.decode != 0;
    std::string viewLine;  // a view line gathered whole, to be decoded
    bool lineOpen = false;
    const auto endViewLine = [&] {
        if (decode) {
            appendDecoded(viewLine, converter, text);
            viewLine.clear();
        }
        text += '\n';
    };
    groups.forEachLine([&](const KeptLine& line) {
        if (line.role == LineRole::kOwnLine) {
            if (lineOpen) endViewLine();
            lineOpen = true;
        }
        (decode ? viewLine : text).append(line.text);
    });
    endViewLine();
    text.append(settings.separator, separatorLength);
    text += '\n';
    return text;
}

void showHeaderView(HostInterface& host, const Settings& settings, MailId mailId,
                    CharsetConverter& converter) noexcept {
    try {
        HeaderGroups groups;
        if (char* header = host.getHeader(mailId)) filterHeaderLines(settings, groups, header);
        const std::string text = composeViewText(groups, settings, converter);
        if (!text.empty()) host.setText(kViewTextMode, text.c_str());
    } catch (...) {
        // A mail that cannot be shown is skipped; the host carries on.
    }
}
