// TestKIV through CPrime: the order of its checks, its status text and its results file, in
// this process and from another one.
#include <gtest/gtest.h>
#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/base/utf8_text.h"
#include "platform/win32.h"
#include "server/host/prime.h"
#include "tests/server/goldbach/text_pattern.h"
#include "tests/support/error_info_probe.h"
#include "tests/support/isolated_env.h"
#include "tests/support/kiv_process.h"
#include "tests/support/prime_object.h"
#include "tests/support/scoped_env.h"

namespace {

namespace fs = std::filesystem;

constexpr char kThreadsMessage[] =
    "The number of threads to use per core must be greater than one and less than "
    "2,147,483,648.";
constexpr char kDigitsMessage[] =
    "The input digit size must be greater than zero and less than 2,147,483,648.";

using kivtest::NewPrime;

std::u16string Description() {
    auto seen = kivtest::TakeErrorInfo();
    return seen ? seen->description : u"(no error information)";
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TEST(TestKIV, NullPbRetComesFirst) {
    CComPtr<IPrime> prime = NewPrime();
    BSTR status = nullptr;
    EXPECT_EQ(prime->TestKIV(0, 0, &status, nullptr, 0), E_POINTER);
    EXPECT_EQ(prime->TestKIV(0, 0, nullptr, nullptr, 130), E_POINTER);
    EXPECT_EQ(kivtest::TakeErrorInfo(), std::nullopt);
    EXPECT_EQ(status, nullptr);
}

TEST(TestKIV, RefusesThreadsPerCoreBeforeTouchingPbRet) {
    CComPtr<IPrime> prime = NewPrime();
    for (ULONG perCore : {0u, 1u, 2147483648u, 4294967295u}) {
        for (bool withStatus : {true, false}) {
            BSTR status = nullptr;
            LONG ret = 7;
            // Digits 0 and a null pbstrStatus would be refused too, but later.
            EXPECT_EQ(prime->TestKIV(0, 0, withStatus ? &status : nullptr, &ret, perCore),
                      DISP_E_EXCEPTION)
                << perCore;
            EXPECT_EQ(ret, 7) << "pbRet unwritten";
            EXPECT_EQ(Description(), kivtest::U16(kThreadsMessage)) << perCore;
            EXPECT_EQ(status, nullptr);
        }
    }
}

TEST(TestKIV, NullStatusAfterPbRetIsReset) {
    CComPtr<IPrime> prime = NewPrime();
    for (ULONGLONG digits : {ULONGLONG{0}, ULONGLONG{12}}) {
        LONG ret = 7;
        EXPECT_EQ(prime->TestKIV(digits, 1, nullptr, &ret, 2), E_POINTER);
        EXPECT_EQ(ret, 0);
        EXPECT_EQ(kivtest::TakeErrorInfo(), std::nullopt);
    }
}

TEST(TestKIV, RefusesDigitCountsInsideTheFrame) {
    CComPtr<IPrime> prime = NewPrime();
    for (ULONGLONG digits : {ULONGLONG{0}, ULONGLONG{2147483648}, ~ULONGLONG{0}}) {
        for (ULONG perCore : {2u, 130u, 2147483647u}) {  // the ends of the accepted range
            BSTR status = nullptr;
            LONG ret = 7;
            EXPECT_EQ(prime->TestKIV(digits, 0, &status, &ret, perCore), DISP_E_EXCEPTION);
            EXPECT_EQ(ret, 0);
            EXPECT_EQ(Description(), kivtest::U16(kDigitsMessage)) << digits;
            EXPECT_EQ(status, nullptr);
        }
    }
}

TEST(TestKIV, StatusWithoutAFileIsDigitsAndTheStatusWord) {
    CComPtr<IPrime> prime = NewPrime();
    for (ULONGLONG digits : {1, 2, 12, 40}) {
        _bstr_t status;
        LONG ret = 7;
        ASSERT_EQ(prime->TestKIV(digits, 0, status.GetAddress(), &ret, 2), S_OK);
        EXPECT_EQ(ret, 1);
        EXPECT_EQ(status.view(),
                  kivtest::U16(("Digits: " + std::to_string(digits) + "\nSuccess.").c_str()));
    }
    EXPECT_FALSE(fs::exists(std::string(getenv("HOME")) + "/KIV")) << "no file asked for";
}

TEST(TestKIV, ResultsPathOutsideAsciiArrivesAsUtf16) {
    CComPtr<IPrime> prime = NewPrime();
    const std::string profile = kivtest::isolated_root() + "/profil\xC3\xA9";  // "profilé"
    fs::create_directories(profile);
    kivtest::ScopedEnv home("HOME", profile.c_str());
    _bstr_t status;
    LONG ret = 0;
    ASSERT_EQ(prime->TestKIV(12, -1, status.GetAddress(), &ret, 2), S_OK);  // any non-zero
    const std::u16string expected =
        u"Digits: 12\nSuccess.\nResults have been written to the file, '" +
        comrt::utf8_to_utf16(profile) + u"/KIV/";
    EXPECT_EQ(status.view().substr(0, expected.size()), expected);
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(profile + "/KIV"))
        files += entry.path().extension() == ".txt";
    EXPECT_EQ(files, 1u);
}

// From another process: comrt call activates the registered server, which writes under the
// HOME it inherited.
class TestKIVAcrossProcesses : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { kivtest::AdoptOrphans(); }
    void SetUp() override { ASSERT_EQ(kivtest::RunKiv({"-RegServerPerUser"}), 0); }
    void TearDown() override {
        if (pid_t server = kivtest::ServerPid())
            kivtest::WaitExit(server, std::chrono::seconds(5));
    }

