// The released module in a host: this program exports the host's functions,
// installs copies of Quillmark.dll in folders of its own and drives them as
// the client does.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>

#include "box_watcher.h"
#include "client_menu.h"
#include "host_call.h"
#include "host_exports.h"
#include "mail_file.h"
#include "plugin_module.h"
#include "win/installed_plugin.h"
#include "win/test_files.h"

namespace {

std::string mailsFile(const std::string& name) {
    return windowsPathOf(QM_MAILS_DIR) + "\\" + name;
}

const char* const kCallbacks[] = {
    "BKC_OnStart",       "BKC_OnExit",        "BKC_OnMenuInit",    "BKC_OnOpenFolder",
    "BKC_OnOpenMail",    "BKC_OnEveryMinute", "BKC_OnOpenCompose", "BKC_OnOutgoing",
    "BKC_OnKeyDispatch", "BKC_OnRetrieve",    "BKC_OnSend",        "BKC_OnFinishRetrieve",
    "BKC_OnPlugInSetup", "BKC_OnPlugInInfo",  "BKC_OnDragDrop",
};

TEST(PluginExports, EachCallbackHasItsNameAndOrdinalAndNothingElseIsExported) {
    InstalledPlugin installed;
    const HMODULE module = installed.plugin->handle();
    for (WORD ordinal = 1; ordinal <= 15; ++ordinal) {
        const char* name = kCallbacks[ordinal - 1];
        const FARPROC byName = GetProcAddress(module, name);
        EXPECT_NE(byName, nullptr) << name;
        EXPECT_EQ(byName, GetProcAddress(module, MAKEINTRESOURCEA(ordinal))) << name;
    }

    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    EXPECT_STREQ(reinterpret_cast<const char*>(base + exports->Name), "Quillmark.dll");
    EXPECT_EQ(exports->Base, 1u);
    EXPECT_EQ(exports->NumberOfFunctions, 15u);
    EXPECT_EQ(exports->NumberOfNames, 15u);
}

// Callees that break the calling convention, each in its own way, for the
// host's check of what a callee gives back.
extern "C" {
std::int32_t leavesItsArguments(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a + b); }
__attribute__((naked, stdcall)) void changesEbx(std::uint32_t, std::uint32_t) {
    __asm__("movl $1, %ebx\n\tret $8");
}
__attribute__((naked, stdcall)) void changesPrecision(std::uint32_t, std::uint32_t) {
    __asm__("subl $4, %esp\n\tfnstcw (%esp)\n\torw $0x300, (%esp)\n\tfldcw (%esp)\n\taddl $4, %esp\n\tret $8");
}
__attribute__((naked, stdcall)) void changesSseRounding(std::uint32_t, std::uint32_t) {
    __asm__("subl $4, %esp\n\tstmxcsr (%esp)\n\txorl $0x2000, (%esp)\n\tldmxcsr (%esp)\n\taddl $4, %esp\n\tret $8");
}
__attribute__((stdcall)) std::int32_t keepsTheRules(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(a * b);
}
}

TEST(HostCall, SeesEachWayACalleeBreaksTheConvention) {
    const struct {
        const void* callee;
        const char* fault;  // after the first call, at offset 0
        std::int32_t stackDelta;
    } cases[] = {
        {reinterpret_cast<const void*>(&leavesItsArguments), "the stack pointer", -8},
        {reinterpret_cast<const void*>(&changesEbx), "ebx", 0},
        {reinterpret_cast<const void*>(&changesPrecision), "the x87 control word", 0},
        {reinterpret_cast<const void*>(&changesSseRounding), "MXCSR", 0},
        {reinterpret_cast<const void*>(&keepsTheRules), nullptr, 0},
    };
    const std::uint32_t args[] = {2, 3};
    for (const auto& c : cases) {
        HostCaller caller;
        for (int offset = 0; offset < 4; ++offset) caller.call("callee", c.callee, args, 2);
        EXPECT_EQ(caller.lastStackDelta(), c.stackDelta) << c.fault;
        EXPECT_EQ(caller.fault(), c.fault == nullptr
                                      ? ""
                                      : std::string("callee, called 0 bytes past a 16-byte boundary, changed ") + c.fault);
    }
    HostCaller caller;
    EXPECT_EQ(caller.call("callee", reinterpret_cast<const void*>(&keepsTheRules), args, 2), 6);
}

