// The comrt tool calling the real server late-bound, as a person or a script would.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/kiv_process.h"
#include "tests/support/registered_server.h"

namespace {

using Output = kivtest::Captured;

Output RunComrt(const std::vector<std::string>& args, const std::string& input = "/dev/null") {
    return kivtest::RunCaptured(COMRT_EXECUTABLE, args, input);
}

using ComrtCall = kivtest::RegisteredServerTest;

TEST_F(ComrtCall, PrintsOutParametersInDeclarationOrder) {
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {{"call", "kiv.Prime", "GetGBPairUsingRM", "100", "0"},
         "pbstrFirst=3\npbstrSecond=97\npbRet=1\nhr=0x00000000\n"},
        {{"call", "kiv.Prime", "GetGBPairUsingRM", "2050", "0", "2"},
         "pbstrFirst=11\npbstrSecond=2039\npbRet=1\nhr=0x00000000\n"},
        {{"call", "kiv.Prime", "IsPrime", "56052361", "1", "0"}, "pbRet=0\nhr=0x00000000\n"},
        {{"call", "kiv.Prime", "IsPrime", "2305843009213693951", "1", "0"},
         "pbRet=1\nhr=0x00000000\n"},
        {{"call", "kiv.Prime.1", "IsPrime", "1000000007", "3", "5"}, "pbRet=1\nhr=0x00000000\n"},
        // IPrime2: results as return values, defaults for what is left out, an object's text.
        {{"call", "kiv.Prime", "IsPrimeNumber", "1000000007"}, "result=true\nhr=0x00000000\n"},
        {{"call", "kiv.Prime", "IsPrimeNumber", "56052361", "2"}, "result=false\nhr=0x00000000\n"},
        {{"call", "kiv.Prime", "FindGoldbachPair", "2050"}, "result=11 + 2039\nhr=0x00000000\n"},
    };
    for (const Case& c : cases) {
        Output o = RunComrt(c.args);
        EXPECT_EQ(o.out, c.out) << o.err;
        EXPECT_EQ(o.status, 0);
    }
}

TEST_F(ComrtCall, ReportsTheServiceFailureOnStandardError) {
    Output o = RunComrt({"call", "kiv.Prime", "IsInt64Prime", "5", "1", "0"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err,
              "hr=0x80020009\nException occurred.\nsource=kiv.Prime.1\n"
              "description=Not implemented yet.\n");
}

TEST_F(ComrtCall, SystemReportAndUnknownClass) {
    Output report = RunComrt({"call", "kiv.Prime", "GetSysInfo"});
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(report.out.rfind("pbstrSysInfo=", 0), 0u);
    EXPECT_NE(report.out.find("Total physical memory: "), std::string::npos);

    Output unknown = RunComrt({"call", "no.Such", "IsPrime", "7", "1", "0"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err.rfind("hr=0x800401F3\nInvalid class string\n", 0), 0u) << unknown.err;
}

TEST_F(ComrtCall, ArgumentsFromFilesAndStandardInput) {
    const std::string dir = std::string(std::getenv("HOME")) + "/";
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir + name, std::ios::binary) << text;
        return dir + name;
    };
    // 10^200000: longer than one command-line argument may be, and even.
    const std::string big = write("big.txt", "1" + std::string(200000, '0') + "\n");
    const std::string hundred = write("hundred.txt", "100\n");
    const std::string crlf = write("crlf.txt", "1000000007\r\n");
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string out, err_start;
    };
    const Case cases[] = {
        {{"IsPrime", "@" + big, "3", "0"}, "/dev/null", 0, "pbRet=0\nhr=0x00000000\n", ""},
        {{"GetGBPairUsingRM", "@" + hundred, "0"},
         "/dev/null",
         0,
         "pbstrFirst=3\npbstrSecond=97\npbRet=1\nhr=0x00000000\n",
         ""},
        {{"IsPrime", "@-", "3", "0"}, crlf, 0, "pbRet=1\nhr=0x00000000\n", ""},
        {{"IsPrime", "@@7", "3", "0"}, "/dev/null", 1, "", "hr=0x80020009\n"},  // not digits
        {{"IsPrime", "@" + dir + "missing", "3", "0"},
         "/dev/null",
         2,
         "",
         "comrt: cannot read " + dir + "missing: No such file or directory\n"},
        {{"GetGBPairUsingRM", "@-", "@-"}, hundred, 2, "", "comrt: standard input can be read"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"call", "kiv.Prime"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Output o = RunComrt(args, c.input);
        SCOPED_TRACE(c.args[1].substr(0, 40));
        EXPECT_EQ(o.status, c.status) << o.err;
        EXPECT_EQ(o.out, c.out);
        EXPECT_EQ(o.err.rfind(c.err_start, 0), 0u) << o.err;
    }
}

// The number of threads of a process, 0 when it is gone.
int ThreadCount(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Threads:", 0) == 0)
            return std::stoi(line.substr(8));
    return 0;
}

TEST_F(ComrtCall, AServerKilledMidCallIsReportedAsDisconnected) {
    // A test run far too long to finish; its worker threads show that the call is running.
    pid_t comrt = ::fork();
    if (comrt == 0) {
        const std::string err = std::string(std::getenv("HOME")) + "/killed.txt";
        if (!std::freopen(err.c_str(), "w", stderr) || !std::freopen("/dev/null", "w", stdout))
            ::_exit(126);
        ::execl(COMRT_EXECUTABLE, COMRT_EXECUTABLE, "call", "kiv.Prime", "TestKIV", "3000", "0",
                "2", nullptr);
        ::_exit(127);
    }
    ASSERT_GT(comrt, 0);
    pid_t server = 0;
    const auto deadline = std::chrono::steady_clock::now() + 10 * kivtest::kOneSecond;
    while (std::chrono::steady_clock::now() < deadline &&
           ((server = kivtest::ServerPid()) == 0 || ThreadCount(server) < 2))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (server != 0) {
        ::kill(server, SIGKILL);
        kivtest::WaitExit(server, 10 * kivtest::kOneSecond);
    }
    auto exited = kivtest::WaitExit(comrt, 10 * kivtest::kOneSecond);
    if (!exited) {
        ::kill(comrt, SIGKILL);
        ::waitpid(comrt, nullptr, 0);
    }
    ASSERT_NE(server, 0) << "the server never started";
    EXPECT_EQ(exited, 1);
    std::ifstream err(std::string(std::getenv("HOME")) + "/killed.txt");
    std::stringstream text;
    text << err.rdbuf();
    EXPECT_EQ(text.str(),
              "hr=0x80010108\nThe object invoked has disconnected from its clients.\n"
              "source=\ndescription=\n");
}

}  // namespace
