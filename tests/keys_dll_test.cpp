// Kept keys in the released module, over days of the test's clock: a key
// is seen and kept, DNS drops it (the test server on 127.0.0.4 has dropped
// the main test key), and old mail still passes while new mail does not;
// without the setting, nothing is kept, and a key gone is no forgery.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "dkim_keys.h"
#include "host_exports.h"
#include "local_clock.h"
#include "plugin_module.h"
#include "win/installed_plugin.h"
#include "win/test_files.h"

namespace {

const std::string kKeysFile = "Quillmark-keys.txt";

std::string settings(const std::string& server, const std::string& extra) {
    return "[Setting]\r\nSeparator=\"-- \"\r\nDkim=1\r\n" + extra + "DnsServers=" + server +
           "\r\nDkimWait=10000\r\n[ShowHeader]\r\n01=Subject\r\n";
}

// The signed test mail, as it came on a day at noon UTC.
std::string cameOn(const char* date) {
    return std::string("Received: from mx.example.com by mail.example.org; ") + date + " 12:00:00 +0000\r\n" +
           signedMail("relaxed");
}
const std::string kOld = cameOn("Wed, 30 Sep 2026");  // while DNS gave the key
const std::string kNew = cameOn("Thu, 15 Oct 2026");  // after it dropped it

// The DKIM line of a mail's view, opened on year-month-day.
std::string lineOf(PluginModule& plugin, const std::string& source) {
    standin::viewTexts().clear();
    EXPECT_EQ(plugin.onOpenMail(standin::addMailSource(source)), 0);
    if (standin::viewTexts().size() != 1) return "(no view)";
    const std::string& text = standin::viewTexts()[0].text;
    return text.substr(0, text.find('\n'));
}

// Starts the module of installed on a date, with settings.
void startOn(InstalledPlugin& installed, const std::string& ini, WORD year, WORD month, WORD day) {
    writeBytes(installed.folder.file("Quillmark.ini"), ini);
    installed.plugin = std::make_unique<PluginModule>(installed.folder.file("Quillmark.dll"));
    ASSERT_TRUE(installed.plugin->loaded());
    ASSERT_TRUE(setLocalDate(installed.plugin->handle(), year, month, day));
    EXPECT_EQ(installed.plugin->onStart(), 0);
}

void exit(InstalledPlugin& installed) {
    EXPECT_EQ(installed.plugin->onExit(), 0);
    EXPECT_EQ(installed.plugin->calls().fault(), "");
    installed.plugin.reset();
}

TEST(KeysInTheHost, AKeptKeyOutlivesItsPlaceInDnsForMailThatCameWhileItWasThere) {
    InstalledPlugin installed;
    installed.plugin.reset();
    startOn(installed, settings("127.0.0.1", "Keys=1\r\n"), 2026, 10, 1);
    EXPECT_EQ(lineOf(*installed.plugin, kOld), "[DKIM] PASS example.com | pass example.com");
    EXPECT_FALSE(fileExists(installed.folder.file(kKeysFile)));
    EXPECT_EQ(installed.plugin->onEveryMinute(), 0);
    const std::string file = readBytes(installed.folder.file(kKeysFile));
    EXPECT_EQ(file.substr(0, file.find(" v=")),
              "# Quillmark keys 1 since 2026-10-01\ns2048._domainkey.example.com 2026-10-01 2026-10-01");
    exit(installed);

    // A month later DNS has dropped the key.
    startOn(installed, settings("127.0.0.4", "Keys=1\r\n"), 2026, 11, 1);
    EXPECT_EQ(lineOf(*installed.plugin, kOld), "[DKIM] PASS example.com | pass example.com (kept key)");
    EXPECT_EQ(lineOf(*installed.plugin, kNew), "[DKIM] WARN example.com | permerror example.com (no key)");
    exit(installed);
    EXPECT_EQ(readBytes(installed.folder.file(kKeysFile)), file) << "nothing seen, nothing written";
}

TEST(KeysInTheHost, WithoutTheSettingNothingIsKeptAndAKeyGoneIsNoForgery) {
    InstalledPlugin installed;
    installed.plugin.reset();
    startOn(installed, settings("127.0.0.1", ""), 2026, 10, 1);
    EXPECT_EQ(lineOf(*installed.plugin, kOld), "[DKIM] PASS example.com | pass example.com");
    exit(installed);
    startOn(installed, settings("127.0.0.4", "Keys=0\r\n"), 2026, 11, 5);
    EXPECT_EQ(lineOf(*installed.plugin, kOld), "[DKIM] ? example.com | neutral example.com (key gone)");
    EXPECT_EQ(lineOf(*installed.plugin, kNew), "[DKIM] WARN example.com | permerror example.com (no key)");
    exit(installed);
    EXPECT_FALSE(fileExists(installed.folder.file(kKeysFile)));
}

}  // namespace
