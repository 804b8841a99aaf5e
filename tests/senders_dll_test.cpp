// The history of senders in the released module: over days of the test's
// clock, with restarts, it records, saves, reads back and shows its notes;
// a damaged file is set aside, a folder that cannot be written keeps the
// history in memory, and without the setting nothing is read or written.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "host_exports.h"
#include "local_clock.h"
#include "plugin_module.h"
#include "win/installed_plugin.h"
#include "win/test_files.h"

namespace {

const std::string kSettings =
    "[Setting]\r\nAuth=1\r\nSenders=1\r\n[ShowHeader]\r\n01=Subject\r\n[AuthServers]\r\n01=mx.example.net\r\n";

// A mail whose trusted server says DMARC passed for domain.
std::string mailFrom(const std::string& domain) {
    return "Authentication-Results: mx.example.net; dmarc=pass header.from=" + domain + "\r\nFrom: a@" + domain +
           "\r\nSubject: s\r\n";
}

// The module installed with settings, driven on the days of a clock the
// test sets, and restarted as the client restarts.
class Client {
public:
    explicit Client(const std::string& settings = kSettings) : installed_(IniText{settings}) {}

    const TempFolder& folder() const { return installed_.folder; }
    std::string file(const std::string& name) const { return readBytes(folder().file(name)); }
    bool has(const std::string& name) const { return fileExists(folder().file(name)); }

    // Sets the date the module sees, and starts it.
    void start(WORD year, WORD month, WORD day) {
        ASSERT_TRUE(setLocalDate(plugin().handle(), year, month, day));
        EXPECT_EQ(plugin().onStart(), 0);
    }
    // The clock goes on to another date; the module reads it at the minute.
    void date(WORD year, WORD month, WORD day) {
        ASSERT_TRUE(setLocalDate(plugin().handle(), year, month, day));
        minute();
    }
    // The first line of the view of a mail from domain.
    std::string open(const std::string& domain) {
        standin::viewTexts().clear();
        EXPECT_EQ(plugin().onOpenMail(standin::addMail(mailFrom(domain))), 0);
        if (standin::viewTexts().size() != 1) return "(no view)";
        const std::string& text = standin::viewTexts()[0].text;
        return text.substr(0, text.find('\n'));
    }
    void minute() { EXPECT_EQ(plugin().onEveryMinute(), 0); }
    // The client closes and unloads the module, then loads it again.
    void restart() {
        EXPECT_EQ(plugin().onExit(), 0);
        EXPECT_EQ(plugin().calls().fault(), "");
        installed_.plugin.reset();
        installed_.plugin = std::make_unique<PluginModule>(folder().file("Quillmark.dll"));
        ASSERT_TRUE(installed_.plugin->loaded());
    }
    PluginModule& plugin() { return using_ == 0 ? *installed_.plugin : *copy_; }

