// The released module checks DKIM signatures with keys from a real DNS
// server: the test servers on 127.0.0.1 (dnsmasq, the test keys) and
// 127.0.0.2 (silent), which CTest starts before these tests.
#include <gtest/gtest.h>
#include <windows.h>

#include <tlhelp32.h>

#include <filesystem>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "dkim_keys.h"
#include "host_exports.h"
#include "win/installed_plugin.h"
#include "win/test_files.h"

namespace {

// The settings of a test: extra, then (the reader takes a key's first
// line) a wait for keys as long as the plug-in allows, so that a loaded
// machine gives the same lines.
IniText settings(const std::string& extra) {
    return {"[Setting]\r\nSeparator=\"-- \"\r\nDkim=1\r\n" + extra +
            "DkimWait=10000\r\n[ShowHeader]\r\n01=Subject\r\n"};
}

// The view of a mail's whole source, opened once in installed.
std::string viewOf(InstalledPlugin& installed, const std::string& source) {
    const std::size_t before = standin::viewTexts().size();
    installed.plugin->onOpenMail(standin::addMailSource(source));
    EXPECT_EQ(standin::sourcesOut(), 0) << "every source given back";
    return standin::viewTexts().size() == before + 1 ? standin::viewTexts().back().text : "(none)";
}

// The queries the test server was asked for name so far.
int queriesFor(const std::string& name) {
    const std::string log = readBytes(windowsPathOf(QM_DNS_DIR "/queries.log"));
    const std::string line = "query[TXT] " + name + " ";
    int count = 0;
    for (std::size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++count;
    return count;
}

const std::string kSubject = "\nSubject: Lunch on Friday\n-- \n";

TEST(DkimInTheHost, KeysComeFromTheServerTheSettingsName) {
    InstalledPlugin installed(settings("DnsServers=192.0.2.999, 127.0.0.1\r\n"));
    installed.plugin->onStart();
    const struct {
        const char* mail;
        std::pair<std::string, std::string> edit;
        std::string line;
    } cases[] = {
        {"relaxed", {}, "[DKIM] PASS example.com | pass example.com"},
        {"large_body", {}, "[DKIM] PASS example.com | pass example.com"},
        {"two_records", {}, "[DKIM] PASS example.com | pass example.com"},
        {"two_signatures", {}, "[DKIM] PASS example.com | pass example.com, pass example.net (not From)"},
        {"weak_key", {}, "[DKIM] WARN example.com | policy example.com (weak key)"},
        {"pkcs1_key", {}, "[DKIM] PASS example.com | pass example.com"},
        {"other_version_first", {}, "[DKIM] PASS example.com | pass example.com"},
        {"testing_key", {}, "[DKIM] NONE example.com | neutral example.com (testing)"},
        // The From domain's DMARC record, and what the display name claims.
        {"from_reject", {}, "[DKIM] PASS reject.example.com (DMARC reject) | pass example.com"},
        {"from_strict", {}, "[DKIM] FAIL strict.example.com (DMARC reject) | pass example.com (not From)"},
        {"from_subdomain", {}, "[DKIM] PASS news.example.net (DMARC reject) | pass example.net"},
        {"relaxed", {"DKIM-Signature:", "X-Signature:"}, "[DKIM] NONE example.com"},
        {"from_reject", {"DKIM-Signature:", "X-Signature:"}, "[DKIM] FAIL reject.example.com (DMARC reject)"},
        {"name_claims", {}, "[DKIM] WARN example.com (name says paypal.com) | pass example.com"},
        {"relaxed", {"s=s2048", "s=revoked"}, "[DKIM] WARN example.com | permerror example.com (key revoked)"},
        {"relaxed", {"s=s2048", "s=nothing"}, "[DKIM] WARN example.com | permerror example.com (no key)"},
        // A From not written plainly, what no signature covers, the owners'
        // policies by RFC 9989, and names read as a person reads them.
        {"from_reject", {"taro@reject.example.com", "taro@reject .example.com"},
         "[DKIM] FAIL reject.example.com (unusual From) (DMARC reject) | fail example.com (signature does not match)"},
        {"relaxed", {"From:", "Reply-To: attacker@evil.example\r\nFrom:"},
         "[DKIM] WARN example.com (unsigned Reply-To) | pass example.com"},
        {"reply_to_signed", {}, "[DKIM] PASS example.com | pass example.com"},
        {"subject_unsigned", {}, "[DKIM] WARN example.com (unsigned Subject) | pass example.com"},
        {"relaxed", {"taro@example.com", "taro@ghost.np.example"},
         "[DKIM] FAIL ghost.np.example (DMARC reject) | fail example.com (signature does not match)"},
        {"relaxed", {"taro@example.com", "taro@real.np.example"},
         "[DKIM] FAIL real.np.example (DMARC quarantine) | fail example.com (signature does not match)"},
        {"relaxed", {"taro@example.com", "taro@testing.example.com"},
         "[DKIM] FAIL testing.example.com (DMARC quarantine) | fail example.com (signature does not match)"},
        {"relaxed", {"taro@example.com", "taro@\xEF\xBD\x85xample.com"},
         "[DKIM] WARN example.com | fail example.com (signature does not match)"},
        {"relaxed", {"Taro Yamada", "\"PayPal.c\xD0\xBEm\""},
         "[DKIM] WARN example.com (name says paypal.com) | fail example.com (signature does not match)"},
        // A domain the server does not serve: it refuses.
        {"relaxed", {"d=example.com;\r\n i=@example.com;", "d=example.org;"},
         "[DKIM] WARN example.com | temperror example.org (key lookup failed)"},
    };
    for (const auto& c : cases) {
        std::string mail = signedMail(c.mail);
        if (!c.edit.first.empty()) mail.replace(mail.find(c.edit.first), c.edit.first.size(), c.edit.second);
        EXPECT_EQ(viewOf(installed, mail), c.line + kSubject) << c.mail << " " << c.edit.second;
    }
}

TEST(DkimInTheHost, AKeyIsAskedForOnceWhileItLasts) {
    InstalledPlugin installed(settings("DnsServers=127.0.0.1\r\n"));
    installed.plugin->onStart();
    const std::string mail = signedMail("key_1024");
    const int before = queriesFor("s1024._domainkey.example.com");
    for (int open = 0; open < 3; ++open) {
        EXPECT_EQ(viewOf(installed, mail), "[DKIM] PASS example.com | pass example.com" + kSubject);
    }
    EXPECT_EQ(queriesFor("s1024._domainkey.example.com"), before + 1);
}

// Every signed mail, every opt-in view on, each opened at each of the four
// stack offsets a host may call with: the same view each time.
TEST(DkimInTheHost, EverySignedMailGivesOneViewAtEveryStackOffset) {
    InstalledPlugin installed(settings("WholeFields=2\r\nDecode=1\r\nHops=1\r\nAuth=1\r\nDnsServers=127.0.0.1\r\n"));
    installed.plugin->onStart();
    int mails = 0;
    for (const auto& entry : std::filesystem::directory_iterator(windowsPathOf(QM_DKIM_DIR "/mails"))) {
        const std::string mail = readBytes(entry.path().string());
        const std::string first = viewOf(installed, mail);
        EXPECT_EQ(first.rfind("[Auth] ? no Authentication-Results\n[DKIM] ", 0), 0u) << entry.path() << first;
        for (int offset = 1; offset < 4; ++offset) EXPECT_EQ(viewOf(installed, mail), first) << entry.path();
        ++mails;
    }
    EXPECT_GE(mails, 13);
}

// The lines the relay on 127.0.0.3 logged from line first on: "TIME query
// NAME" as a query came, "TIME answer NAME" as its answer left.
std::vector<std::string> relayLog(std::size_t first) {
    const std::string log = readBytes(windowsPathOf(QM_DNS_DIR "/relay.log"));
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t end = log.find('\n', at);
        lines.push_back(log.substr(at, end - at));
        at = end == std::string::npos ? log.size() : end + 1;
    }
    return std::vector<std::string>(lines.begin() + std::min(first, lines.size()), lines.end());
}

// A first open asks for the key, both DMARC records and whether the From
// domain exists before any answer comes: it waits for the slowest answer,
// not their sum.
TEST(DkimInTheHost, KeysAndPoliciesAreAskedForAtOnce) {
    InstalledPlugin installed(settings("DnsServers=127.0.0.3\r\n"));
    installed.plugin->onStart();
    const std::size_t before = relayLog(0).size();
    EXPECT_EQ(viewOf(installed, signedMail("from_subdomain")),
              "[DKIM] PASS news.example.net (DMARC reject) | pass example.net" + kSubject);
    const std::vector<std::string> log = relayLog(before);
    std::size_t queries = 0;
    for (const std::string& line : log) {
        if (line.find(" answer ") != std::string::npos) break;
        ++queries;
    }
    EXPECT_EQ(queries, 4u) << "queries before the first answer, of:\n" << [&] {
        std::string all;
        for (const std::string& line : log) all += line + "\n";
        return all;
    }();
}

// A lookup of the From domain's record that does not end is no policy,
// whatever its organizational domain's record says.
TEST(DkimInTheHost, APolicyLookupThatNeverEndsIsNoPolicy) {
    InstalledPlugin installed(settings("DnsServers=127.0.0.1\r\nDkimWait=300\r\n"));
    installed.plugin->onStart();
    std::string mail = signedMail("relaxed");
    mail.replace(mail.find("DKIM-Signature:"), 15, "X-Signature:");
    mail.replace(mail.find("taro@example.com"), 16, "taro@silent.example.net");
    EXPECT_EQ(viewOf(installed, mail), "[DKIM] NONE silent.example.net" + kSubject);
}

// The threads of this process now.
int threadsOfThisProcess() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 thread{};
    thread.dwSize = sizeof thread;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread)) {
        count += thread.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
}

