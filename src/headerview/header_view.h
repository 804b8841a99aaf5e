// The view text of an opened mail: its kept header lines and a separator.
#pragma once

#include <cstdint>
#include <string>

#include "charset/charset_converter.h"
#include "headerview/encoded_words.h"
#include "headerview/header_filter.h"
#include "host/host_interface.h"
#include "settings/settings.h"

// The host's mode for text shown in the message view of the opened mail.
constexpr std::int32_t kViewTextMode = -2;

// Joins the groups in index order into view lines, each followed by LF (an
// unfolded line joins the view line before it), then the separator (at most
// kSeparatorSize bytes, up to its NUL), LF and a NUL, into text, which must
// be empty. With settings.decode, each view line's encoded words are shown
// decoded through converter; a hop's delay follows its view line, after
// decoding. Adds nothing when the groups hold no line.
void composeViewText(const HeaderGroups& groups, const Settings& settings, CharsetConverter& converter,
                     ViewText& text);

// Fetches the mail's header from the host, filters it and hands the view text
// to the host in kViewTextMode. The host is not called with an empty view.
// Writes into the host's header buffer. Nothing is kept; nothing is thrown.
void showHeaderView(HostInterface& host, const Settings& settings, MailId mailId,
                    CharsetConverter& converter = platformCharsetConverter()) noexcept;
