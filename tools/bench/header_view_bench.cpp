// Throughput of the header view over realistic headers from 4 KiB to 16 MiB,
// against a baseline that only cuts the same text into lines and copies each
// line once: the least any header view must do. Prints Google Benchmark's
// table, then each case's ratio to the baseline and how time grows with size.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "platform_services.h"
#include "fields/mail_time.h"
#include "headerview/header_view.h"
#include "headerview/line_cut.h"
#include "dkim/dkim_check.h"
#include "dkim_keys.h"
#include "domains/public_suffixes.h"
#include "text/base64.h"
#include "text/ascii.h"

// Heap blocks the program asks for, counted to report the header view's per mail.
static std::size_t heapBlocks = 0;

void* operator new(std::size_t size) {
    ++heapBlocks;
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

constexpr std::size_t kKiB = 1024;
constexpr std::size_t kSizes[] = {4 * kKiB, 64 * kKiB, 1024 * kKiB, 16 * 1024 * kKiB};

// One mail's header as a mail server leaves it: a Received chain, folded
// fields, authentication results, spam scores and the usual fields.
const char* const kMailHeader[] = {
    "Return-Path: <newsletter@shop.example.jp>",
    "Delivered-To: taro@example.org",
    "Received: from mx2.example.net (mx2.example.net [203.0.113.25])",
    "\tby mail.example.org (Postfix) with ESMTPS id 4QzT1m0Xk9z9sQ",
    "\tfor <taro@example.org>; Mon, 7 Dec 2026 09:12:44 +0900 (JST)",
    "Received: from relay.shop.example.jp (relay.shop.example.jp [198.51.100.7])",
    "\tby mx2.example.net with ESMTP id 1kX9aB-0004Zq-Tt; Mon, 07 Dec 2026 00:12:43 +0000",
    "Received: from app03.internal.shop.example.jp ([10.1.3.3])",
    "\tby relay.shop.example.jp with SMTP; Mon, 07 Dec 2026 09:12:41 +0900",
    "Authentication-Results: mail.example.org; dkim=pass header.d=shop.example.jp;",
    "\tspf=pass smtp.mailfrom=newsletter@shop.example.jp; dmarc=pass",
    "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=shop.example.jp; s=s1;",
    "\th=from:to:subject:date:message-id; bh=q4bTzL8yVbE2kU0Q1n6O4sZpWJkqk3mG1r2Xx9Uo0aE=;",
    "\tb=Vf3pQ1kM0w8Xb2nR9tYc6LzA4sD7eH5jK2gF1uI0oP9qW3eR6tY8uI1oP4aS7dF0gH3jK6lZ9xC2vB5nM8",
    "X-Spam-Status: No, score=-1.9 required=5.0 tests=BAYES_00,DKIM_SIGNED,DKIM_VALID",
    "\tautolearn=ham autolearn_force=no version=3.4.6",
    "X-Spam-Score: -1.9",
    "X-UIDL: 1733490065.M512P1234.pop.example.org",
    "Date: Mon, 07 Dec 2026 09:12:40 +0900",
    "From: Shop Example <newsletter@shop.example.jp>",
    "To: taro@example.org",
    "Subject: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?= Winter sale starts today",
    "Message-ID: <20261207001240.7A1F2C0012@app03.internal.shop.example.jp>",
    "MIME-Version: 1.0",
    "Content-Type: text/plain; charset=ISO-2022-JP",
    "Content-Transfer-Encoding: 7bit",
    "List-Unsubscribe: <mailto:unsubscribe@shop.example.jp?subject=unsubscribe>",
    "X-Mailer: ShopMailer 4.2",
    "X-Priority: 3 (Normal)",
    "Comments: sent to subscribers of the weekly letter",
};

// Mail headers back to back, CR LF line ends, cut at a line end near size.
std::string makeHeader(std::size_t size) {
    std::string header;
    header.reserve(size + 256);
    while (header.size() < size) {
        for (const char* line : kMailHeader) {
            header += line;
            header += "\r\n";
            if (header.size() >= size) break;
        }
    }
    return header;
}

// The three patterns of a user who wants the Received chain and X- lines.
Settings threePatterns(bool ignoreCase) {
    Settings settings;
    settings.ignoreCase = ignoreCase;
    settings.sort = 1;
    std::strcpy(settings.separator, "-- ");
    settings.showPatterns = {"Received", "Comments", "X-"};
    settings.hidePatterns = {"X-UIDL"};
    if (ignoreCase) {
        for (auto* list : {&settings.showPatterns, &settings.hidePatterns}) {
            for (std::string& pattern : *list) lowerAsciiInPlace(&pattern[0]);
        }
    }
    return settings;
}

// A full list: the usual field names first, then X- names that this header
// never holds, so that X- lines are tried against many patterns.
Settings ninetyNinePatterns(bool ignoreCase) {
    Settings settings = threePatterns(ignoreCase);
    const char* const names[] = {
        "Return-Path", "Delivered-To", "Authentication-Results", "DKIM-Signature", "Date",
        "From", "Sender", "Reply-To", "To", "Cc", "Bcc", "Subject", "Message-ID", "In-Reply-To",
        "References", "MIME-Version", "Content-Type", "Content-Transfer-Encoding",
        "List-Unsubscribe", "List-Id", "Organization", "User-Agent", "Importance",
    };
    settings.showPatterns.clear();
    for (const char* name : names) settings.showPatterns.push_back(std::string(name) + ":");
    for (int i = 0; settings.showPatterns.size() < 96; ++i) {
        settings.showPatterns.push_back("X-Filter-" + std::to_string(i) + ":");
    }
    settings.showPatterns.insert(settings.showPatterns.end(), {"Received", "Comments", "X-"});
    if (ignoreCase) {
        for (std::string& pattern : settings.showPatterns) lowerAsciiInPlace(&pattern[0]);
    }
    return settings;
}

PlatformConverter converter;

// Hands out a fresh copy of the header for every mail; the copy is not timed.
class BenchHost final : public HostInterface {
public:
    explicit BenchHost(const std::string& header) : pristine_(header), buffer_(header.size() + 1) {}
    void refresh() { std::memcpy(buffer_.data(), pristine_.c_str(), pristine_.size() + 1); }
    char* buffer() { return buffer_.data(); }

    std::int32_t registerCommand(const char*, std::int32_t, CommandHandler) override { return 0; }
    char* getHeader(MailId) override { return buffer_.data(); }
    std::int32_t setText(std::int32_t, const char* text) override {
        benchmark::DoNotOptimize(text);
        ++texts;
        return 0;
    }
    char* getSource(MailId) override { return nullptr; }
    void free(void*) override {}
    benchmark::IterationCount texts = 0;

private:
    std::string pristine_;
    std::vector<char> buffer_;
};

// readable: whole fields unfolded and encoded words decoded.
void runHeaderView(benchmark::State& state, std::size_t patterns, bool ignoreCase, bool readable = false) {
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    Settings settings = patterns == 3 ? threePatterns(ignoreCase) : ninetyNinePatterns(ignoreCase);
    settings.wholeFields = readable ? 2 : 0;
    settings.decode = readable ? 1 : 0;
    BenchHost host(makeHeader(size));
    for (auto _ : state) {
        state.PauseTiming();
        host.refresh();
        state.ResumeTiming();
        showHeaderView(host, settings, 1, converter);
    }
    if (host.texts != state.iterations()) state.SkipWithError("no view was handed to the host");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_Baseline(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0));
    BenchHost host(makeHeader(size));
    for (auto _ : state) {
        state.PauseTiming();
        host.refresh();
        state.ResumeTiming();
        std::vector<std::string> lines;
        LineCutter cutter(host.buffer(), fastestLineScan(), false);
        CutLine batch[LineCutter::kBatch];
        while (const std::size_t count = cutter.next(batch)) {
            for (std::size_t i = 0; i < count; ++i) lines.emplace_back(batch[i].text, batch[i].length);
        }
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_View3(benchmark::State& state) { runHeaderView(state, 3, false); }
void BM_View3IgnoreCase(benchmark::State& state) { runHeaderView(state, 3, true); }
void BM_View99(benchmark::State& state) { runHeaderView(state, 99, false); }
void BM_View99IgnoreCase(benchmark::State& state) { runHeaderView(state, 99, true); }
void BM_View3Readable(benchmark::State& state) { runHeaderView(state, 3, false, true); }
void BM_View99IgnoreCaseReadable(benchmark::State& state) { runHeaderView(state, 99, true, true); }

void sizes(benchmark::internal::Benchmark* benchmark) {
    for (std::size_t size : kSizes) benchmark->Arg(static_cast<std::int64_t>(size));
    benchmark->Unit(benchmark::kMicrosecond);
}

// The date reader, over the forms that Received and Date fields carry.
void BM_MailTime(benchmark::State& state) {
    using namespace std::string_view_literals;
    const std::string_view dates[] = {
        " Mon, 07 Dec 2026 09:12:45 +0900"sv,
        "\0\n\tMon, 7 Dec 2026 09:12:44 +0900 (JST)"sv,
        " Mon, 07 Dec 2026 00:12:43 +0000"sv,
        " Sun,  6 Dec 2026 19:02:10 -0500 (EST)"sv,
        " 7 Dec 2026 00:12:44 GMT"sv,
    };
    std::int64_t time = 0;
    std::size_t read = 0;
    for (auto _ : state) {
        for (const std::string_view date : dates) read += readMailTime(date, time) ? 1 : 0;
        benchmark::DoNotOptimize(time);
    }
    if (read != state.iterations() * std::size(dates)) state.SkipWithError("a date did not read");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * std::size(dates)));
}

