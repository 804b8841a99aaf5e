#include "dkim/mail_source.h"

#include <cstring>

#include "text/ascii.h"

MailSource::MailSource(std::string_view source) {
    const char* at = source.data();
    const char* const end = at + source.size();
    bool inField = false;  // the line above belongs to a field
    while (at < end) {
        // A line ends at LF, at CR LF, or at a CR alone, as the client and
        // the view cut lines: what stands after a lone CR is a line of its
        // own there, and must be here.
        const char* bytesEnd = at;
        while (bytesEnd < end && *bytesEnd != '\n' && *bytesEnd != '\r') ++bytesEnd;
        const bool loneCr = bytesEnd < end && *bytesEnd == '\r' && (bytesEnd + 1 == end || bytesEnd[1] != '\n');
        const char* next = bytesEnd == end ? end : bytesEnd + (*bytesEnd == '\r' && !loneCr ? 2 : 1);
        if (bytesEnd == at) {
            // An empty line ends the header, but one that a lone CR ends:
            // breaks in a row part two lines and no more.
            if (!loneCr) {
                body_ = std::string_view(next, static_cast<std::size_t>(end - next));
                return;
            }
            at = next;
            continue;
        }
        const std::string_view line(at, static_cast<std::size_t>(bytesEnd - at));
        if (isBlank(line[0])) {
            if (inField) {
                SourceField& field = fields_.back();
                field.text = std::string_view(field.text.data(), static_cast<std::size_t>(bytesEnd - field.text.data()));
            }
        } else {
            const std::size_t colon = line.find(':');
            inField = colon != std::string_view::npos;
            if (inField) {
                std::size_t nameEnd = colon;
                while (nameEnd > 0 && isBlank(line[nameEnd - 1])) --nameEnd;
                fields_.push_back({line, line.substr(0, nameEnd)});
            }
        }
        at = next;
    }
}

FieldIndex::FieldIndex(const std::vector<SourceField>& fields) : fields_(fields), names_(true) {
    above_.resize(fields.size(), NameTable::kNone);
    for (std::uint32_t i = 0; i < fields.size(); ++i) {
        bool isNew = false;
        const std::uint32_t name = names_.add(fields[i].name, isNew);
        if (isNew) {
            last_.push_back(i);
        } else {
            above_[i] = last_[name];
            last_[name] = i;
        }
    }
    restart();
}

void FieldIndex::restart() { cursor_ = last_; }

const SourceField* FieldIndex::take(std::string_view name) {
    const std::uint32_t number = names_.find(name);
    if (number == NameTable::kNone || cursor_[number] == NameTable::kNone) return nullptr;
    const SourceField* field = &fields_[cursor_[number]];
    cursor_[number] = above_[cursor_[number]];
    return field;
}
