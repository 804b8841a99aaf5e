// The history of senders at its largest: reading a file of 50,000 known
// domains (realistic names of 6 to 20 characters under various suffixes)
// and building every index, writing it, and the note per mail for a known
// sender, a stranger and a look-alike, and for one sender asked again.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "senders/sender_history.h"

namespace {

constexpr const char* kSuffixes[] = {"com", "net", "org", "co.jp", "jp", "ne.jp", "or.jp", "de", "co.uk",
                                     "io", "info", "biz", "com.au", "fr", "nl", "shop", "xn--tckwe"};

struct Fixture {
    std::string file;
    std::vector<std::string> known, strangers, lookAlikes;
};

// The same names every run.
const Fixture& fixture() {
    static const Fixture made = [] {
        Fixture f;
        std::mt19937 random(20240301);
        const auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
        const auto name = [&] {
            std::string text;
            const std::size_t length = 6 + pick(15);
            while (text.size() < length) {
                const char c = "abcdefghijklmnopqrstuvwxyz0123456789-"[pick(text.empty() || text.size() + 1 == length ? 36 : 37)];
                if (c != '-' || text.back() != '-') text += c;
            }
            return text + "." + kSuffixes[pick(std::size(kSuffixes))];
        };
        SenderHistory history(dayOf(2019, 1, 1));
        std::vector<std::string> domains;
        while (domains.size() < SenderHistory::kMaxDomains) {
            std::string domain = name();
            if (history.find(domain) != nullptr) continue;
            const Day first = dayOf(2019, 1, 1) + static_cast<Day>(pick(1500));
            for (Day day = first, dates = 3 + static_cast<Day>(pick(30)); dates > 0; --dates, day += 1 + static_cast<Day>(pick(9))) {
                history.record(domain, day);
            }
            domains.push_back(std::move(domain));
        }
        f.file = history.write();
        for (std::size_t i = 0; i < 1000; ++i) {
            f.known.push_back(domains[pick(domains.size())]);
            f.strangers.push_back(name());
            std::string slip = domains[pick(domains.size())];
            slip[1] = slip[1] == 'q' ? 'x' : 'q';
            f.lookAlikes.push_back(slip);
        }
        return f;
    }();
    return made;
}

// The read alone: the history it replaces is made, and the one it made
// given up, outside the time.
void readFile(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        auto history = std::make_unique<SenderHistory>(0);
        state.ResumeTiming();
        benchmark::DoNotOptimize(history->read(f.file));
        state.PauseTiming();
        history.reset();
        state.ResumeTiming();
    }
    state.SetLabel(std::to_string(f.file.size() / 1024) + " KiB");
}
BENCHMARK(readFile)->Unit(benchmark::kMillisecond);

void writeFile(benchmark::State& state) {
    SenderHistory history(0);
    history.read(fixture().file);
    for (auto _ : state) benchmark::DoNotOptimize(history.write());
}
BENCHMARK(writeFile)->Unit(benchmark::kMillisecond);

void noteFor(benchmark::State& state, std::vector<std::string> Fixture::*names) {
    SenderHistory history(0);
    history.read(fixture().file);
    const std::vector<std::string>& from = fixture().*names;
    const Day today = dayOf(2024, 3, 1);
    std::size_t i = 0;
    std::size_t noted = 0;
    for (auto _ : state) {
        noted += history.noteFor(from[i], today).kind != SenderNote::Kind::kNone;
        i = (i + 1) % from.size();
    }
    state.counters["noted"] = static_cast<double>(noted) / static_cast<double>(state.iterations());
}
BENCHMARK_CAPTURE(noteFor, known, &Fixture::known)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(noteFor, stranger, &Fixture::strangers)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(noteFor, lookAlike, &Fixture::lookAlikes)->Unit(benchmark::kMicrosecond);

// One sender asked again, as a mail opened again or the next from it asks.
void noteAgain(benchmark::State& state) {
    SenderHistory history(0);
    history.read(fixture().file);
    const std::string& from = fixture().lookAlikes.front();
    const Day today = dayOf(2024, 3, 1);
    for (auto _ : state) benchmark::DoNotOptimize(history.noteFor(from, today));
}
BENCHMARK(noteAgain)->Unit(benchmark::kMicrosecond);

// Crafted histories: a note's cost must not follow them.
std::string craftedFile(const std::vector<std::string>& domains, int days) {
    std::string file = "# Quillmark senders 1 since 2019-01-01\n";
    for (const std::string& domain : domains) file += domain + " 2019-01-01 2024-01-01 " + std::to_string(days) + "\n";
    return file;
}

// Known names of 63 letters, whose slips a From name of 63 letters is
// looked up by, two left out of each; and the longest From domain there
// is, made of such labels, read for the known names it holds.
void noteForLongestNames(benchmark::State& state) {
    std::mt19937 random(7);
    const auto label = [&] {
        std::string text;
        while (text.size() < 63) text += static_cast<char>('a' + random() % 26);
        return text;
    };
    std::vector<std::string> domains;
    for (int i = 0; i < 5000; ++i) domains.push_back(label() + ".com");
    std::sort(domains.begin(), domains.end());
    SenderHistory history(0);
    history.read(craftedFile(domains, 3));
    std::vector<std::string> from;
    for (int i = 0; i < 100; ++i) {
        from.push_back(state.range(0) == 0 ? label() + ".top" : label() + "." + label() + "." + label() + "." + label().substr(0, 57) + ".top");
    }
    const Day today = dayOf(2024, 3, 1);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(history.noteFor(from[i], today));
        i = (i + 1) % from.size();
    }
}
BENCHMARK(noteForLongestNames)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// 50,000 known domains of one skeleton and one name's letters (o and 0
// in 16 places), asked for by a look-alike of each rule; then recorded
// past capacity, each new domain evicting the group's head.
void noteForOneCraftedGroup(benchmark::State& state) {
    std::vector<std::string> domains;
    for (int bits = 0; bits < 50000; ++bits) {
        std::string name = "x";
        for (int k = 0; k < 16; ++k) name += (bits >> k & 1) != 0 ? '0' : 'o';
        domains.push_back(name + ".com");
    }
    std::sort(domains.begin(), domains.end());
    SenderHistory history(0);
    history.read(craftedFile(domains, 3));
    const std::string from[] = {"xoooooooooooooooo.top", "login-xoooooooooooooooo.top", "xooooooooooooooooo.top"};
    const Day today = dayOf(2024, 3, 1);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(history.noteFor(from[i], today));
        i = (i + 1) % 3;
        if (state.range(0) == 1) history.record("new" + std::to_string(state.iterations()) + ".example", today);
    }
}
BENCHMARK(noteForOneCraftedGroup)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
