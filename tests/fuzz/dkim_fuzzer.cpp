// libFuzzer target for the DKIM checks: the input is a mail's source, its
// signatures checked with the test keys and DMARC records, its display name
// read for what it claims. Every canonical form the streaming
// writers give is checked against a plain second reading of the rules, and
// the line against the bytes it may hold.
#include <cstddef>
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
#include "platform_services.h"
#include "text/ascii.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

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
    discoverDmarcPolicy(found, &found);

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
    return 0;
}
