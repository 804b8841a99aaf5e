// Who really sent the mail: one line, first in the view, read from the
// Authentication-Results fields that the servers the user trusts wrote, and
// from the From field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "charset/charset_converter.h"
#include "fields/field_reader.h"
#include "fields/from_field.h"
#include "fields/shown_text.h"
#include "fields/trust_line.h"
#include "settings/settings.h"
#include "text/inline_buffer.h"

// The longest the line can be: "[Auth] VERDICT FROM" and its notes, three
// parts of three items and a count each, and " | by ID".
constexpr std::size_t kDigestItemSize = kShownResultSize + sizeof " " - 1 + kShownDomainSize + sizeof " (not From)" - 1;
constexpr std::size_t kDigestPartSize =
    sizeof " | DMARC " - 1 + 3 * kDigestItemSize + 2 * (sizeof ", " - 1) + sizeof ", +18446744073709551615 more" - 1;
constexpr std::size_t kDigestLineSize =
    sizeof "[Auth] WARN " - 1 + kSubjectSize + 3 * kDigestPartSize + sizeof " | by " - 1 + kShownDomainSize;

// Reads every Authentication-Results field and every From field, shown or
// not. The trusted block is the run of Authentication-Results fields from
// the top for as long as servers lists each field's server; the first field
// of another server ends it, since a server adds its field above those the
// mail came with. Finishes with the line as the view's first.
class AuthDigest final : public FieldReader {
public:
    static constexpr FieldName kAuthenticationResults{"authentication-results", 0};
    static constexpr FieldName kFrom{"from", 1};
    static constexpr FieldName kNames[] = {kAuthenticationResults, kFrom};

    // The servers whose results are trusted, as [AuthServers] lists them:
    // an authserv-id, "*." and a domain (it and every name below it), or "-"
    // for a field that names no server. The list must outlive the reader.
    // The From field's display name has its encoded words decoded through
    // converter, which must outlive the reader too; so must senders, the
    // history of the user's senders, when it is kept (else null).
    AuthDigest(const PatternList& servers, CharsetConverter& converter, SenderCheck* senders)
        : servers_(servers), converter_(converter), senders_(senders) {}

    void read(std::uint8_t nameId, const HeaderField& field) override;
    void finish(FieldNotes& notes) override;

private:
    void compose();

    const PatternList& servers_;
    CharsetConverter& converter_;
    SenderCheck* senders_;
    bool sawResults_ = false;          // an Authentication-Results field stood in the header
    bool blockEnded_ = false;          // a field of an untrusted server came
    bool topNamesNoServer_ = false;    // of the topmost Authentication-Results field
    ShownDomain topServer_;
    InlineBuffer<std::string_view, 8> block_;  // the values of the trusted block's fields
    Sender sender_;
    char line_[kDigestLineSize];
    std::size_t lineLength_ = 0;
};