// DKIM: a signed mail of 100 KiB checked with its key at hand, against what
// no check can do without: SHA-256 over the same bytes and one RSA-2048
// verify, in the same library.
struct SignedMail {
    std::string source = signedMail("large_body");
    TestKeys keys;
    PlatformCrypto crypto;
};

void BM_DkimCheck(benchmark::State& state) {
    SignedMail mail;
    DkimServices services{mail.keys, mail.crypto, converter, static_cast<std::int64_t>(std::time(nullptr))};
    char line[kDkimLineSize];
    for (auto _ : state) {
        const std::size_t length = writeDkimLine(mail.source.c_str(), services, 0, line);
        if (std::string_view(line, length) != "[DKIM] PASS example.com | pass example.com") {
            state.SkipWithError("the signature did not pass");
            break;
        }
    }
}

void BM_Sha256AndRsaVerify(benchmark::State& state) {
    SignedMail mail;
    std::string info;
    const std::string& record = mail.keys.records["s2048._domainkey.example.com"][0];
    appendBase64(record.substr(record.find("p=") + 2), info);
    const RsaKeyHandle key = mail.crypto.rsaKey(info);
    const std::string signature(256, 'x');
    for (auto _ : state) {
        const std::unique_ptr<Sha256> hash = mail.crypto.sha256();
        hash->add(mail.source.data(), mail.source.size());
        benchmark::DoNotOptimize(key->verifies(hash->finish(), signature));
    }
}

