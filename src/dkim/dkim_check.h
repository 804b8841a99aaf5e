// The [DKIM] line: every DKIM signature of a mail checked here, on the
// user's machine, with keys from DNS and the platform's crypto, trusting
// nothing the mail says of itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "charset/charset_converter.h"
#include "crypto/crypto.h"
#include "fields/from_field.h"
#include "fields/shown_text.h"
#include "fields/trust_line.h"
#include "keptfile/local_dates.h"
#include "keys/key_source.h"

class KeptKeys;

// What the checks need from outside.
struct DkimServices {
    KeySource& keys;  // DKIM keys and DMARC records
    Crypto& crypto;
    CharsetConverter& converter;  // for the encoded words of a display name
    std::int64_t now;             // seconds since 1970 UTC, by the machine's clock
    SenderCheck* senders = nullptr;  // the history of the user's senders, when it is kept
    KeptKeys* keptKeys = nullptr;    // the keys kept, with Keys on: read and added to
    Day today = 0;                   // the user's local date; 0: now's date in UTC
    std::int32_t zoneOffset = 0;     // seconds local time is ahead of UTC, which dates the mail's arrival
};

// Signatures checked per mail; the ones after them are only counted.
constexpr std::size_t kCheckedSignatures = 5;

// The longest line: "[DKIM] WARN FROM" and its notes, " | ", three items of
// the longest result, domain and notes, and the count of the rest.
constexpr std::size_t kDkimItemSize = sizeof "pass " - 1 + kShownDomainSize + sizeof " (key changed)" - 1 +
                                      sizeof " (not From)" - 1 + sizeof " (part of the body)" - 1;
static_assert(kDkimItemSize >= sizeof "permerror " - 1 + kShownDomainSize + sizeof " (signature does not match)" - 1);
constexpr std::size_t kDkimLineSize = sizeof "[DKIM] WARN " - 1 + kSubjectSize + sizeof " | " - 1 + 3 * kDkimItemSize +
                                      2 * (sizeof ", " - 1) + sizeof ", +18446744073709551615 more" - 1;

// Checks the signatures of source, the whole mail as the host stores it (NUL-
// terminated; null when the host has none), waiting for key lookups waitMs
// milliseconds at most in all, and writes the line into line; returns its
// length. Linear in the source.
std::size_t writeDkimLine(const char* source, DkimServices& services, std::uint32_t waitMs,
                          char (&line)[kDkimLineSize]);
