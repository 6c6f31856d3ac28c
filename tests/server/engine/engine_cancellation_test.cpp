// The engine's long loops end at once with CallCancelled when the call's token has fired, and
// the cancellable Rabin-Miller test answers as NTL's with the same witnesses.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>

#include "server/engine/prime_engine.h"
#include "server/engine/prob_prime_cancellable.h"
#include "server/interface/call_cancelled.h"
#include "server/interface/narrow_text.h"
#include "server/interface/ntl_errors.h"
#include "tests/support/zz_values.h"

namespace {

using kivtest::ZZOf;

std::stop_token FiredToken() {
    std::stop_source source;
    source.request_stop();
    return source.get_token();
}

TEST(EngineCancellation, FiredTokenEndsEveryLongLoop) {
    UseNtlExceptions();
    auto engine = std::make_unique<PrimeEngine>();
    engine->BuildSieve();
    const std::stop_token fired = FiredToken();
    const BSTR mersenne127 = SysAllocString(OLESTR("170141183460469231731687303715884105727"));
    const BSTR ninetySeven = SysAllocString(OLESTR("97"));
#ifndef _WIN32  // NTL with Win64's 32-bit long refuses a number this large
    // 100 million digits, built before the clock starts: under ThreadSanitizer its allocation
    // alone takes most of a second.
    const NTL::ZZ hundredMillionDigits = NTL::power2_ZZ(332192810) + 1;
#endif
    struct Case {
        const char* name;
        std::function<void()> run;  // each would take minutes or more if not cancelled
    };
    const Case cases[] = {
        {"64-bit trial division of 2147483647^2",
         [&] { engine->IsPrimeTrialDivision64(4611686014132420609ull, fired); }},
        {"big trial division of 2^127 - 1",
         [&] {
             engine->IsPrimeTrialDivisionZZ(ZZOf("170141183460469231731687303715884105727"), fired);
         }},
        {"Rabin-Miller, 2^31 - 1 witnesses for a small value",
         [&] { ProbPrimeCancellable(NTL::ZZ(97), 2147483647, fired); }},
        {"Rabin-Miller, 2^31 - 1 witnesses for a big value",
         [&] {
             ProbPrimeCancellable(ZZOf("170141183460469231731687303715884105727"), 2147483647,
                                  fired);
         }},
#ifndef _WIN32  // NTL with Win64's 32-bit long refuses a number this large
        // An integer square root of it alone would take seconds.
        {"big trial division of a number of 100 million digits",
         [&] { engine->IsPrimeTrialDivisionZZ(hundredMillionDigits, fired); }},
#endif
        {"IsPrime by trial division",
         [&] { engine->IsPrimeBody(NarrowText(mersenne127), 2, 0, fired); }},
        {"IsPrime by Rabin-Miller",
         [&] { engine->IsPrimeBody(NarrowText(ninetySeven), 3, 2147483647, fired); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(c.run(), CallCancelled);
        // No step before the first look at the token may run long.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    }
    // A cancelled test records nothing.
    EXPECT_FALSE(engine->m_setPrimesZZ.contains(ZZOf("170141183460469231731687303715884105727")));
    EXPECT_FALSE(engine->m_setPrimesZZ.contains(NTL::ZZ(97)));
    EXPECT_FALSE(engine->m_setComposites64.contains(4611686014132420609ull));
    SysFreeString(mersenne127);
    SysFreeString(ninetySeven);
}

TEST(ProbPrimeCancellable, AnswersAsNtlAndDrawsTheSameWitnesses) {
    // Small values (323 = 17 x 19 fails the witness 2), the base-2 pseudoprime 2047, 2^60 - 93 just
    // below NTL's single-precision bound, 2^61 - 1 above it, 2^89 - 1 and three times 2^89 - 1.
    const char* values[] = {"0",
                            "1",
                            "2",
                            "3",
                            "13",
                            "15",
                            "97",
                            "323",
                            "561",
                            "2047",
                            "1000000007",
                            "1000000008",
                            "3215031751",
                            "1152921504606846883",
                            "2305843009213693951",
                            "618970019642690137449562111",
                            "1856910058928070412348686333"};
    const NTL::ZZ bound = ZZOf("1000000000000000000000");
    for (const char* text : values) {
        for (long trials : {-1L, 0L, 1L, 7L}) {
            SCOPED_TRACE(std::string(text) + " with " + std::to_string(trials) + " trials");
            const NTL::ZZ n = ZZOf(text);
            NTL::SetSeed(NTL::ZZ(trials + 2));
            const long expected = NTL::ProbPrime(n, trials);
            const NTL::ZZ nextAfterNtl = NTL::RandomBnd(bound);
            NTL::SetSeed(NTL::ZZ(trials + 2));
            EXPECT_EQ(ProbPrimeCancellable(n, trials, {}), expected);
            EXPECT_EQ(NTL::RandomBnd(bound), nextAfterNtl);
        }
    }
}

}  // namespace
