#include "fields/auth_digest.h"

#include "fields/result_words.h"
#include "text/ascii.h"
#include "text/writing.h"

namespace {

// The server a field names: its first word, unless that is a pair.
struct Server {
    bool namesNone;
    std::string_view id;  // empty too when the first part has no word
};

bool trusts(const PatternList& servers, const Server& server) {
    for (const std::string& listed : servers) {
        if (sameText(listed, "-")) {
            if (server.namesNone) return true;
        } else if (server.namesNone) {
            continue;
        } else if (listed.size() > 2 && listed[0] == '*' && listed[1] == '.') {
            // The domain after "*." and every name below it.
            if (isAtOrBelow(server.id, std::string_view(listed).substr(2))) return true;
        } else if (equalsIgnoringCase(server.id, listed)) {
            return true;
        }
    }
    return false;
}

// Takes the first word of a value, a copy of it, and stops: the word
// reader's own copy goes with the reader.
struct FirstWordSink {
    std::string& copy;
    bool sawWord = false;
    bool isPair = false;

    bool word(const Word& word) {
        sawWord = true;
        isPair = word.isPair();
        copy.assign(word.text.data(), word.text.size());
        return false;
    }
    bool partEnd() { return false; }
};

// The server a field names. Nearly every field begins with a plain id and
// ';' or a blank, which is read at a glance; the word reader takes the rest,
// its id copied into copy.
Server serverOf(std::string_view value, std::string& copy) {
    const char* at = value.data();
    const char* const end = at + value.size();
    while (at < end && kWordSpaces.has(*at)) ++at;
    const char* const run = at;
    while (at < end && !kWordSpecials.has(*at)) ++at;
    if (at > run) {
        const char* next = at;
        while (next < end && kWordSpaces.has(*next)) ++next;
        // Only '=' (a pair) and '(' (a blank, maybe before '=') can join
        // what follows to the word.
        const bool whole = next == end || (next > at ? *next != '=' && *next != '(' : *next == ';');
        if (whole) return {false, std::string_view(run, static_cast<std::size_t>(at - run))};
    }
    FirstWordSink sink{copy};
    readWords(value, sink);
    if (!sink.sawWord || sink.isPair) return {sink.sawWord, {}};
    return {false, copy};
}

// The part of an address after its last '@', or all of it when it has none.
std::string_view afterLastAt(std::string_view address) {
    std::size_t at = address.size();
    while (at > 0 && address[at - 1] != '@') --at;
    return address.substr(at);
}

enum class Method { kDmarc, kDkim, kSpf, kOther };

Method methodOf(std::string_view key) {
    std::size_t slash = 0;
    while (slash < key.size() && key[slash] != '/') ++slash;
    key = key.substr(0, slash);
    if (equalsIgnoringCase(key, "dmarc")) return Method::kDmarc;
    if (equalsIgnoringCase(key, "dkim")) return Method::kDkim;
    if (equalsIgnoringCase(key, "spf")) return Method::kSpf;
    return Method::kOther;
}

struct Result {
    Method method;
    ShownResult result;
    bool hasDomain;
    ShownDomain domain;
};

// The property that gives a method's domain, and the one it falls back to;
// from an address, the part after its last '@'.
struct DomainKeys {
    std::string_view primary;
    bool primaryIsAddress;
    std::string_view fallback;
    bool fallbackIsAddress;
};

DomainKeys domainKeysOf(Method method) {
    switch (method) {
        case Method::kDkim: return {"header.d", false, "header.i", true};
        case Method::kSpf: return {"smtp.mailfrom", true, "smtp.helo", false};
        default: return {"header.from", true, {}, false};
    }
}

// Reads the results of a trusted field and calls take(Result) for each dkim,
// spf and dmarc one: the first part names the server and, in its second
// word, the version (only "1" gives results); every later part, or the first
// when it begins with a pair, is one result, its first word method=result,
// then its properties, of which the first of each key wins.
template <typename Take>
class ResultSink {
public:
    explicit ResultSink(Take& take) : take_(take) {}

    bool word(const Word& word) {
        switch (stage_) {
            case Stage::kServer:
                if (!word.isPair()) {
                    stage_ = Stage::kVersion;
                    return true;
                }
                beginResult(word);
                return true;
            case Stage::kVersion:
                stage_ = Stage::kSkip;
                return word.isPair() || sameText(word.text, "1");
            case Stage::kMethod:
                if (word.isPair()) {
                    beginResult(word);
                } else {
                    stage_ = Stage::kSkip;
                }
                return true;
            case Stage::kProperties:
                if (word.isPair()) property(word);
                return true;
            case Stage::kSkip:
                return true;
        }
        return true;
    }

    bool partEnd() {
        if (stage_ == Stage::kProperties) {
            result_.hasDomain = sawPrimary_ || sawFallback_;
            if (!sawPrimary_) result_.domain = fallback_;
            take_(result_);
        }
        stage_ = Stage::kMethod;
        return true;
    }

private:
    enum class Stage { kServer, kVersion, kMethod, kProperties, kSkip };

    void beginResult(const Word& word) {
        result_.method = methodOf(word.key());
        if (result_.method == Method::kOther) {
            stage_ = Stage::kSkip;
            return;
        }
        stage_ = Stage::kProperties;
        showResult(word.value(), result_.result);
        keys_ = domainKeysOf(result_.method);
        sawPrimary_ = sawFallback_ = false;
    }

