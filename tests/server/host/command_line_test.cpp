#include "server/host/command_line.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, FirstWholeWordSwitchDecides) {
    struct Case {
        const char* line;
        ServerAction action;
    };
    const Case cases[] = {
        {"/usr/bin/kiv /regserver", ServerAction::RegServer},
        {"/usr/bin/kiv -RegServer", ServerAction::RegServer},
        {"/usr/bin/kiv -REGSERVER", ServerAction::RegServer},
        {"/usr/bin/kiv -RegServerX", ServerAction::Serve},
        {"/usr/bin/kiv -RegServer\tmore", ServerAction::RegServer},
        {"/usr/bin/kiv -UnregServer -RegServer", ServerAction::UnregServer},
        {"/usr/bin/kiv -Embedding -regserverperuser", ServerAction::RegServerPerUser},
        {"/usr/bin/kiv /UnRegServerPerUser", ServerAction::UnregServerPerUser},
        {"/usr/bin/kiv -Embedding", ServerAction::Serve},
        {"/usr/bin/kiv", ServerAction::Serve},
        {"/opt/RegServer/kiv", ServerAction::Serve},  // the path's own slashes end no keyword
        {"/opt/x/kiv --RegServer", ServerAction::RegServer},  // "-" then "-RegServer"
        {"/usr/bin/kiv RegServer", ServerAction::Serve},
        {"\"/my dir/kiv\" -RegServer", ServerAction::RegServer},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScanCommandLine(c.line), c.action) << c.line;
}

TEST(CommandLine, JoinQuotesArgumentsWithBlanks) {
    char a0[] = "/my dir/kiv", a1[] = "-RegServer";
    char* argv[] = {a0, a1};
    EXPECT_EQ(JoinCommandLine(2, argv), "\"/my dir/kiv\" -RegServer");
}

TEST(CommandLine, ExitStatusNeverMakesAFailureLookLikeSuccess) {
    EXPECT_EQ(ExitStatusOf(0), 0);
    EXPECT_EQ(ExitStatusOf(1), 1);
    EXPECT_EQ(ExitStatusOf(static_cast<long>(static_cast<int>(0x8007007A))), 0x7A);
    EXPECT_EQ(ExitStatusOf(static_cast<long>(static_cast<int>(0x80040154))), 0x54);
    EXPECT_EQ(ExitStatusOf(static_cast<long>(static_cast<int>(0x80070100))), 255);
    EXPECT_EQ(ExitStatusOf(-1), 255);
}

}  // namespace