// Every callback at each of the four stack offsets in turn: each returns
// its value and removes exactly its arguments, and gives back every
// register and control as the host set them.
TEST(PluginCallbacks, EachReturnsItsValueAndKeepsTheConventionAtAnyStackOffset) {
    InstalledPlugin installed;
    const MailId mail = standin::addMail("Comments: shown\r\n");
    const HMENU menu = makeClientMenu();
    PluginInfo info{};
    const auto address = [](const void* p) { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p)); };

    const std::uint32_t any = 0xFFFFFFFFu;
    const struct {
        const char* name;
        int words;
        std::uint32_t args[4];
        std::int32_t result;
    } calls[] = {
        {"BKC_OnStart", 0, {}, 0},
        {"BKC_OnMenuInit", 3, {0, address(menu), 0}, 0},
        {"BKC_OnMenuInit", 3, {any, any, 1}, 0},
        {"BKC_OnOpenFolder", 1, {any}, 0},
        {"BKC_OnOpenMail", 1, {mail}, 0},
        {"BKC_OnOpenMail", 1, {any}, 0},
        {"BKC_OnEveryMinute", 0, {}, 0},
        {"BKC_OnOpenCompose", 2, {any, any}, 0},
        {"BKC_OnOutgoing", 2, {any, any}, 0},
        {"BKC_OnKeyDispatch", 3, {any, any, any}, 0},
        {"BKC_OnRetrieve", 2, {any, any}, 0},
        {"BKC_OnSend", 1, {any}, 0},
        {"BKC_OnFinishRetrieve", 1, {any}, 0},
        {"BKC_OnPlugInSetup", 1, {0}, 1},
        {"BKC_OnPlugInInfo", 1, {address(&info)}, 0},
        {"BKC_OnDragDrop", 4, {any, any, any, any}, 0},
        {"BKC_OnExit", 0, {}, 0},
    };
    // 17 calls a round: in four rounds each call meets each offset.
    static_assert(std::size(calls) % 4 == 1);
    HostCaller caller;
    for (int round = 0; round < 4; ++round) {
        for (const auto& call : calls) {
            std::unique_ptr<BoxWatcher> watcher;
            if (std::string(call.name) == "BKC_OnPlugInSetup") watcher = std::make_unique<BoxWatcher>();
            const std::int32_t result = caller.call(
                call.name, reinterpret_cast<const void*>(installed.plugin->callback(call.name)), call.args, call.words);
            EXPECT_EQ(result, call.result) << call.name;
        }
    }
    EXPECT_EQ(caller.fault(), "");

    // The calls did their work.
    ASSERT_EQ(standin::viewTexts().size(), 4u);
    EXPECT_EQ(standin::viewTexts()[3].text, "Comments: shown\n--\n");
    EXPECT_STREQ(info.vendor, "Zelvorn");
    ASSERT_EQ(standin::commands().size(), 4u);

    // So does the command handler the menu item registered.
    const std::uint32_t handlerArgs[] = {any, any};
    for (int offset = 0; offset < 4; ++offset) {
        caller.call("the menu command", reinterpret_cast<const void*>(standin::commands()[0].handler), handlerArgs, 2);
    }
    EXPECT_EQ(caller.fault(), "");
    DestroyMenu(menu);
}

DWORD WINAPI doNothing(LPVOID) { return 0; }

TEST(PluginLifecycle, ThreadNotificationsChangeNothing) {
    InstalledPlugin installed;
    installed.plugin->onStart();
    const HANDLE thread = CreateThread(nullptr, 0, doNothing, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);

    EXPECT_EQ(installed.plugin->onOpenMail(standin::addMail("X-After: thread\r\n")), 0);
    ASSERT_EQ(standin::viewTexts().size(), 1u);
    EXPECT_EQ(standin::viewTexts()[0].text, "X-After: thread\n--\n");
}

// Sample mails, each opened under the default settings or under a settings
// file of mails/, against the view saved beside it as MAIL.SETTINGS.view.

struct Sample {
    const char* mail;
    const char* settings;  // "default" or the name of an .ini file in mails/
};

class SampleMails : public ::testing::TestWithParam<Sample> {};

TEST_P(SampleMails, ShowTheSavedView) {
    const Sample sample = GetParam();
    const std::string settings = sample.settings;
    InstalledPlugin installed(settings == "default" ? "" : mailsFile(settings + ".ini"));
    installed.plugin->onStart();

    std::string mail;
    std::string expected;
    ASSERT_TRUE(readFileBytes(mailsFile(std::string(sample.mail) + ".eml"), mail));
    ASSERT_TRUE(readFileBytes(mailsFile(std::string(sample.mail) + "." + settings + ".view"), expected));

    EXPECT_EQ(installed.plugin->onOpenMail(standin::addMail(headerBlockOf(mail))), 0);
    ASSERT_EQ(standin::viewTexts().size(), 1u);
    EXPECT_EQ(standin::viewTexts()[0].mode, -2);
    EXPECT_EQ(standin::viewTexts()[0].text, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Mails, SampleMails,
    ::testing::Values(Sample{"received_chain", "default"}, Sample{"received_chain", "custom"},
                      Sample{"x_headers_with_uidl", "default"}, Sample{"x_headers_with_uidl", "custom"},
                      Sample{"folded_lines", "default"}, Sample{"folded_lines", "custom"},
                      Sample{"japanese_subject_encoded", "default"},
                      Sample{"japanese_subject_encoded", "custom"},
                      Sample{"japanese_subject_sjis", "default"}, Sample{"japanese_subject_sjis", "custom"},
                      Sample{"folded_encoded", "readable"}, Sample{"hop_chain", "hops"},
                      Sample{"authentication", "auth"}),
    [](const ::testing::TestParamInfo<Sample>& param) {
        return std::string(param.param.mail) + "_" + param.param.settings;
    });

}  // namespace
