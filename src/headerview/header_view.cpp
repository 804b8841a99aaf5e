#include "headerview/header_view.h"

#include <cstring>

#include "headerview/encoded_words.h"

void composeViewText(const HeaderGroups& groups, const Settings& settings, CharsetConverter& converter,
                     ViewText& text) {
    if (groups.empty()) return;

    const std::size_t separatorLength = strnlen(settings.separator, kSeparatorSize);
    // Each delay is at most "  [-NNNNNNNNNNd23h]".
    text.reserve(groups.byteCount() + groups.lineCount() + 24 * groups.hopCount() + separatorLength + 2);
    const auto append = [&text](std::string_view bytes) { text.append(bytes.data(), bytes.size()); };
    const bool decode = settings.decode != 0;
    // A view line is written piece by piece as it stands. When decoding and
    // "=?" stands in one of its pieces, it is taken back once whole and
    // written again decoded.
    std::size_t lineStart = 0;
    bool holdsWordStart = false;
    const HopDelay* delay = nullptr;  // shown after the view line, once decoded
    std::string whole;
    const auto endViewLine = [&] {
        if (holdsWordStart) {
            whole.assign(text.data() + lineStart, text.size() - lineStart);
            text.truncate(lineStart);
            appendDecoded(whole, converter, text);
        }
        if (delay != nullptr) {
            append("  [");
            append(delay->known ? formatDelay(delay->seconds) : "?");
            append("]");
        }
        text.push_back('\n');
    };
    bool lineOpen = false;
    groups.forEachLine([&](const KeptLine& line, const HopDelay* lineDelay) {
        if (line.role == LineRole::kOwnLine) {
            if (lineOpen) endViewLine();
            lineOpen = true;
            lineStart = text.size();
            holdsWordStart = false;
            delay = nullptr;
        }
        holdsWordStart = holdsWordStart || (decode && line.holdsWordStart);
        if (lineDelay != nullptr) delay = lineDelay;
        append(line.text);
    });
    endViewLine();
    append(std::string_view(settings.separator, separatorLength));
    text.push_back('\n');
    text.push_back('\0');
}

void showHeaderView(HostInterface& host, const Settings& settings, MailId mailId,
                    CharsetConverter& converter) noexcept {
    try {
        HeaderGroups groups;
        if (char* header = host.getHeader(mailId)) filterHeaderLines(settings, groups, header);
        ViewText text;
        composeViewText(groups, settings, converter, text);
        if (!text.empty()) host.setText(kViewTextMode, text.data());
    } catch (...) {
        // A mail that cannot be shown is skipped; the host carries on.
    }
}
