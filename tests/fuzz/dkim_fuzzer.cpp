// libFuzzer target for the DKIM checks: the input is a mail's source, its
// signatures checked with the test keys and DMARC records, its display name
// read for what it claims. Every canonical form the streaming writers give
// is checked against a plain second reading of the rules; so are the From
// domain, what its display name claims and which passes align with it; and
// the line against the bytes it may hold.
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "dkim/canonical.h"
#include "dkim/dkim_check.h"
#include "dkim/dmarc_policy.h"
#include "dkim/key_record.h"
#include "dkim/mail_source.h"
#include "dkim_keys.h"
#include "plain_sender.h"
#include "platform_services.h"
#include "text/ascii.h"

namespace {

using plain::check;

// A hash that keeps what it is given.
class Recorder final : public Sha256 {
public:
    std::string bytes;
    void add(const char* data, std::size_t size) override { bytes.append(data, size); }
    Sha256Digest finish() override { return {}; }
};

bool isWsp(char c) { return c == ' ' || c == '\t'; }

// The body's lines, each without its LF and the CR before it.
std::vector<std::string> linesOf(const std::string& body) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < body.size()) {
        std::size_t end = body.find('\n', at);
        const bool ended = end != std::string::npos;
        if (!ended) end = body.size();
        std::string line = body.substr(at, end - at);
        if (ended && !line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        at = ended ? end + 1 : body.size();
    }
    return lines;
}

std::string squeezed(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!isWsp(text[i])) {
            out += text[i];
        } else if (out.empty() || out.back() != ' ' || !isWsp(text[i - 1])) {
            out += ' ';
        }
    }
    return out;
}

std::string plainBody(const std::string& body, bool relaxed) {
    std::vector<std::string> lines = linesOf(body);
    if (relaxed) {
        for (std::string& line : lines) {
            line = squeezed(line);
            while (!line.empty() && line.back() == ' ') line.pop_back();
        }
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    std::string out;
    for (const std::string& line : lines) out += line + "\r\n";
    return out.empty() && !relaxed ? "\r\n" : out;
}

// Checks what the line says of the sender against the plain readings: the
// From domain and the notes of the From field, the claim of its display
// name, the verdict those rules allow, and " (not From)" on each pass.
void checkSender(const MailSource& mail, const std::string& line) {
    // Each From value as the header view's plain reading has it: its lines
    // joined, the breaks between them gone.
    std::vector<std::string> fromValues;
    for (const SourceField& field : mail.fields()) {
        if (!equalsIgnoringCase(field.name, "from")) continue;
        std::string value;
        for (const char c : field.value()) {
            if (c != '\r' && c != '\n') value += c;
        }
        fromValues.push_back(value);
    }
    const plain::PlainSender sender = plain::plainSender(fromValues);
    const std::string& from = sender.from;
    const std::string& claim = sender.claim;
    // On a failure, what the plain readings found, beside the line.
    const auto check = [&](bool condition) {
        if (!condition) std::fprintf(stderr, "line: %s\nFrom: %s\nclaim: %s\n", line.c_str(), from.c_str(), claim.c_str());
        plain::check(condition);
    };
    const std::size_t verdictEnd = line.find(' ', 7);
    const std::string verdict = line.substr(7, verdictEnd - 7);
    const std::string subject = line.substr(verdictEnd + 1, line.find(" | ") - verdictEnd - 1);
    check(subject.rfind(sender.subject(), 0) == 0);
    check((subject.find(" (name says ") != std::string::npos) == !claim.empty());
    if (!claim.empty()) check(subject.find(" (name says " + claim + ")") != std::string::npos);
    if (sender.many()) check(verdict == "FAIL");
    if (!claim.empty() || sender.mailbox.unusual) check(verdict != "PASS");
    // The owner of this test domain asks for the very domain (adkim=s).
    if (from == "strict.example.com") return;
    for (std::size_t at = line.find(" | "); at != std::string::npos; at = line.find(", ", at + 1)) {
        const std::size_t start = line[at] == ',' ? at + 2 : at + 3;
        const std::size_t end = std::min(line.find(", ", start), line.size());
        const std::string item = line.substr(start, end - start);
        if (item.rfind("pass ", 0) != 0) continue;
        const std::string domain = item.substr(5, item.find(' ', 5) - 5);
        check((item.find(" (not From)") != std::string::npos) == !plain::plainAligned(domain, from));
    }
}

std::string plainField(const std::string& field, bool relaxed) {
    if (!relaxed) {
        std::string out;
        for (std::size_t i = 0; i < field.size(); ++i) {
            if (field[i] == '\n' && (i == 0 || field[i - 1] != '\r')) out += '\r';
            out += field[i];
        }
        return out + "\r\n";
    }
    const std::size_t colon = field.find(':');
    std::string name;
    for (const char c : field.substr(0, colon)) {
        if (!isWsp(c) && c != '\r' && c != '\n') name += lowerAscii(c);
    }
    if (colon == std::string::npos) return name + "\r\n";
    std::string value;
    const std::string rest = field.substr(colon + 1);
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '\n' || (rest[i] == '\r' && i + 1 < rest.size() && rest[i + 1] == '\n')) continue;
        value += rest[i];
    }
    value = squeezed(value);
    if (!value.empty() && value.front() == ' ') value.erase(0, 1);
    if (!value.empty() && value.back() == ' ') value.pop_back();
    return name + ":" + value + "\r\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TestKeys keys;
    static PlatformCrypto crypto;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string source = input.substr(0, input.find('\0'));

    // The canonical forms, against the plain reading.
    const MailSource mail(source);
    for (const bool relaxed : {false, true}) {
        Recorder recorded;
        HashFeed feed;
        feed.feed(recorded);
        feedBody(mail.body(), relaxed, feed);
        check(feed.finish() == recorded.bytes.size());
        check(recorded.bytes == plainBody(std::string(mail.body()), relaxed));
        for (const SourceField& field : mail.fields()) {
            Recorder fieldBytes;
            HashFeed fieldFeed;
            fieldFeed.feed(fieldBytes);
            FieldFeed writer(relaxed, fieldFeed);
            writer.add(field.text);
            writer.end(true);
            fieldFeed.finish();
            check(fieldBytes.bytes == plainField(std::string(field.text), relaxed));
        }
    }

    // The first line, read as a key record, reads safely.
    const KeyRecords records{input.substr(0, input.find('\n'))};
    readKey(records, "example.com", "example.com", crypto);
    // And as the DMARC records of the From domain and of its organizational domain.
    const KeyAnswer found{KeyState::kFound, std::make_shared<KeyRecords>(records)};
    discoverDmarcPolicy(&found, &found);

    // What one run asks must not stay: a run that keeps memory is checked
    // for leaks, which costs a hundred runs.
    keys.asked.clear();
    static PlatformConverter converter;
    DkimServices services{keys, crypto, converter, static_cast<std::int64_t>(std::time(nullptr))};
    char line[kDkimLineSize];
    const std::string text(line, writeDkimLine(source.c_str(), services, 0, line));
    check(text.rfind("[DKIM] ", 0) == 0);
    // Nothing the mail or a key says reaches the line unchecked.
    for (const char c : text) check(isLetter(c) || isDigit(c) || (c != '\0' && std::strchr("[]?|,+().-_ ", c)));
    if (text != "[DKIM] ? no source") checkSender(mail, text);
    return 0;
}
