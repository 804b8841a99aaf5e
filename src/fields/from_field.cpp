#include "fields/from_field.h"

#include "fields/mailbox_reader.h"
#include "fields/name_claims.h"
#include "text/ascii.h"
#include "text/utf8.h"

namespace {

// Keeps raw, a domain that cannot be shown, as DNS would be asked for it:
// lower case, without trailing dots. Rare: a name of a byte beyond those
// shown, or too long.
__attribute__((noinline)) void keepUnshown(std::string_view raw, std::string& unshown) {
    while (!raw.empty() && raw.back() == '.') raw.remove_suffix(1);
    unshown.assign(raw.data(), raw.size());
    for (char& c : unshown) c = lowerAscii(c);
}

bool holdsNonAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

// Reads a From value for a Sender: the domain of its first address, and the
// text a client shows beside it.
class SenderSink final : public MailboxSink {
public:
    SenderSink(CharsetConverter& converter, ShownDomain& domain, std::string& unshown, SliceText& name)
        : converter_(converter), domain_(domain), unshown_(unshown), name_(name) {}

    void text(std::string_view piece) override { name_.take(piece.data(), piece.data() + piece.size()); }
    void cutText(std::size_t size) override { name_.truncate(size); }
    void address(std::string_view domain, bool whole) override {
        if (read_) return;
        read_ = true;
        showAddressDomain(domain, whole, converter_, domain_);
        if (!domain_.known() && whole) keepUnshown(domain, unshown_);
    }

private:
    CharsetConverter& converter_;
    ShownDomain& domain_;
    std::string& unshown_;
    SliceText& name_;
    bool read_ = false;
};

}  // namespace

void showAddressDomain(std::string_view raw, bool whole, CharsetConverter& converter, ShownDomain& shown) {
    shown.clear();
    if (!whole) return;
    if (!holdsNonAscii(raw)) {
        showDomain(raw, shown);
        return;
    }
    while (!raw.empty() && raw.back() == '.') raw.remove_suffix(1);
    std::string ascii;
    if (isUtf8(raw)) {
        if (converter.toAsciiDomain(raw, ascii)) showDomain(ascii, shown);
        return;
    }
    // Not UTF-8: code page 932, as a Japanese client shows it. Its
    // full-width letters and full stops read as ASCII; anything else
    // shows no domain.
    std::size_t length = 0;
    for (std::size_t at = 0; at < raw.size(); at += length) {
        const char c = foldedAscii(raw, at, length);
        if (c == 0) return;
        ascii += c;
    }
    showDomain(ascii, shown);
}

void Sender::read(CharsetConverter& converter) {
    if (fields_ == 0) return;
    SenderSink sink(converter, domain_, unshown_, name_);
    const Mailboxes mailboxes = readMailboxes(firstValue_, sink);
    addresses_ = mailboxes.addresses;
    unusual_ = addresses_ == 1 && !mailboxes.plain;
    if (addresses_ == 0) {
        name_.clear();
        return;
    }
    if (domain_.known()) hasOrganization_ = findPublicSuffix(domain_.text(), suffix_);
    // A name that cannot be read is not written plainly either.
    const bool readable = findNameClaim(name_.text(), organization(), converter, nameClaim_);
    unusual_ = unusual_ || (addresses_ == 1 && !readable);
}

bool Sender::alignedWith(const ShownDomain& domain) const {
    if (!hasOrganization_ || !domain.known()) return false;
    // Most signers sign with the From domain itself.
    if (domain == domain_) return true;
    // A name whose organizational domain is the From domain's is it or
    // below it. A From domain that is itself a public suffix is its own
    // organizational domain, and every name below it another owner's;
    // below any other, every name is the same owner's, unless the list has
    // rules there.
    if (suffix_.start == 0 || !isAtOrBelow(domain.text(), organization()) || !isDomainName(domain.text())) return false;
    if (rulesBelow_ == Below::kUnknown) rulesBelow_ = rulesBelow(organization()) ? Below::kSome : Below::kNone;
    return rulesBelow_ == Below::kNone || sameText(organizationalDomain(domain.text()), organization());
}