    static std::string Call(const std::string& args) {
        std::string output;
        FILE* pipe = popen(
            (std::string(COMRT_EXECUTABLE) + " call kiv.Prime TestKIV " + args + " 2>&1").c_str(),
            "r");
        if (pipe == nullptr)
            return output;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
            output += buffer;
        pclose(pipe);
        return output;
    }
};

TEST_F(TestKIVAcrossProcesses, WritesTheResultsFileUnderTheHomeOfTheServer) {
    const std::string home = getenv("HOME");
    const std::string output = Call("30 1");
    const std::string before =
        "pbstrStatus=Digits: 30\nSuccess.\nResults have been written to the file, '" + home +
        "/KIV/";
    const std::string after = "' successfully.\npbRet=1\nhr=0x00000000\n";
    ASSERT_TRUE(kivtest::MatchesPattern(
        before + "30_130_%_%d-%h-%m-%s-%ms_1_########_######.txt" + after, output))
        << output;
    const std::string content = Slurp(home + "/KIV/" + kivtest::Between(output, before, after));
    const std::string format =
        "Digits:\r\n30\r\n\r\nQ:\r\n*\r\n\r\nP1:\r\n%\r\n\r\nP2:\r\n%\r\n\r\n"
        "Status:\r\nQ length:  30\r\nP1 length: %\r\nP2 length: %\r\nSuccess.\r\n\r\n"
        "Exec Time:\r\n%d %h %m %s %ms\r\n\r\n"
        "Number of Threads used per Core:\r\n130\r\n\r\n";
    ASSERT_TRUE(kivtest::MatchesPattern(format, content) ||
                kivtest::MatchesPattern(format + "System Info:\r\n*\r\n\r\n\r\n", content))
        << content;
    // The pair adds up to Q.
    const std::string q = kivtest::Between(content, "Q:\r\n", "\r\n\r\nP1:");
    const std::string p1 = kivtest::Between(content, "P1:\r\n", "\r\n\r\nP2:");
    const std::string p2 = kivtest::Between(content, "P2:\r\n", "\r\n\r\nStatus:");
    ASSERT_EQ(q.size(), 30u) << content;
    EXPECT_NE(q[0], '0');
    EXPECT_EQ(NTL::conv<NTL::ZZ>(p1.c_str()) + NTL::conv<NTL::ZZ>(p2.c_str()),
              NTL::conv<NTL::ZZ>(q.c_str()));
    EXPECT_EQ(content.find("P1 length: " + std::to_string(p1.size()) + "\r\n"),
              content.find("P1 length: "));
}

TEST_F(TestKIVAcrossProcesses, RefusalsArriveWithTheirMessages) {
    EXPECT_NE(Call("0 0").find(std::string("description=") + kDigitsMessage), std::string::npos);
    EXPECT_NE(Call("12 0 1").find(std::string("description=") + kThreadsMessage),
              std::string::npos);
    EXPECT_EQ(Call("12 0 2"), "pbstrStatus=Digits: 12\nSuccess.\npbRet=1\nhr=0x00000000\n");
}

}  // namespace
