#include "headerview/header_view.h"

#include <cstring>
#include <string>

#include "charset/encoded_words.h"
#include "fields/field_readers.h"
#include "headerview/header_filter.h"

namespace {

void append(ViewText& text, std::string_view bytes) { text.append(bytes.data(), bytes.size()); }

// The kept lines, group by group, each view line followed by its note and LF.
void appendKeptLines(const HeaderGroups& groups, const Settings& settings, CharsetConverter& converter,
                     ViewText& text) {
    const bool decode = switchedOn(settings.decode);
    // A view line is written piece by piece as it stands. When decoding and
    // "=?" stands in one of its pieces, it is taken back once whole and
    // written again decoded.
    std::size_t lineStart = 0;
    bool holdsWordStart = false;
    std::string_view note;  // shown after the view line, once decoded
    std::string whole;
    const auto endViewLine = [&] {
        if (holdsWordStart) {
            whole.assign(text.data() + lineStart, text.size() - lineStart);
            text.truncate(lineStart);
            AppendTo<ViewText> sink(text);
            appendDecoded(whole, converter, sink);
        }
        append(text, note);
        text.push_back('\n');
    };
    bool lineOpen = false;
    groups.forEachLine([&](const KeptLine& line, std::string_view lineNote) {
        if (line.role == LineRole::kOwnLine) {
            if (lineOpen) endViewLine();
            lineOpen = true;
            lineStart = text.size();
            holdsWordStart = false;
            note = {};
        }
        holdsWordStart = holdsWordStart || (decode && line.holdsWordStart);
        if (!lineNote.empty()) note = lineNote;
        append(text, line.text);
    });
    endViewLine();
}

}  // namespace

void composeViewText(const HeaderGroups& groups, const Settings& settings, CharsetConverter& converter,
                     ViewText& text) {
    if (groups.empty()) return;
    const std::size_t separatorLength = strnlen(settings.separator, kSeparatorSize);
    text.reserve(groups.byteCount() + groups.lineCount() + separatorLength + 3);
    for (std::size_t i = 0; i < groups.firstLines().size(); ++i) {
        append(text, groups.firstLines()[i]);
        text.push_back('\n');
    }
    if (groups.lineCount() > 0) appendKeptLines(groups, settings, converter, text);
    append(text, std::string_view(settings.separator, separatorLength));
    text.push_back('\n');
    text.push_back('\0');
}

namespace {

// A text the host handed over, given back when this goes.
class HostText {
public:
    HostText(HostInterface& host, char* text) : host_(host), text_(text) {}
    ~HostText() {
        if (text_ != nullptr) host_.free(text_);
    }
    HostText(const HostText&) = delete;
    HostText& operator=(const HostText&) = delete;

    const char* get() const { return text_; }

private:
    HostInterface& host_;
    char* text_;
};

}  // namespace

void showHeaderView(HostInterface& host, const Settings& settings, MailId mailId, CharsetConverter& converter,
                    DkimServices* dkim, SenderCheck* senders) noexcept {
    try {
        char* header = host.getHeader(mailId);
        if (header == nullptr) return;
        HeaderGroups groups;
        FieldReaders readers(settings, converter, senders);
        filterHeaderLines(settings, groups, header, &readers);
        readers.finish(groups);
        char dkimLine[kDkimLineSize];
        if (dkim != nullptr && switchedOn(settings.dkim)) {
            const HostText source(host, host.getSource(mailId));
            groups.noteFirstLine(
                std::string_view(dkimLine, writeDkimLine(source.get(), *dkim, settings.dkimWait, dkimLine)));
        }
        ViewText text;
        composeViewText(groups, settings, converter, text);
        if (!text.empty()) host.setText(kViewTextMode, text.data());
    } catch (...) {
        // A mail that cannot be shown is skipped; the host carries on.
    }
}
