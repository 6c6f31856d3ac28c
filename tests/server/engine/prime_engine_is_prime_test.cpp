// The body of IsPrime: argument checks, the three methods and their limits, and which cache
// each one reads and writes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "server/engine/prime_engine.h"
#include "server/interface/messages.h"
#include "server/interface/narrow_text.h"
#include "server/interface/ntl_errors.h"
#include "server/interface/service_error.h"
#include "tests/support/zz_values.h"

namespace {

using kivtest::ZZOf;

struct Outcome {
    bool ok;
    long ret;
    std::string error;  // the failure's text
};

// The text as the method hands it over: narrowed from its BSTR.
Outcome CallBody(PrimeEngine& engine, const OLECHAR* text, std::int32_t method,
                 std::int32_t trials) {
    _bstr_t bstr(SysAllocString(text), false);
    long ret = 0;
    try {
        ret = engine.IsPrimeBody(NarrowText(bstr.GetBSTR()), method, trials);
        return {true, ret, {}};
    } catch (const ServiceError& e) {
        return {false, ret, e.Message()};
    } catch (const std::exception& e) {
        return {false, ret, e.what()};
    }
}

std::unique_ptr<PrimeEngine> NewEngine() {
    UseNtlExceptions();
    return std::make_unique<PrimeEngine>();
}

// Counts the runs of the Rabin-Miller test.
int g_probPrimeRuns = 0;
long g_lastNumTrials = -1;
long CountingProbPrime(const NTL::ZZ& n, long lNumTrials, const std::stop_token&) {
    ++g_probPrimeRuns;
    g_lastNumTrials = lNumTrials;
    return NTL::ProbPrime(n, lNumTrials);
}

std::unique_ptr<PrimeEngine> NewCountingEngine() {
    auto engine = NewEngine();
    g_probPrimeRuns = 0;
    g_lastNumTrials = -1;
    engine->UseProbPrime(&CountingProbPrime);
    return engine;
}

const std::basic_string<OLECHAR> kMersenne89 =
    OLESTR("618970019642690137449562111");  // 2^89 - 1, prime
const std::basic_string<OLECHAR> kMersenne89Times3 = OLESTR("1856910058928070412348686333");

TEST(IsPrimeBody, RefusesArgumentsAndInput) {
    const std::string invalid = kivmsg::InvalidParameters;
    struct Case {
        const OLECHAR* text;
        std::int32_t method, trials;
        std::string error;
    };
    const Case cases[] = {
        {OLESTR("7"), 0, 0, invalid},
        {OLESTR("7"), 4, 0, invalid},
        {OLESTR("7"), -1, 0, invalid},
        {OLESTR("7"), 3, -1, invalid},
        {OLESTR("x"), 0, 0, invalid},  // the arguments are checked before the text
        {OLESTR("1"), 3, 0, kivmsg::NaturalNumber},
        {OLESTR("0"), 1, 0, kivmsg::NaturalNumber},
        {OLESTR("-7"), 2, 0, kivmsg::NaturalNumber},
        {OLESTR(""), 2, 0, "bad conversion from char*"},
        {OLESTR("9223372036854775808"), 1, 0, kivmsg::MaxLimit},
        {OLESTR("100000000000000000000000000000"), 1, 0, kivmsg::MaxLimit},
    };
    for (const Case& c : cases) {
        auto engine = NewEngine();
        Outcome o = CallBody(*engine, c.text, c.method, c.trials);
        EXPECT_FALSE(o.ok) << c.method;
        EXPECT_EQ(o.error, c.error) << c.method;
        EXPECT_EQ(o.ret, 0);
        EXPECT_FALSE(engine->m_bSieveBuilt);
        EXPECT_TRUE(engine->m_setComposites64.empty() && engine->m_setPrimes64.empty() &&
                    engine->m_setCompositesZZ.empty() && engine->m_setPrimesZZ.empty());
    }
}

// Where an answer of IsPrime ended up.
enum class In { Nowhere, Primes64, Composites64, PrimesZZ, CompositesZZ };

In WhereRecorded(const PrimeEngine& engine, const char* value) {
    const NTL::ZZ n = ZZOf(value);
    int found = 0;
    In where = In::Nowhere;
    if (engine.m_setPrimesZZ.contains(n)) {
        ++found;
        where = In::PrimesZZ;
    }
    if (engine.m_setCompositesZZ.contains(n)) {
        ++found;
        where = In::CompositesZZ;
    }
    if (n <= NTL::conv<NTL::ZZ>("9223372036854775807")) {
        // Not conv<unsigned long>: long holds 32 bits on Win64.
        const auto a = static_cast<std::uint64_t>(std::strtoll(value, nullptr, 10));
        if (engine.m_setPrimes64.contains(a)) {
            ++found;
            where = In::Primes64;
        }
        if (engine.m_setComposites64.contains(a)) {
            ++found;
            where = In::Composites64;
        }
    }
    EXPECT_LE(found, 1) << value << " recorded twice";
    return where;
}

TEST(IsPrimeBody, AnswersAndRecordsByMethod) {
    struct Case {
        const char* text;
        LONG method, trials;
        LONG expected;
        In recorded;
        bool sieve_built;
    };
    const Case cases[] = {
        {"2", 1, 0, 1, In::Nowhere, true},
        {"0007", 1, -1, 1, In::Nowhere, true},  // trials ignored, leading zeros
        {"6999997", 1, 0, 1, In::Nowhere, true},
        {"7000001", 1, 0, 0, In::Composites64, true},
        {"7000003", 1, 0, 1, In::Primes64, true},
        {"14348907", 1, 0, 0, In::Composites64, true},  // 3^15
        {"56052361", 1, 0, 0, In::Composites64, true},  // Carmichael, 211 x 421 x 631
        {"1000000007", 1, 12345, 1, In::Primes64, true},
        {"2305843009213693951", 1, 0, 1, In::Primes64, true},
        {"9223372036854775807", 1, 0, 0, In::Composites64, true},  // the limit is 64-bit here
        {"2", 2, -1, 1, In::Nowhere, true},
        {"9", 2, 0, 0, In::Composites64, true},
        {"7000001", 2, 0, 0, In::Composites64, true},
        {"7000003", 2, -7, 1, In::Primes64, true},
        {"56052361", 2, 0, 0, In::Composites64, true},
        {"9223372036854775806", 2, 0, 0, In::Composites64, true},
        {"9223372036854775807", 2, 0, 0, In::CompositesZZ, false},  // big path
        {"9223372036854775808", 2, 0, 0, In::CompositesZZ, false},
        {"9223372036854775809", 2, 0, 0, In::CompositesZZ, false},
        {"2", 3, 0, 1, In::PrimesZZ, false},
        {"9", 3, 0, 0, In::CompositesZZ, false},
        {"7000003", 3, 2, 1, In::PrimesZZ, false},  // never the 64-bit sets
        {"9223372036854775807", 3, 0, 0, In::CompositesZZ, false},
        {"618970019642690137449562111", 3, 10, 1, In::PrimesZZ, false},
    };
    for (const Case& c : cases) {
        auto engine = NewEngine();
        const std::string text = c.text;
        Outcome o = CallBody(*engine, std::basic_string<OLECHAR>(text.begin(), text.end()).c_str(),
                             c.method, c.trials);
        ASSERT_TRUE(o.ok) << c.text << " by " << c.method << ": " << o.error;
        EXPECT_EQ(o.ret, c.expected) << c.text << " by " << c.method;
        EXPECT_EQ(WhereRecorded(*engine, c.text), c.recorded) << c.text << " by " << c.method;
        EXPECT_EQ(engine->m_bSieveBuilt, c.sieve_built) << c.text << " by " << c.method;
    }
}

TEST(IsPrimeBody, RabinMillerAnswersRepeatsFromTheCache) {
    auto engine = NewCountingEngine();
    EXPECT_EQ(CallBody(*engine, kMersenne89.c_str(), 3, 0).ret, 1);
    EXPECT_EQ(g_probPrimeRuns, 1);
    EXPECT_EQ(g_lastNumTrials, 0);
    EXPECT_EQ(CallBody(*engine, kMersenne89.c_str(), 3, 25).ret, 1);
    EXPECT_EQ(CallBody(*engine, kMersenne89Times3.c_str(), 3, 7).ret, 0);
    EXPECT_EQ(g_lastNumTrials, 7);
    EXPECT_EQ(CallBody(*engine, kMersenne89Times3.c_str(), 3, 7).ret, 0);
    EXPECT_EQ(g_probPrimeRuns, 2) << "one run per new value";
}

TEST(IsPrimeBody, RabinMillerHitIsRecordedAgain) {
    auto engine = NewCountingEngine();
    const NTL::ZZ smallest(4);
    engine->CacheZZ(smallest, 0);
    for (long v = 1001; engine->m_setCompositesZZ.size() < 701; v += 2)
        engine->CacheZZ(NTL::ZZ(v), 0);
    EXPECT_EQ(CallBody(*engine, OLESTR("4"), 3, 0).ret, 0);
    EXPECT_EQ(g_probPrimeRuns, 0);
    EXPECT_EQ(engine->m_setCompositesZZ.size(), 102u);
    EXPECT_EQ(*engine->m_setCompositesZZ.begin(), smallest);
}

TEST(IsPrimeBody, RabinMillerAndBigTrialDivisionShareTheirCaches) {
    // Trial division of a 27-digit prime would run for ages: an answer here is the cache's.
    auto engine = NewCountingEngine();
    ASSERT_EQ(CallBody(*engine, kMersenne89.c_str(), 3, 10).ret, 1);
    Outcome o = CallBody(*engine, kMersenne89.c_str(), 2, 0);
    EXPECT_TRUE(o.ok);
    EXPECT_EQ(o.ret, 1);

    // And the other way: what trial division found, Rabin-Miller does not test again.
    ASSERT_EQ(CallBody(*engine, OLESTR("9223372036854775807"), 2, 0).ret, 0);
    EXPECT_EQ(CallBody(*engine, OLESTR("9223372036854775807"), 3, 10).ret, 0);
    EXPECT_EQ(g_probPrimeRuns, 1);
    EXPECT_EQ(engine->m_setCompositesZZ.size(), 1u);
    EXPECT_EQ(engine->m_setPrimesZZ.size(), 1u);
}

TEST(IsPrimeBody, AKSIgnoresTheZZCachesAndRabinMillerTheSixtyFourBitOnes) {
    auto engine = NewCountingEngine();
    engine->CacheZZ(NTL::ZZ(7000001), 1);  // planted wrong answers
    engine->Cache64(engine->m_setPrimes64, 7000005);
    EXPECT_EQ(CallBody(*engine, OLESTR("7000001"), 1, 0).ret, 0);
    EXPECT_EQ(CallBody(*engine, OLESTR("7000005"), 3, 0).ret, 0);
    EXPECT_EQ(g_probPrimeRuns, 1);
}

TEST(IsPrimeBody, ASecondAKSCallIsAnsweredFromTheSixtyFourBitCache) {
    auto engine = NewEngine();
    ASSERT_EQ(CallBody(*engine, OLESTR("7000003"), 1, 0).ret, 1);
    // Plant the opposite answer: a repeated call must read the cache, not compute again.
    engine->m_setPrimes64.erase(7000003);
    engine->Cache64(engine->m_setComposites64, 7000003);
    EXPECT_EQ(CallBody(*engine, OLESTR("7000003"), 1, 0).ret, 0);
}

}  // namespace
