#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32.h"
#include "server/host/prime.h"
#include "server/sysinfo/system_info.h"
#include "tests/support/error_info_probe.h"
#include "tests/support/prime_object.h"

namespace {

using namespace std::chrono_literals;

using kivtest::NewPrime;

struct PairCall {
    HRESULT hr = E_FAIL;
    LONG ret = -1;
    std::u16string first, second;
    bool firstSet = false, secondSet = false;
};

PairCall GetPair(IPrime* prime, const char16_t* text, LONG trials = 0, ULONG perCore = 130) {
    PairCall call;
    _bstr_t number(text);
    _bstr_t first, second;
    call.hr = prime->GetGBPairUsingRM(number.GetBSTR(), trials, first.GetAddress(),
                                      second.GetAddress(), &call.ret, perCore);
    call.firstSet = first.GetBSTR() != nullptr;
    call.secondSet = second.GetBSTR() != nullptr;
    call.first = std::u16string(first.view());
    call.second = std::u16string(second.view());
    return call;
}

std::u16string Description() {
    auto seen = kivtest::TakeErrorInfo();
    return seen ? seen->description : u"(no error information)";
}

TEST(GetGBPairUsingRM, GivesTheSmallestPair) {
    CComPtr<IPrime> prime = NewPrime();
    struct Case {
        const char16_t* n;
        const char16_t* first;
        const char16_t* second;
    };
    const Case cases[] = {{u"4", u"2", u"2"},       {u"0004", u"2", u"2"},
                          {u"6", u"3", u"3"},       {u"8", u"3", u"5"},
                          {u"10", u"3", u"7"},      {u"12", u"5", u"7"},
                          {u"100", u"3", u"97"},    {u"0100", u"3", u"97"},
                          {u"2050", u"11", u"2039"}};  // not 3 + 2047 = 3 + 23 * 89
    for (const Case& c : cases) {
        for (ULONG perCore : {2u, 3u, 130u, 2147483647u}) {
            PairCall call = GetPair(prime, c.n, 0, perCore);
            EXPECT_EQ(call.hr, S_OK) << comrt::utf16_to_ansi(c.n);
            EXPECT_EQ(call.ret, 1);
            EXPECT_EQ(call.first, c.first) << comrt::utf16_to_ansi(c.n);
            EXPECT_EQ(call.second, c.second) << comrt::utf16_to_ansi(c.n);
        }
    }
}

TEST(GetGBPairUsingRM, RefusesInTheFrameOrder) {
    CComPtr<IPrime> prime = NewPrime();
    _bstr_t number(u"100");
    BSTR first = nullptr, second = nullptr;
    LONG ret = 7;
    SetErrorInfo(0, nullptr);  // what earlier tests on this thread left

    EXPECT_EQ(prime->GetGBPairUsingRM(number.GetBSTR(), -1, &first, &second, nullptr, 1),
              E_POINTER);
    EXPECT_EQ(prime->GetGBPairUsingRM(nullptr, -1, &first, &second, &ret, 1), E_POINTER);
    EXPECT_EQ(ret, 0) << "reset as soon as pbRet is known";
    EXPECT_EQ(kivtest::TakeErrorInfo(), std::nullopt);
    ret = 7;
    EXPECT_EQ(prime->GetGBPairUsingRM(number.GetBSTR(), -1, nullptr, &second, &ret, 1), E_POINTER);
    EXPECT_EQ(ret, 0);
    EXPECT_EQ(prime->GetGBPairUsingRM(number.GetBSTR(), -1, &first, nullptr, &ret, 1), E_POINTER);
    EXPECT_EQ(kivtest::TakeErrorInfo(), std::nullopt);

    struct Refusal {
        LONG trials;
        ULONG perCore;
        const char* message;
    };
    const char* trialsMessage = "The number of trials must be greater than or equal to zero.";
    const char* threadsMessage =
        "The number of threads to use per core must be greater than one and less than "
        "2,147,483,648.";
    const Refusal refusals[] = {
        {-1, 1, trialsMessage}, {-1, 130, trialsMessage},         {0, 1, threadsMessage},
        {0, 0, threadsMessage}, {5, 2147483648u, threadsMessage}, {0, 4294967295u, threadsMessage},
    };
    for (const Refusal& r : refusals) {
        ret = 7;
        EXPECT_EQ(
            prime->GetGBPairUsingRM(number.GetBSTR(), r.trials, &first, &second, &ret, r.perCore),
            DISP_E_EXCEPTION);
        EXPECT_EQ(ret, 0);
        EXPECT_EQ(Description(), kivtest::U16(r.message)) << r.trials << " " << r.perCore;
    }
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(second, nullptr);
}

TEST(GetGBPairUsingRM, RefusesTextsThatAreNotEvenNumbersAboveTwo) {
    CComPtr<IPrime> prime = NewPrime();
    const char* evenMessage =
        "The input number must be an even natural number greater than two with precision P "
        "such that 1 <= P <= 1073739772.";
    for (const char16_t* text :
         {u"0", u"2", u"02", u"7", u"13", u"1a4", u"x4", u" 8", u"8 ", u"-8", u"+8", u"4.0"}) {
        PairCall call = GetPair(prime, text);
        EXPECT_EQ(call.hr, DISP_E_EXCEPTION) << comrt::utf16_to_ansi(text);
        EXPECT_EQ(call.ret, 0);
        EXPECT_FALSE(call.firstSet || call.secondSet);
        EXPECT_EQ(Description(), kivtest::U16(evenMessage)) << comrt::utf16_to_ansi(text);
    }
    PairCall empty = GetPair(prime, u"");
    EXPECT_EQ(empty.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(Description(), u"bad conversion from char*");
}

TEST(GetGBPairUsingRM, TracesASearchInOrder) {
    CComPtr<IPrime> prime = NewPrime();
    std::u16string unused;
    ULONG cores = 0;
    BuildSystemInfo(unused, cores, true);
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    ULONGLONG workers = cores >= 1 ? cores * 130ull : (info.dwNumberOfProcessors / 2) * 130ull;
    if (workers == 0)
        workers = 130;

    // The listener's queue is short, so lines are taken while the call runs.
    comrt::DebugOutputListener listener;
    std::vector<std::string> lines;
    std::atomic<bool> callDone{false};
    std::thread reader([&] {
        for (;;) {
            auto line = listener.receive(100ms);
            if (line)
                lines.push_back(*line);
            else if (callDone.load())
                return;
        }
    });
    PairCall call = GetPair(prime, u"100");
    callDone.store(true);
    reader.join();
    ASSERT_EQ(call.hr, S_OK);
    const std::vector<std::string> expected = {
        "kiv: Copied bstrEvenNum...\n",
        "kiv: begin NTL::to_ZZ()...\n",
        "kiv: end NTL::to_ZZ()...\n",
        "kiv: Calculating...\n",
        "kiv: Num threads to use per core is: 130\n",
        "kiv: Num workers is: " + std::to_string(workers) + "\n",
        "kiv: Found P1 and P2.\n",
        "kiv: Waiting for all running threads to exit.\n",
        "kiv: Extracting P1...\n",
        "kiv: SysAllocString P1...\n",
        "kiv: Extracting P2...\n",
        "kiv: SysAllocString P2...\n",
        "kiv: Success.\n",
        "kiv: Cleaning up...\n",
    };
    EXPECT_EQ(lines, expected);
}

TEST(GetGBPairUsingRM, FourIsAnsweredWithoutASearch) {
    CComPtr<IPrime> prime = NewPrime();
    comrt::DebugOutputListener listener;
    PairCall call = GetPair(prime, u"0004");
    ASSERT_EQ(call.hr, S_OK);
    EXPECT_EQ(call.first, u"2");
    for (const char* line : {"kiv: Copied bstrEvenNum...\n", "kiv: begin NTL::to_ZZ()...\n",
                             "kiv: end NTL::to_ZZ()...\n"})
        EXPECT_EQ(listener.receive(2s), line);
    EXPECT_EQ(listener.receive(50ms), std::nullopt) << "no Calculating line";
}

TEST(GetSysInfo, ReturnsTheReportWithSFalse) {
    CComPtr<IPrime> prime = NewPrime();
    EXPECT_EQ(prime->GetSysInfo(nullptr), E_POINTER);
    _bstr_t report;
    EXPECT_EQ(prime->GetSysInfo(report.GetAddress()), S_FALSE);
    std::string text = report.ansi();
    EXPECT_NE(text.find("Total physical memory: "), std::string::npos) << text;
    EXPECT_NE(text.find("Available virtual memory: "), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(kivtest::TakeErrorInfo(), std::nullopt);
}

}  // namespace