// A signature whose h= names 10,000 fields, over a header of 10,000 fields.
void BM_DkimTenThousandFields(benchmark::State& state) {
    SignedMail mail;
    std::string fields;
    std::string names;
    for (int i = 0; i < 10000; ++i) {
        fields += "X-" + std::to_string(i) + ": " + std::to_string(i) + "\r\n";
        names += "x-" + std::to_string(i) + ":";
    }
    std::string source = signedMail("relaxed");
    source.replace(source.find("h=from"), 6, "h=" + names + "from");
    source.replace(source.find("From:"), 5, fields + "From:");
    DkimServices services{mail.keys, mail.crypto, converter, static_cast<std::int64_t>(std::time(nullptr))};
    char line[kDkimLineSize];
    for (auto _ : state) benchmark::DoNotOptimize(writeDkimLine(source.c_str(), services, 0, line));
}

// Organizational domains of the names of the Public Suffix List's rules, as
// the digest lines see names: lower case, A-labels. Items are lookups.
void BM_OrganizationalDomains(benchmark::State& state) {
    std::vector<std::string> names;
    std::ifstream list(QM_PUBLIC_SUFFIX_LIST);
    for (std::string line; std::getline(list, line);) {
        line = line.substr(0, line.find_first_of(" \t\r"));
        if (line.empty() || line.compare(0, 2, "//") == 0) continue;
        const std::size_t start = line[0] == '!' ? 1 : line.compare(0, 2, "*.") == 0 ? 2 : 0;
        ShownDomain shown;
        showDomain(line.substr(start), shown);
        names.emplace_back("www." + std::string(shown.text()));
    }
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (const std::string& name : names) bytes += organizationalDomain(name).size();
    }
    benchmark::DoNotOptimize(bytes);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * names.size()));
}

BENCHMARK(BM_DkimCheck)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sha256AndRsaVerify)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DkimTenThousandFields)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_Baseline)->Apply(sizes);
BENCHMARK(BM_View3)->Apply(sizes);
BENCHMARK(BM_View3IgnoreCase)->Apply(sizes);
BENCHMARK(BM_View99)->Apply(sizes);
BENCHMARK(BM_View99IgnoreCase)->Apply(sizes);
BENCHMARK(BM_View3Readable)->Apply(sizes);
BENCHMARK(BM_View99IgnoreCaseReadable)->Apply(sizes);
BENCHMARK(BM_MailTime);
BENCHMARK(BM_OrganizationalDomains)->Unit(benchmark::kMillisecond);

