// The view text of an opened mail: its kept header lines and a separator.
#pragma once

#include <cstdint>

#include "charset/charset_converter.h"
#include "dkim/dkim_check.h"
#include "headerview/view_model.h"
#include "host/host_interface.h"
#include "settings/settings.h"

// The host's mode for text shown in the message view of the opened mail.
constexpr std::int32_t kViewTextMode = -2;

// Writes into text, which must be empty: the first lines noted, each
// followed by LF; then the groups in index order as view lines, each
// followed by LF (an unfolded line joins the view line before it), then the
// separator (at most kSeparatorSize bytes, up to its NUL) and LF; then a
// NUL. With settings.decode, each view line's encoded words are shown
// decoded through converter; a note follows its view line, after decoding.
// Adds nothing when the groups hold no line and no first line; any view
// that holds a line ends with the separator.
void composeViewText(const HeaderGroups& groups, const Settings& settings, CharsetConverter& converter,
                     ViewText& text);

// Fetches the mail's header from the host, filters it, lets the field readers
// that settings turn on read it, and hands the view text to the host in
// kViewTextMode. With settings.dkim on and dkim given, the [DKIM] line of
// the mail's source follows the readers' first lines; the source is given
// back to the host before this returns, whatever happens. With senders, the
// digest tells of the user's senders by their history (dkim's line by its
// own). The host is not called with an empty view, nor when it has no
// header. Writes into the host's header buffer. Nothing is kept but in the
// history; nothing is thrown.
void showHeaderView(HostInterface& host, const Settings& settings, MailId mailId, CharsetConverter& converter,
                    DkimServices* dkim = nullptr, SenderCheck* senders = nullptr) noexcept;
