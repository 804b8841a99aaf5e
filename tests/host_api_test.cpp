// Binding the host's functions. This program is the host: it exports the
// host functions, all 54 of them or, built with QM_HOST_WITHOUT_CONNECT, all
// but the last.
#include "host/host_api.h"

#include <gtest/gtest.h>

#include <string>

#include "host_exports.h"

namespace {

void QM_STDCALL ignoreCommand(std::uint32_t, std::uint32_t) {}

#ifndef QM_HOST_WITHOUT_CONNECT

TEST(HostApiBind, FindsAllFunctionsInTheMainProgramInOrder) {
    HostApi api;
    ASSERT_TRUE(api.bind());
    EXPECT_EQ(api.hostModule(), GetModuleHandleA(nullptr));
    for (std::size_t i = 0; i < HostApi::kFunctionCount; ++i) {
        EXPECT_EQ(api.entry(i), GetProcAddress(api.hostModule(), HostApi::functionName(i)))
            << HostApi::functionName(i);
    }
    EXPECT_STREQ(HostApi::functionName(0), "BKA_GetVersion");
    EXPECT_STREQ(HostApi::functionName(53), "BKA_Connect");
}

TEST(HostApiBind, ASecondBindKeepsTheTable) {
    HostApi api;
    ASSERT_TRUE(api.bind());
    const FARPROC first = api.entry(0);
    EXPECT_TRUE(api.bind());
    EXPECT_EQ(api.entry(0), first);
    EXPECT_EQ(api.hostModule(), GetModuleHandleA(nullptr));
}

TEST(HostApiBind, TheHostOperationsGoThroughTheBoundFunctions) {
    standin::reset();
    HostApi api;
    ASSERT_TRUE(api.bind());
    HostInterface& host = api;

    const MailId mail = standin::addMail("Comments: x\r\n");
    const char* header = host.getHeader(mail);
    ASSERT_NE(header, nullptr);
    EXPECT_STREQ(header, "Comments: x\r\n");
    EXPECT_EQ(host.getHeader(mail + 1), nullptr);

    host.setText(-2, "shown\n");
    ASSERT_EQ(standin::viewTexts().size(), 1u);
    EXPECT_EQ(standin::viewTexts()[0].mode, -2);
    EXPECT_EQ(standin::viewTexts()[0].text, "shown\n");

    const std::int32_t id = host.registerCommand("label", 0, ignoreCommand);
    ASSERT_EQ(standin::commands().size(), 1u);
    EXPECT_EQ(standin::commands()[0].id, id);
    EXPECT_EQ(standin::commands()[0].label, "label");
    EXPECT_EQ(standin::commands()[0].handler, ignoreCommand);

    char* source = host.getSource(mail);
    ASSERT_NE(source, nullptr);
    EXPECT_STREQ(source, "Comments: x\r\n\r\n");
    EXPECT_EQ(standin::sourcesOut(), 1);
    host.free(source);
    EXPECT_EQ(standin::sourcesOut(), 0);
    EXPECT_EQ(host.getSource(mail + 1), nullptr);
}

#else

TEST(HostApiBind, AHostLackingOnlyTheLastFunctionIsRefused) {
    HostApi api;
    EXPECT_FALSE(api.bind());
    EXPECT_EQ(api.hostModule(), nullptr);
    for (std::size_t i = 0; i + 1 < HostApi::kFunctionCount; ++i) {
        EXPECT_NE(api.entry(i), nullptr) << HostApi::functionName(i);
    }
    EXPECT_EQ(api.entry(HostApi::kFunctionCount - 1), nullptr);

    // A later bind starts again and fails again.
    EXPECT_FALSE(api.bind());
    EXPECT_EQ(api.hostModule(), nullptr);
}

TEST(HostApiBind, AnUnboundTableCallsNothing) {
    standin::reset();
    HostApi api;
    ASSERT_FALSE(api.bind());
    HostInterface& host = api;
    EXPECT_EQ(host.getHeader(standin::addMail("A: 1")), nullptr);
    EXPECT_EQ(host.setText(-2, "x"), 0);
    EXPECT_EQ(host.registerCommand("label", 0, ignoreCommand), 0);
    EXPECT_TRUE(standin::viewTexts().empty());
    EXPECT_TRUE(standin::commands().empty());
    EXPECT_TRUE(standin::headerRequests().empty());
}

#endif

}  // namespace