TEST(DkimInTheHost, AtMostFiveLookupsRunAtOnce) {
    InstalledPlugin installed(settings("DnsServers=127.0.0.2\r\nDkimWait=0\r\n"));
    installed.plugin->onStart();
    const int before = threadsOfThisProcess();
    const std::string mail = signedMail("relaxed");
    for (const char* selector : {"s=q1", "s=q2", "s=q3", "s=q4", "s=q5", "s=q6", "s=q7"}) {
        std::string asking = mail;
        asking.replace(asking.find("s=s2048"), 7, selector);
        EXPECT_EQ(viewOf(installed, asking),
                  "[DKIM] ? example.com | temperror example.com (key lookup pending)" + kSubject);
    }
    EXPECT_LE(threadsOfThisProcess() - before, 5);
}

TEST(DkimInTheHost, AnUnloadLeavesAHangingLookupToEndOnItsOwn) {
    auto silent = std::make_unique<InstalledPlugin>(settings("DnsServers=127.0.0.2\r\nDkimWait=300\r\n"));
    silent->plugin->onStart();
    const std::string path = silent->folder.file("Quillmark.dll");
    EXPECT_EQ(viewOf(*silent, signedMail("relaxed")),
              "[DKIM] ? example.com | temperror example.com (key lookup pending)" + kSubject);

    // The host unloads it; the lookup's thread holds the module until its
    // query gives up, and the host goes on meanwhile.
    silent->plugin.reset();
    EXPECT_NE(GetModuleHandleA(path.c_str()), nullptr);
    InstalledPlugin other(settings("DnsServers=127.0.0.1\r\n"));
    other.plugin->onStart();
    EXPECT_EQ(viewOf(other, signedMail("relaxed")), "[DKIM] PASS example.com | pass example.com" + kSubject);
    for (int wait = 0; wait < 600 && GetModuleHandleA(path.c_str()) != nullptr; ++wait) Sleep(100);
    EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr) << "the lookup's thread never let the module go";
}

}  // namespace
