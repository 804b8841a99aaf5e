#include "charset/encoded_words.h"

#include <cstdint>

#include "charset/charsets.h"
#include "text/ascii.h"
#include "text/base64.h"
#include "text/inline_buffer.h"
#include "text/utf8.h"

namespace {

// A byte of a word's charset or text.
bool isWordByte(char c) { return c != '?' && c != ' ' && !isControl(c); }

bool onlyBlanks(std::string_view text) {
    for (const char c : text) {
        if (!isBlank(c)) return false;
    }
    return true;
}

struct EncodedWord {
    std::size_t begin = 0;  // at "=?"
    std::size_t end = 0;    // after "?="
    std::string_view charset;
    char encoding = 0;  // 'B' or 'Q'
    std::string_view text;
};

// Reads the encoded word that begins at "=?" at line[at], if one does. Scans
// no further than the third '?' after at, so that looking for words stays
// linear in the line.
bool readWordAt(std::string_view line, std::size_t at, EncodedWord& word) {
    std::size_t i = at + 2;
    const auto skipWordBytes = [&] {
        const std::size_t start = i;
        while (i < line.size() && isWordByte(line[i])) ++i;
        return line.substr(start, i - start);
    };
    word.charset = skipWordBytes();
    if (word.charset.empty() || i + 2 >= line.size() || line[i] != '?' || line[i + 2] != '?') return false;
    word.encoding = static_cast<char>(line[i + 1] & ~0x20);  // either case
    if (word.encoding != 'B' && word.encoding != 'Q') return false;
    i += 3;
    word.text = skipWordBytes();
    if (i + 1 >= line.size() || line[i] != '?' || line[i + 1] != '=') return false;
    word.begin = at;
    word.end = i + 2;
    return true;
}

bool findWord(std::string_view line, std::size_t from, EncodedWord& word) {
    for (std::size_t at = from; at + 1 < line.size(); ++at) {
        if (line[at] == '=' && line[at + 1] == '?' && readWordAt(line, at, word)) return true;
    }
    return false;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The decoded bytes of words: held inside the call for nearly every name
// and line, with no heap block.
using WordBytes = InlineBuffer<char, 512>;

// Q: '_' is a blank, =XX a byte in hex of either case, all else itself.
bool decodeQ(std::string_view text, WordBytes& bytes) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '_') {
            bytes.push_back(' ');
        } else if (text[i] != '=') {
            bytes.push_back(text[i]);
        } else {
            const int high = i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
            if (high < 0 || low < 0) return false;
            bytes.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        }
    }
    return true;
}

// Adjacent decodable words in one charset, to be converted together.
struct Run {
    std::size_t begin = 0;
    std::size_t end = 0;
    const Charset* charset = nullptr;
    WordBytes bytes;

    std::string_view text() const { return std::string_view(bytes.data(), bytes.size()); }
};

class Decoder {
public:
    Decoder(std::string_view line, CharsetConverter& converter, TextSink& out)
        : line_(line), converter_(converter), out_(out) {}

    void run() {
        EncodedWord word;
        WordBytes payload;
        for (std::size_t from = 0; findWord(line_, from, word); from = word.end) {
            const Charset* charset = charsetNamed(word.charset);
            payload.truncate(0);
            const bool decodable =
                charset != nullptr && (word.encoding == 'B' ? appendBase64(word.text, payload)
                                                            : decodeQ(word.text, payload));
            // Words of one code page are read together, whatever their names.
            const bool joinsRun = open_ && decodable && charset->codePage == run_.charset->codePage &&
                                  onlyBlanks(line_.substr(run_.end, word.begin - run_.end));
            if (joinsRun) {
                run_.bytes.append(payload.data(), payload.size());
                run_.end = word.end;
                continue;
            }
            closeRun();
            if (!decodable) {
                // Kept as written, a piece of its own: the raw text on either
                // side is read as what it is, each side apart.
                out_.keptAsWritten();
                write(line_.substr(copied_, word.begin - copied_));
                write(line_.substr(word.begin, word.end - word.begin));
                copied_ = word.end;
                lastRunDecoded_ = false;
            } else {
                open_ = true;
                run_.begin = word.begin;
                run_.end = word.end;
                run_.charset = charset;
                run_.bytes.truncate(0);
                run_.bytes.append(payload.data(), payload.size());
            }
        }
        closeRun();
        write(line_.substr(copied_));
    }

private:
    // Converts the open run and writes it, after the text before it.
    void closeRun() {
        if (!open_) return;
        open_ = false;
        const std::string_view gap = line_.substr(copied_, run_.begin - copied_);
        converted_.clear();
        // A sink that reads Unicode takes UTF-8 as it stands: no conversion.
        const bool asUtf8 = out_.takesUtf8() && run_.charset->codePage == kUtf8 && isUtf8(run_.text());
        const bool decoded = asUtf8 || convertToCodePage932(*run_.charset, run_.text(), converter_, converted_);
        // The blanks between two decoded words go.
        if (!(decoded && lastRunDecoded_ && onlyBlanks(gap))) write(gap);
        if (asUtf8) {
            out_.writeUtf8(run_.text());
        } else if (decoded) {
            for (char& c : converted_) {
                if (isControl(c)) c = ' ';
            }
            if (!converted_.empty()) out_.writeConverted(converted_);
        } else {
            out_.keptAsWritten();
            write(line_.substr(run_.begin, run_.end - run_.begin));
        }
        lastRunDecoded_ = decoded;
        copied_ = run_.end;
    }

    void write(std::string_view bytes) {
        if (!bytes.empty()) out_.write(bytes);
    }

    std::string_view line_;
    CharsetConverter& converter_;
    TextSink& out_;
    std::size_t copied_ = 0;  // line_ is written up to here
    bool open_ = false;
    Run run_;
    bool lastRunDecoded_ = false;  // the run that ended at copied_ was decoded
    std::string converted_;
};

}  // namespace

void appendDecoded(std::string_view line, CharsetConverter& converter, TextSink& out) {
    Decoder(line, converter, out).run();
}