    // Loads a second copy of the module into the same folder, with its own
    // settings file: as two clients that share the folder. Calls go to copy
    // 0, the first, or 1, the second, as use says.
    void loadCopy() {
        const std::string dll = folder().file("Quillmark-2.dll");
        ASSERT_TRUE(CopyFileA(folder().file("Quillmark.dll").c_str(), dll.c_str(), FALSE));
        writeBytes(folder().file("Quillmark-2.ini"), kSettings);
        copy_ = std::make_unique<PluginModule>(dll);
        ASSERT_TRUE(copy_->loaded());
    }
    void use(int copy) { using_ = copy; }

private:
    InstalledPlugin installed_;
    std::unique_ptr<PluginModule> copy_;
    int using_ = 0;
};

const std::string kHistory = "Quillmark-senders.txt";
const std::string kSetAside = "Quillmark-senders.bad";

TEST(SendersInTheHost, ARunOverDaysRecordsSavesReadsBackAndShowsTheNotes) {
    Client client;
    client.start(2026, 1, 1);
    // Learning: nobody is new yet, and nothing is on the disk before a minute.
    EXPECT_EQ(client.open("shop.example"), "[Auth] PASS shop.example | DMARC pass | by mx.example.net");
    EXPECT_FALSE(client.has(kHistory));
    client.minute();
    EXPECT_EQ(client.file(kHistory),
              "# Quillmark senders 1 since 2026-01-01\nshop.example 2026-01-01 2026-01-01 1\n");
    // A look-alike shows from the first day, once its model is known.
    for (const WORD day : {2, 3}) {
        client.date(2026, 1, day);
        client.open("shop.example");
    }
    EXPECT_EQ(client.open("shop.top"),
              "[Auth] WARN shop.top (looks like shop.example) | DMARC pass | by mx.example.net");
    EXPECT_EQ(client.open("news.example"), "[Auth] PASS news.example | DMARC pass | by mx.example.net");

    // Three weeks later, after a restart: what was learned is read back.
    client.restart();
    client.start(2026, 1, 22);
    EXPECT_EQ(client.open("shop.example"), "[Auth] PASS shop.example | DMARC pass | by mx.example.net");
    EXPECT_EQ(client.open("other.example"),
              "[Auth] PASS other.example (new sender) | DMARC pass | by mx.example.net");
    EXPECT_EQ(client.open("news.example"), "[Auth] PASS news.example | DMARC pass | by mx.example.net");
    client.restart();
    EXPECT_EQ(client.file(kHistory),
              "# Quillmark senders 1 since 2026-01-01\n"
              "news.example 2026-01-03 2026-01-22 2\n"
              "other.example 2026-01-22 2026-01-22 1\n"
              "shop.example 2026-01-01 2026-01-22 4\n"
              "shop.top 2026-01-03 2026-01-03 1\n");
    EXPECT_FALSE(client.has(kHistory + ".new"));
}

// A look-alike primed with one harmless passing mail still reads as one
// ten days later, after a restart; a From with a label the history cannot
// hold is noted by its organizational domain, which is recorded.
TEST(SendersInTheHost, ALookAlikeStaysFlaggedUntilItIsKnown) {
    Client client;
    writeBytes(client.folder().file(kHistory),
               "# Quillmark senders 1 since 2025-10-01\namazon.co.jp 2025-10-01 2025-12-20 30\n");
    client.start(2026, 1, 1);
    const std::string flagged =
        "[Auth] WARN amazon-co-jp.security-center.top (looks like amazon.co.jp) | DMARC pass | by mx.example.net";
    EXPECT_EQ(client.open("amazon-co-jp.security-center.top"), flagged);
    EXPECT_EQ(client.open("x_y.amazom.top"),
              "[Auth] WARN x_y.amazom.top (looks like amazon.co.jp) | DMARC pass | by mx.example.net");
    client.restart();
    client.start(2026, 1, 11);
    EXPECT_EQ(client.open("amazon-co-jp.security-center.top"), flagged);
    client.restart();
    EXPECT_EQ(client.file(kHistory),
              "# Quillmark senders 1 since 2025-10-01\n"
              "amazom.top 2026-01-01 2026-01-01 1\n"
              "amazon.co.jp 2025-10-01 2025-12-20 30\n"
              "security-center.top 2026-01-01 2026-01-11 2\n");
}

TEST(SendersInTheHost, AFileThatIsNoHistoryIsSetAsideAndANewOneBegins) {
    const std::string header = "# Quillmark senders 1 since 2026-01-01\n";
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"cut mid-line", header + "shop.example 2026-01-0"},
        {"a NUL", header + std::string("shop.ex\0mple 2026-01-01 2026-01-03 3\n", 38)},
        {"a line of 1 MiB", header + std::string(1 << 20, 'a') + ".example 2026-01-01 2026-01-03 3\n"},
        {"a bad date", header + "shop.example 2026-02-30 2026-03-01 1\n"},
        {"a negative count", header + "shop.example 2026-01-01 2026-01-03 -3\n"},
        {"another format", "domain,first,last,days\n"},
        {"larger than is read", header + std::string(17 << 20, '#')},
    };
    for (const auto& c : cases) {
        Client client;
        writeBytes(client.folder().file(kHistory), c.bytes);
        client.start(2026, 2, 1);
        EXPECT_EQ(client.file(kSetAside), c.bytes) << c.name;
        EXPECT_EQ(client.open("shop.example"), "[Auth] PASS shop.example | DMARC pass | by mx.example.net") << c.name;
        client.minute();
        EXPECT_EQ(client.file(kHistory),
                  "# Quillmark senders 1 since 2026-02-01\nshop.example 2026-02-01 2026-02-01 1\n")
            << c.name;
    }
}

