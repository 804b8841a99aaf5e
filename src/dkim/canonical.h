// Canonical forms (RFC 6376, 3.4) of header fields and of the body, written
// straight into SHA-256 hashes: the body is read where it lies, in one pass,
// and nothing of it is copied but short pieces that differ from the mail's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "crypto/crypto.h"
#include "text/inline_buffer.h"

// A stream of canonical bytes into one or more hashes, each taking them up
// to a limit of its own. Runs of the mail's own bytes that follow on from
// each other are passed on as one; short pieces gather in a buffer first.
class HashFeed {
public:
    static constexpr std::uint64_t kNoLimit = ~std::uint64_t{0};

    HashFeed() = default;
    HashFeed(const HashFeed&) = delete;
    HashFeed& operator=(const HashFeed&) = delete;

    // Adds a hash that takes the first limit bytes of the stream.
    void feed(Sha256& hash, std::uint64_t limit = kNoLimit);
    // Bytes of the mail, at where; they join the run before them when they
    // follow it in memory.
    void mail(const char* where, std::size_t size);
    // Bytes of the canonical form that the mail does not hold there.
    void text(std::string_view bytes);
    // Room for size bytes (at most kRoom) to be written in place, after all
    // before them is passed on; then wrote() tells how many were.
    static constexpr std::size_t kRoom = 1024;
    char* room(std::size_t size);
    void wrote(std::size_t size) { buffered_ += size; }
    // Passes everything on; the bytes written so far.
    std::uint64_t finish();

private:
    void passRun();
    void passBuffer();
    void pass(const char* bytes, std::size_t size);

    struct Target {
        Sha256* hash;
        std::uint64_t limit;
    };
    InlineBuffer<Target, 6> targets_;
    std::uint64_t passed_ = 0;  // bytes passed on to the hashes
    const char* run_ = nullptr; // the mail's bytes not passed on yet
    std::size_t runSize_ = 0;
    char buffer_[kRoom];
    std::size_t buffered_ = 0;
};

// Writes a header field, as it stands in the mail (name, colon, value and its
// folds, without the break that ends it), in its simple or relaxed form; the
// field may come in pieces, as when b= is left out of a signature's field.
// A break inside it is CR LF or a bare LF.
class FieldFeed {
public:
    FieldFeed(bool relaxed, HashFeed& out) : relaxed_(relaxed), out_(out) {}
    void add(std::string_view piece);
    // Ends the field, with CR LF or without.
    void end(bool withBreak);

private:
    bool relaxed_;
    HashFeed& out_;
    bool inName_ = true;       // relaxed: before the first ':'
    bool space_ = false;       // relaxed: blanks wait to be written as one
    bool valueBegun_ = false;  // relaxed: a byte of the value was written
};

// Writes the body, from after the empty line that ends the header to the
// source's end, in its simple or relaxed form. Lines end at LF, with or
// without a CR before it. Linear in the body; no copy of it.
void feedBody(std::string_view body, bool relaxed, HashFeed& out);