    void property(const Word& word) {
        const std::string_view key = word.key();
        if (!sawPrimary_ && equalsIgnoringCase(key, keys_.primary)) {
            sawPrimary_ = true;
            showDomain(keys_.primaryIsAddress ? afterLastAt(word.value()) : word.value(), result_.domain);
        } else if (!sawFallback_ && !keys_.fallback.empty() && equalsIgnoringCase(key, keys_.fallback)) {
            sawFallback_ = true;
            showDomain(keys_.fallbackIsAddress ? afterLastAt(word.value()) : word.value(), fallback_);
        }
    }

    Take& take_;
    Stage stage_ = Stage::kServer;
    Result result_;
    DomainKeys keys_;
    bool sawPrimary_ = false;
    bool sawFallback_ = false;
    ShownDomain fallback_;
};

template <typename Take>
void forEachResult(std::string_view value, Take&& take) {
    ResultSink<Take> sink(take);
    readWords(value, sink);
}

// What the trusted block says, summed up: each method's results, the first
// three kept to be written, and what the verdict rests on.
struct Sums {
    struct Results {
        std::size_t count = 0;
        Result first[3];
    };
    Results methods[3];  // dmarc, dkim, spf
    ShownResult firstDmarc;
    bool dmarcDiffer = false;
    bool dmarcFails = false;
    bool dmarcOffFrom = false;
    bool dkimPassesAligned = false;

    bool any() const { return methods[0].count + methods[1].count + methods[2].count > 0; }
};

void sumUp(const InlineBuffer<std::string_view, 8>& block, const Sender& sender, Sums& sums) {
    for (std::size_t i = 0; i < block.size(); ++i) {
        forEachResult(block[i], [&](const Result& result) {
            Sums::Results& results = sums.methods[static_cast<int>(result.method)];
            if (result.method == Method::kDmarc) {
                if (results.count == 0) sums.firstDmarc = result.result;
                sums.dmarcDiffer = sums.dmarcDiffer || result.result != sums.firstDmarc;
                sums.dmarcFails = sums.dmarcFails || result.result.is("fail");
                sums.dmarcOffFrom =
                    sums.dmarcOffFrom || (sender.known() && result.hasDomain && result.domain != sender.domain());
            } else if (result.method == Method::kDkim && !sums.dkimPassesAligned) {
                sums.dkimPassesAligned =
                    result.result.is("pass") && result.hasDomain && sender.alignedWith(result.domain);
            }
            if (results.count < 3) results.first[results.count] = result;
            ++results.count;
        });
    }
}

// What the trusted servers' results say of the mail.
Verdict verdictOf(const Sums& sums, const Sender& sender) {
    if (!sums.any()) return Verdict::kNone;
    if (sums.dmarcFails || sums.dmarcDiffer || sums.dmarcOffFrom) return Verdict::kFail;
    const bool dmarcPass = sums.methods[0].count > 0 && sums.firstDmarc.is("pass") && sender.known();
    if (dmarcPass || (sums.methods[0].count == 0 && sums.dkimPassesAligned)) return Verdict::kPass;
    return Verdict::kWarn;
}

void writeResult(const Result& result, const Sender& sender, LineWriter& line) {
    line << result.result.text();
    if (!result.hasDomain) return;
    if (result.method == Method::kDmarc) {
        if (!sender.known() || result.domain != sender.domain()) line << " for " << result.domain.text();
    } else if (!result.result.is("none")) {
        line << " " << result.domain.text();
        if (result.result.is("pass")) markNotFrom(line, sender.alignedWith(result.domain));
    }
}

}  // namespace

void AuthDigest::read(std::uint8_t nameId, const HeaderField& field) {
    if (nameId == kFrom.id) {
        sender_.addField(field.value());
        return;
    }
    if (blockEnded_) return;
    std::string copy;
    const Server server = serverOf(field.value(), copy);
    if (!sawResults_) {
        // Only the topmost field's server is ever shown.
        sawResults_ = true;
        topNamesNoServer_ = server.namesNone;
        if (!server.namesNone) showDomain(server.id, topServer_);
    }
    if (trusts(servers_, server)) {
        block_.push_back(field.value());
    } else {
        blockEnded_ = true;
    }
}

void AuthDigest::finish(FieldNotes& notes) {
    compose();
    notes.noteFirstLine(std::string_view(line_, lineLength_));
}

void AuthDigest::compose() {
    lineLength_ = 0;
    LineWriter line(line_, lineLength_);
    if (!sawResults_) {
        line << "[Auth] ? no Authentication-Results";
        return;
    }
    const std::string_view server = topNamesNoServer_ ? "-" : topServer_.text();
    if (block_.empty()) {
        line << "[Auth] ? not trusted: " << server;
        return;
    }

    sender_.read(converter_);
    Sums sums;
    sumUp(block_, sender_, sums);
    SenderNotes notes;
    line << "[Auth] " << verdictText(judgeSender(verdictOf(sums, sender_), sender_, false, senders_, notes)) << " ";
    writeSubject(line, sender_, notes);
    const std::string_view names[] = {" | DMARC ", " | DKIM ", " | SPF "};
    for (int method = 0; method < 3; ++method) {
        const Sums::Results& results = sums.methods[method];
        if (results.count == 0) continue;
        line << names[method];
        for (std::size_t i = 0; i < results.count && i < 3; ++i) {
            if (i > 0) line << ", ";
            writeResult(results.first[i], sender_, line);
        }
        if (results.count > 3) line << ", +" << results.count - 3 << " more";
    }
    line << " | by " << server;
}