// Keeps each case's time per iteration in microseconds, for the summary:
// the median when the runs are repeated, else the one run.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            if (run.run_type == Run::RT_Iteration) {
                microseconds.emplace(run.run_name.str(), run.GetAdjustedRealTime());
            } else if (run.aggregate_name == "median") {
                microseconds[run.run_name.str()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> microseconds;
};

std::string nameOf(const char* benchmark, std::size_t size) {
    return std::string(benchmark) + "/" + std::to_string(size);
}

void printSummary(const std::map<std::string, double>& times) {
    const struct {
        const char* name;
        const char* label;
        double goal;
    } cases[] = {
        {"BM_View3", "3 patterns", 0.5},
        {"BM_View3IgnoreCase", "3 patterns, case-blind", 0.5},
        {"BM_View99", "99 patterns", 0.25},
        {"BM_View99IgnoreCase", "99 patterns, case-blind", 0.25},
        // Whole fields unfolded and words decoded: reported, with no goal.
        {"BM_View3Readable", "3, whole and decoded", 0},
        {"BM_View99IgnoreCaseReadable", "99, blind, whole, decoded", 0},
    };
    std::printf("\n%-26s %10s %12s %9s %6s\n", "case", "size", "MiB/s", "baseline", "goal");
    for (const auto& c : cases) {
        for (std::size_t size : kSizes) {
            const auto view = times.find(nameOf(c.name, size));
            const auto base = times.find(nameOf("BM_Baseline", size));
            if (view == times.end() || base == times.end()) continue;
            const double mibPerSecond = static_cast<double>(size) / (1024.0 * 1024.0) / (view->second * 1e-6);
            const double ratio = base->second / view->second;
            std::printf("%-26s %8zuKiB %12.1f %8.2fx %6s\n", c.label, size / kKiB, mibPerSecond, ratio,
                        c.goal == 0 ? "-" : ratio >= c.goal ? "met" : "MISSED");
        }
    }
    // Up to 1 MiB: beyond, the first touch of fresh pages dominates for
    // every case, the baseline included.
    std::printf("\n%-26s %20s %6s\n", "time(1 MiB) / time(64 KiB)", "", "goal 18");
    for (const char* name : {"BM_Baseline", "BM_View3", "BM_View3IgnoreCase", "BM_View99", "BM_View99IgnoreCase",
                             "BM_View3Readable", "BM_View99IgnoreCaseReadable"}) {
        const auto big = times.find(nameOf(name, 1024 * kKiB));
        const auto small = times.find(nameOf(name, 64 * kKiB));
        if (big == times.end() || small == times.end()) continue;
        const double growth = big->second / small->second;
        std::printf("%-26s %20.2f %6s\n", name, growth, growth <= 18.0 ? "met" : "MISSED");
    }

    const auto check = times.find("BM_DkimCheck");
    const auto least = times.find("BM_Sha256AndRsaVerify");
    if (check != times.end() && least != times.end()) {
        const double ratio = check->second / least->second;
        std::printf("\n%-46s %6.2f %12s\n", "DKIM, 100 KiB mail / (SHA-256 + RSA verify)", ratio,
                    ratio <= 1.3 ? "<=1.3 met" : "<=1.3 MISSED");
    }
    // Timed in milliseconds.
    const auto fields = times.find("BM_DkimTenThousandFields");
    if (fields != times.end()) {
        std::printf("%-46s %6.2f %12s\n", "DKIM, h= of 10,000 over 10,000 fields (ms)", fields->second,
                    fields->second <= 50 ? "<=50 met" : "<=50 MISSED");
    }
}

// Heap blocks one mail's view takes, for a 4 KiB header: the heap is cheap
// natively but dear inside the client.
void printHeapBlocks() {
    std::printf("\n%-26s %20s\n", "heap blocks per mail", "4 KiB header");
    const struct {
        const char* label;
        std::size_t patterns;
        bool ignoreCase;
        int wholeFields;
        int decode;
        int hops;
        int auth;
    } cases[] = {
        {"3 patterns", 3, false, 0, 0, 0, 0},
        {"99 patterns, case-blind", 99, true, 0, 0, 0, 0},
        {"3, hops", 3, false, 0, 0, 1, 0},
        {"3, auth", 3, false, 0, 0, 0, 1},
        {"99, blind, whole, hops, auth", 99, true, 2, 0, 1, 1},
        {"3, whole and decoded", 3, false, 2, 1, 0, 0},
        {"99, blind, whole, decoded", 99, true, 2, 1, 0, 0},
    };
    for (const auto& c : cases) {
        Settings settings = c.patterns == 3 ? threePatterns(c.ignoreCase) : ninetyNinePatterns(c.ignoreCase);
        settings.wholeFields = c.wholeFields;
        settings.decode = c.decode;
        settings.hops = c.hops;
        settings.auth = c.auth;
        settings.authServers = {"mail.example.org"};
        BenchHost host(makeHeader(4 * kKiB));
        showHeaderView(host, settings, 1, converter);  // the converter's first use opens what it keeps
        host.refresh();
        const std::size_t before = heapBlocks;
        showHeaderView(host, settings, 1, converter);
        std::printf("%-26s %20zu\n", c.label, heapBlocks - before);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printSummary(reporter.microseconds);
    printHeapBlocks();
    return 0;
}
