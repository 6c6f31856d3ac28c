#include "server/engine/aks_test.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "server/interface/ntl_errors.h"
#include "tests/support/zz_values.h"

namespace {

using kivtest::ZZOf;

struct Case {
    std::uint64_t a;
    long expected;
};

TEST(AKSTest, PerfectPowers) {
    const Case cases[] = {
        {14'348'907, 1},  // 3^15
        {4, 1},
        {8, 1},
        {7'000'000, 0},
        {1'000'000'000'000'000'000ull, 1},  // 10^18
        {4'052'555'153'018'976'267ull, 1},  // 3^39, near the top of the range
        {4'611'686'018'427'387'904ull, 1},  // 2^62
        {4'611'686'014'132'420'609ull, 1},  // 2147483647^2
        {4'611'686'014'132'420'608ull, 0},  // one below
        {2'305'843'009'213'693'951ull, 0},
        {9'223'372'036'854'775'807ull, 0},
        {0, 0},
        {1, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsPerfectPower64(c.a), c.expected) << c.a;
}

TEST(AKSTest, CongruencesAloneAdmitSomeCarmichaelNumbers) {
    UseNtlExceptions();
    const Case cases[] = {
        {7'000'003, 1},
        {56'052'361, 1},                    // 211 x 421 x 631: all factors 1 mod 3
        {9'223'372'036'854'775'807ull, 0},  // fails at j = 1
        {14'348'907, 0},                    // perfect power
        {7'000'001, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AKSCongruencesHold(c.a, ZZOf(c.a)), c.expected) << c.a;
}

TEST(AKSTest, ConfirmationIsExactOnStrongPseudoprimes) {
    const Case cases[] = {
        {2047, 0},                          // strong pseudoprime to base 2
        {3'215'031'751, 0},                 // to bases 2, 3, 5, 7
        {3'825'123'056'546'413'051ull, 0},  // to every prime base up to 23
        {56'052'361, 0},
        {2, 1},
        {7'000'003, 1},
        {2'305'843'009'213'693'951ull, 1},
        {18'446'744'073'709'551'557ull, 1},  // the largest prime below 2^64
    };
    for (const Case& c : cases)
        EXPECT_EQ(ConfirmPrime64(c.a), c.expected) << c.a;
}

TEST(AKSTest, AnswersWithTheConfirmation) {
    UseNtlExceptions();
    const Case cases[] = {
        {56'052'361, 0},
        {7'000'003, 1},
        {1'000'000'007, 1},
        {2'305'843'009'213'693'951ull, 1},
        {9'223'372'036'854'775'783ull, 1},  // the largest prime below 2^63
        {9'223'372'036'854'775'807ull, 0},
        {14'348'907, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AKSTest(c.a, ZZOf(c.a)), c.expected) << c.a;
}

}  // namespace