TEST(SendersInTheHost, FilesSetAsideKeepTheFiveLatest) {
    Client client;
    for (int n = 1; n <= 6; ++n) {
        writeBytes(client.folder().file(kHistory), "no history " + std::to_string(n));
        client.start(2026, 1, 1);
        client.restart();
    }
    const char* const latestFirst[] = {"", "-2", "-3", "-4", "-5"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(client.file(kSetAside + latestFirst[i]), "no history " + std::to_string(6 - i));
    EXPECT_FALSE(client.has(kSetAside + "-6"));
}

TEST(SendersInTheHost, AFileLockedAtTheStartIsReadAndMergedAtAMinuteAfterItIsReleased) {
    Client client;
    const std::string path = client.folder().file(kHistory);
    const std::string before = "# Quillmark senders 1 since 2026-01-01\nshop.example 2026-01-01 2026-01-03 3\n";
    writeBytes(path, before);
    const HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    client.start(2026, 1, 10);
    EXPECT_EQ(client.open("news.example"), "[Auth] PASS news.example | DMARC pass | by mx.example.net");
    client.minute();
    CloseHandle(held);
    EXPECT_EQ(client.file(kHistory), before);
    client.minute();
    EXPECT_EQ(client.file(kHistory), "# Quillmark senders 1 since 2026-01-01\n"
                                     "news.example 2026-01-10 2026-01-10 1\n"
                                     "shop.example 2026-01-01 2026-01-03 3\n");
    EXPECT_EQ(client.open("shop.top"),
              "[Auth] WARN shop.top (looks like shop.example) | DMARC pass | by mx.example.net");
}

TEST(SendersInTheHost, TwoModulesSharingAFolderSaveInTurnAndLoseNoRecord) {
    Client client;
    client.start(2026, 1, 1);
    client.loadCopy();
    client.use(1);
    client.start(2026, 1, 1);
    const struct {
        WORD day;
        int copy;
        std::vector<std::string> opened;
    } turns[] = {
        {1, 0, {"a.example"}},
        {1, 1, {"b.example"}},
        {2, 0, {"b.example", "c.example"}},
        {2, 1, {"a.example"}},
    };
    for (const auto& turn : turns) {
        client.use(turn.copy);
        client.date(2026, 1, turn.day);
        for (const std::string& domain : turn.opened) client.open(domain);
        client.minute();
    }
    const std::string saved = "# Quillmark senders 1 since 2026-01-01\n"
                              "a.example 2026-01-01 2026-01-02 2\n"
                              "b.example 2026-01-01 2026-01-02 2\n"
                              "c.example 2026-01-02 2026-01-02 1\n";
    EXPECT_EQ(client.file(kHistory), saved);
    for (const int copy : {0, 1}) {
        client.use(copy);
        EXPECT_EQ(client.plugin().onExit(), 0);
        EXPECT_EQ(client.plugin().calls().fault(), "");
    }
    EXPECT_EQ(client.file(kHistory), saved);
}

TEST(SendersInTheHost, AFolderThatCannotBeWrittenKeepsTheHistoryInMemory) {
    Client client;
    const std::string before = "# Quillmark senders 1 since 2026-01-01\nshop.example 2026-01-01 2026-01-03 3\n";
    writeBytes(client.folder().file(kHistory), before);
    // Where the new file would be written stands a folder.
    ASSERT_TRUE(CreateDirectoryA(client.folder().file(kHistory + ".new").c_str(), nullptr));
    client.start(2026, 1, 4);
    EXPECT_EQ(client.open("shop.top"),
              "[Auth] WARN shop.top (looks like shop.example) | DMARC pass | by mx.example.net");
    client.minute();
    client.date(2026, 1, 5);
    EXPECT_EQ(client.open("shop.top"),
              "[Auth] WARN shop.top (looks like shop.example) | DMARC pass | by mx.example.net");
    client.restart();
    EXPECT_EQ(client.file(kHistory), before);
}

TEST(SendersInTheHost, WithoutTheSettingOrATrustLineNothingIsReadOrWritten) {
    const struct {
        const char* name;
        std::string settings;
        std::string line;
    } cases[] = {
        {"Senders absent", "[Setting]\r\nAuth=1\r\n[AuthServers]\r\n01=mx.example.net\r\n",
         "[Auth] PASS shop.example | DMARC pass | by mx.example.net"},
        {"Senders=2", "[Setting]\r\nAuth=1\r\nSenders=2\r\n[AuthServers]\r\n01=mx.example.net\r\n",
         "[Auth] PASS shop.example | DMARC pass | by mx.example.net"},
        {"Senders=1 alone", "[Setting]\r\nSenders=1\r\n[ShowHeader]\r\n01=Subject\r\n", "Subject: s"},
    };
    for (const auto& c : cases) {
        for (const bool withFile : {false, true}) {
            Client client(c.settings);
            const std::string damaged = "not a history\n";
            if (withFile) writeBytes(client.folder().file(kHistory), damaged);
            client.start(2026, 1, 1);
            EXPECT_EQ(client.open("shop.example"), c.line) << c.name;
            client.minute();
            client.restart();
            EXPECT_EQ(client.has(kHistory), withFile) << c.name;
            if (withFile) {
                EXPECT_EQ(client.file(kHistory), damaged) << c.name;
            }
            EXPECT_FALSE(client.has(kSetAside)) << c.name;
        }
    }
}

}  // namespace
