#include "server/host/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(CommandLine, OnlyTheArgumentsAreScanned) {
    struct Case {
        std::vector<std::string> argv;
        std::string line;
        ServerAction action;
    };
    const Case cases[] = {
        // The program's folder must not register a server started by activation.
        {{"/tmp/RegServerPerUser x/kiv", "-Embedding"}, "-Embedding", ServerAction::Serve},
        {{"/tmp/-RegServer/kiv"}, "", ServerAction::Serve},
        {{"/my dir/kiv", "-RegServer"}, "-RegServer", ServerAction::RegServer},
        {{"kiv", "a b", "/UnregServer"}, "\"a b\" /UnregServer", ServerAction::UnregServer},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.argv;
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        const std::string line = JoinCommandLine(static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(line, c.line);
        EXPECT_EQ(ScanCommandLine(line), c.action) << c.argv[0];
    }
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
