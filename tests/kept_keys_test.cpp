// The keys kept: what is kept and when, the file read, merged and written,
// and the limits that keep a crafted file or DNS from growing it.
#include "keys/kept_keys.h"

#include <gtest/gtest.h>

#include <string>

#include "kept_file_damage.h"

namespace {

constexpr Day kDay = dayOf(2027, 1, 10);
constexpr char kName[] = "s1._domainkey.example.com";
const std::string kHead = "# Quillmark keys 1 since 2027-01-01\n";

std::string lineOf(const std::string& name, const char* first, const char* last, const std::string& record) {
    return name + " " + first + " " + last + " " + record + "\n";
}

TEST(KeptKeys, KeepsWhatVerifiedAndMovesItsLastDate) {
    const struct {
        const char* name;
        std::string record;  // kept on kDay, then seen or kept again on kDay + 5
        bool keptAgain;
        std::string file;
    } cases[] = {
        {"blanks are taken out", "v=DKIM1; k=rsa;\t p=AB CD", false,
         lineOf(kName, "2027-01-10", "2027-01-15", "v=DKIM1;k=rsa;p=ABCD")},
        {"kept again", "p=ABCD", true, lineOf(kName, "2027-01-10", "2027-01-15", "p=ABCD")},
        {"a line break in DNS's text makes no line of its own",
         "p=AB\nzz._domainkey.bank.example 2026-01-01 2099-12-31 p=CD", false,
         lineOf(kName, "2027-01-10", "2027-01-15", "p=ABzz._domainkey.bank.example2026-01-012099-12-31p=CD")},
        {"no key: nothing kept", "v=DKIM1; k=rsa", false, ""},
        {"a revoked key: nothing kept", "v=DKIM1; p=", false, ""},
        {"a byte beyond ASCII", "p=AB\xC3\xA9", false, ""},
        {"longer than a record kept", "p=" + std::string(KeptKeys::kLongestRecord, 'A'), false, ""},
    };
    for (const auto& c : cases) {
        KeptKeys keys(dayOf(2027, 1, 1));
        keys.keep(kName, c.record, kDay);
        if (c.keptAgain) {
            keys.keep(kName, c.record, kDay + 5);
        } else {
            keys.see(kName, c.record, kDay + 5);
        }
        EXPECT_EQ(keys.write(), kHead + c.file) << c.name;
        EXPECT_EQ(keys.changed(), !c.file.empty()) << c.name;
    }
    // A key only seen is not kept, nor a name DNS cannot be asked.
    KeptKeys keys(dayOf(2027, 1, 1));
    keys.see(kName, "p=ABCD", kDay);
    keys.keep("s1._domainkey.Example.com", "p=ABCD", kDay);
    keys.keep("example.com", "p=ABCD", kDay);
    EXPECT_EQ(keys.write(), kHead);
    EXPECT_FALSE(keys.changed());
}

TEST(KeptKeys, LimitsDropTheKeysSeenLongestAgo) {
    KeptKeys keys(dayOf(2027, 1, 1));
    for (std::size_t i = 0; i < KeptKeys::kMaxKeysAName + 2; ++i) {
        keys.keep(kName, "p=K" + std::to_string(i), kDay + static_cast<Day>(i));
    }
    const KeptKeys::Range kept = keys.keysOf(kName);
    ASSERT_EQ(static_cast<std::size_t>(kept.end - kept.begin), KeptKeys::kMaxKeysAName);
    EXPECT_EQ(KeptKeys::recordOf(*kept.begin), "p=K2");

    // A file of more lines than kept keeps the newest, however it is sorted.
    std::string file = kHead;
    for (std::size_t i = 0; i < KeptKeys::kMaxLines + 10; ++i) {
        const std::string last = i % 2 == 0 ? "2027-01-09" : "2027-01-08";
        file += "s" + std::to_string(i) + "._domainkey.example.com 2027-01-01 " + last + " p=A\n";
    }
    KeptKeys read(kDay);
    ASSERT_TRUE(read.read(file, kDay));
    EXPECT_EQ(read.size(), KeptKeys::kMaxLines);
    EXPECT_TRUE(read.changed());
    const KeptKeys::Range first = read.keysOf("s0._domainkey.example.com");
    EXPECT_EQ(first.end - first.begin, 1);
    KeptKeys again(kDay);
    ASSERT_TRUE(again.read(read.write(), kDay));
    EXPECT_FALSE(again.changed());
    EXPECT_EQ(again.write(), read.write());
}

TEST(KeptKeys, FilesReadAndMergeByTheirLines) {
    const std::string a = lineOf(kName, "2027-01-02", "2027-01-05", "p=A");
    const std::string b = lineOf(kName, "2027-01-03", "2027-01-04", "p=B");
    const struct {
        const char* name;
        std::string file;
        bool read;
        std::string written;  // the lines written back
    } cases[] = {
        {"sorted by name, then first", kHead + b + a, true, a + b},
        {"one key twice is one line", kHead + a + lineOf(kName, "2027-01-01", "2027-01-03", "v=DKIM1;p=A"), true,
         lineOf(kName, "2027-01-01", "2027-01-05", "p=A")},
        {"dates ahead of today read as today", kHead + lineOf(kName, "2027-01-02", "2030-01-01", "p=A"), true,
         lineOf(kName, "2027-01-02", "2027-01-10", "p=A")},
        {"another head", "# Quillmark senders 1 since 2027-01-01\n" + a, false, ""},
        {"a blank in a record", kHead + kName + " 2027-01-02 2027-01-05 p=A B\n", false, ""},
        {"first after last", kHead + lineOf(kName, "2027-01-06", "2027-01-05", "p=A"), false, ""},
        {"a date that does not exist", kHead + lineOf(kName, "2027-02-30", "2027-03-01", "p=A"), false, ""},
        {"a name in capitals", kHead + lineOf("S1._domainkey.example.com", "2027-01-02", "2027-01-05", "p=A"), false, ""},
        {"no key in the record", kHead + lineOf(kName, "2027-01-02", "2027-01-05", "k=rsa"), false, ""},
        {"a line over the limit", kHead + lineOf(kName, "2027-01-02", "2027-01-05", "p=" + std::string(3000, 'A')),
         false, ""},
    };
    for (const auto& c : cases) {
        KeptKeys keys(kDay);
        keys.keep(kName, "p=KEPT", kDay);
        ASSERT_EQ(keys.read(c.file, kDay), c.read) << c.name;
        const std::string kept = lineOf(kName, "2027-01-10", "2027-01-10", "p=KEPT");
        EXPECT_EQ(keys.write(), c.read ? kHead + c.written : "# Quillmark keys 1 since 2027-01-10\n" + kept) << c.name;
    }

    // Another process's file: of a key both hold, the earlier FIRST and the later LAST.
    KeptKeys keys(kDay);
    ASSERT_TRUE(keys.read(kHead + a, kDay));
    ASSERT_TRUE(keys.merge("# Quillmark keys 1 since 2026-12-01\n" + lineOf(kName, "2027-01-01", "2027-01-03", "p=A") + b,
                           kDay));
    EXPECT_EQ(keys.write(), "# Quillmark keys 1 since 2026-12-01\n" + lineOf(kName, "2027-01-01", "2027-01-05", "p=A") + b);
    EXPECT_FALSE(keys.merge("not a keys file\n", kDay));
}

TEST(KeptKeys, WhatAnEditorLeavesReadsAndDamageDoesNot) {
    const std::string file = kHead + lineOf(kName, "2027-01-02", "2027-01-05", "p=A") +
                             lineOf("s2._domainkey.example.net", "2027-01-03", "2027-01-04", "v=DKIM1;p=B");
    for (const KeptFileChange& change : kKeptFileChanges) {
        KeptKeys keys(kDay);
        const bool read = keys.read(change.applyTo(file, KeptKeys::kMaxLineLength), kDay);
        EXPECT_EQ(read, !change.damage) << change.name;
        if (read) {
            EXPECT_EQ(keys.write(), file) << change.name;
        }
    }
}

}  // namespace
