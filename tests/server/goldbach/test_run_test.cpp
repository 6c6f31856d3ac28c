#include "server/goldbach/test_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "server/goldbach/goldbach_search.h"
#include "server/goldbach/q_draw.h"
#include "server/goldbach/results_file.h"
#include "server/interface/messages.h"
#include "server/interface/service_error.h"
#include "server/sysinfo/system_info.h"
#include "tests/server/goldbach/text_pattern.h"
#include "tests/server/goldbach/trace_capture.h"
#include "tests/support/isolated_env.h"
#include "tests/support/scoped_env.h"

namespace {

namespace fs = std::filesystem;

// A seed whose one-digit draw is `digit`.
std::uint32_t SeedForOneDigit(char digit) {
    for (std::uint32_t seed = 0;; ++seed) {
        std::mt19937 engine(seed);
        if (DrawQText(1, engine)[0] == digit)
            return seed;
    }
}

TestRunOutcome RunWithSeed(ULONGLONG numDigits, std::uint32_t seed, bool writeFile = false,
                           std::int32_t* found = nullptr) {
    TestRunRequest request;
    request.numDigits = numDigits;
    request.numThreadsPerCore = 2;
    request.writeResultsFile = writeFile;
    request.seed = seed;
    request.poolThreads = 2;
    std::int32_t ignored = 0;
    return RunGoldbachTest(request, found != nullptr ? *found : ignored);
}

std::string WorkersLine(ULONG perCore) {
    std::basic_string<OLECHAR> report;
    ULONG cores = 0;
    BuildSystemInfo(report, cores, false);
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    return "kiv: Num workers is: " +
           std::to_string(GoldbachWorkerCount(cores, info.dwNumberOfProcessors, perCore)) + "\n";
}

constexpr char kExecTime[] = "%d %h %m %s %ms";

TEST(RunGoldbachTest, RefusesDigitCountsOutsideOneToIntMax) {
    for (ULONGLONG numDigits :
         {ULONGLONG{0}, ULONGLONG{2147483648}, std::numeric_limits<ULONGLONG>::max()}) {
        std::int32_t found = 0;
        try {
            RunWithSeed(numDigits, 1, false, &found);
            ADD_FAILURE() << numDigits << " accepted";
        } catch (const ServiceError& error) {
            EXPECT_STREQ(error.Message(), kivmsg::DigitSize) << numDigits;
        }
        EXPECT_EQ(found, 0);
    }
}

TEST(RunGoldbachTest, FourIsTwoPlusTwoWithoutASearch) {
    std::int32_t found = 0;
    kivtest::TraceCapture trace;
    TestRunOutcome outcome = RunWithSeed(1, SeedForOneDigit('4'), false, &found);
    EXPECT_EQ(trace.Finish(), (std::vector<std::string>{"kiv: begin NTL::to_ZZ()...\n",
                                                        "kiv: end NTL::to_ZZ()...\n"}));
    EXPECT_EQ(found, 1);
    EXPECT_EQ(outcome.statusText, "Digits: 1\nSuccess.");
    const TestRunRecord& record = outcome.record;
    EXPECT_EQ(record.qText, "4");
    EXPECT_EQ(record.p1, 2);
    EXPECT_EQ(record.p2, 2);
    EXPECT_EQ(record.found, 1);
    EXPECT_EQ(record.statusWord, "Success.");
    EXPECT_TRUE(kivtest::MatchesPattern(kExecTime, record.execTime)) << record.execTime;
}

TEST(RunGoldbachTest, SixAndEightAreSearchedAndTraced) {
    struct Case {
        char digit;
        long p1, p2;
    };
    for (Case c : {Case{'6', 3, 3}, Case{'8', 3, 5}}) {
        std::int32_t found = 0;
        kivtest::TraceCapture trace;
        TestRunOutcome outcome = RunWithSeed(1, SeedForOneDigit(c.digit), false, &found);
        const std::vector<std::string> expected = {
            "kiv: begin NTL::to_ZZ()...\n",
            "kiv: end NTL::to_ZZ()...\n",
            "kiv: Calculating...\n",
            "kiv: Num threads to use per core is: 2\n",
            WorkersLine(2),
            "kiv: Found P1 and P2.\n",
            "kiv: Waiting for all running threads to exit.\n",
            "kiv: Success.\n",
        };
        EXPECT_EQ(trace.Finish(), expected);
        EXPECT_EQ(found, 1);
        EXPECT_EQ(outcome.record.qText, std::string(1, c.digit));
        EXPECT_EQ(outcome.record.p1, c.p1);
        EXPECT_EQ(outcome.record.p2, c.p2);
        EXPECT_EQ(outcome.statusText, "Digits: 1\nSuccess.");
    }
}

TEST(RunGoldbachTest, DrawsFromItsSeedAndFindsAConfirmedPair) {
    for (std::uint32_t seed : {7u, 2023u}) {
        for (ULONGLONG numDigits : {9, 10, 11, 30}) {
            std::int32_t found = 0;
            TestRunOutcome outcome = RunWithSeed(numDigits, seed, false, &found);
            const TestRunRecord& record = outcome.record;
            std::mt19937 engine(seed);
            EXPECT_EQ(record.qText, DrawQText(numDigits, engine));
            EXPECT_EQ(record.qLength, numDigits);
            EXPECT_EQ(record.numDigits, numDigits);
            EXPECT_EQ(record.numThreadsPerCore, 2u);
            ASSERT_EQ(found, 1);
            EXPECT_EQ(record.p1 + record.p2, NTL::conv<NTL::ZZ>(record.qText.c_str()));
            EXPECT_LE(record.p1, record.p2);
            EXPECT_TRUE(IsConfirmedPrime(record.p1) && IsConfirmedPrime(record.p2));
            EXPECT_EQ(outcome.statusText, "Digits: " + std::to_string(numDigits) + "\nSuccess.");
        }
    }
}

TEST(RunGoldbachTest, WritesItsRecordWhenAsked) {
#ifdef _WIN32
    GTEST_SKIP() << "the profile folder is the Wine prefix's own, which HOME does not move";
#endif
    const std::string profile = kivtest::isolated_root() + "/profile-run";
    fs::remove_all(profile);
    fs::create_directories(profile);
    kivtest::ScopedEnv home("HOME", profile.c_str());

    TestRunOutcome outcome = RunWithSeed(30, 99, true);
    const std::string prefix =
        "Digits: 30\nSuccess.\nResults have been written to the file, '" + profile + "/KIV/";
    ASSERT_EQ(outcome.statusText.compare(0, prefix.size(), prefix), 0) << outcome.statusText;
    const std::string suffix = "' successfully.";
    ASSERT_TRUE(outcome.statusText.ends_with(suffix)) << outcome.statusText;
    const std::string path = outcome.statusText.substr(
        prefix.size() - (profile.size() + 5),
        outcome.statusText.size() - suffix.size() - (prefix.size() - profile.size() - 5));

    std::string execTime = outcome.record.execTime;
    std::replace(execTime.begin(), execTime.end(), ' ', '-');
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    const std::string namePrefix =
        "30_2_" + std::to_string(info.dwNumberOfProcessors) + "_" + execTime + "_1_";
    EXPECT_EQ(fs::path(path).filename().string().rfind(namePrefix, 0), 0u) << path;

    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(bytes.str(), ResultsFileContent(outcome.record));
}

}  // namespace
