// The comrt tool calling the real server late-bound, as a person or a script would.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/kiv_process.h"

namespace {

struct Output {
    std::string out, err;
    int status = -1;
};

Output RunComrt(const std::vector<std::string>& args) {
    std::string dir = std::string(std::getenv("HOME")) + "/";
    pid_t pid = ::fork();
    if (pid == 0) {
        if (!std::freopen((dir + "out.txt").c_str(), "w", stdout) ||
            !std::freopen((dir + "err.txt").c_str(), "w", stderr))
            ::_exit(126);
        std::vector<std::string> all{COMRT_EXECUTABLE};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    Output o;
    int status = 0;
    ::waitpid(pid, &status, 0);
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    auto slurp = [](const std::string& path) {
        std::ifstream f(path);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    };
    o.out = slurp(dir + "out.txt");
    o.err = slurp(dir + "err.txt");
    return o;
}

class ComrtCall : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { kivtest::AdoptOrphans(); }
    void SetUp() override { ASSERT_EQ(kivtest::RunKiv({"-RegServerPerUser"}), 0); }
};

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

}  // namespace
