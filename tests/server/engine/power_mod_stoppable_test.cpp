// The stoppable exponentiation answers as NTL's PowerMod, on both sides of the size from
// which it takes its own ladder, and gives up once its stop flag is raised.
#include "server/engine/power_mod_stoppable.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

using NTL::ZZ;

TEST(PowerModStoppable, AnswersAsNtl) {
    NTL::SetSeed(ZZ(20261208));
    for (long bits : {kStoppableBits - 64, kStoppableBits, kStoppableBits + 1000}) {
        const ZZ n = NTL::RandomLen_ZZ(bits) | 1;
        // Short exponents keep the ladder's sizes and spare the time of a full one; they still
        // cover windows of every length, runs of zeros and both ends of the bit string.
        const ZZ exponents[] = {ZZ(0),
                                ZZ(1),
                                ZZ(2),
                                ZZ(3),
                                ZZ(31),
                                ZZ(32),
                                ZZ(33),
                                NTL::power2_ZZ(64) + 1,
                                NTL::power2_ZZ(70) - 1,
                                NTL::RandomLen_ZZ(300),
                                NTL::RandomLen_ZZ(301)};
        const ZZ bases[] = {ZZ(0), ZZ(1), ZZ(2), n - 1, NTL::RandomBnd(n)};
        const std::atomic<bool> stop{false};
        for (const ZZ& e : exponents)
            for (const ZZ& x : bases) {
                ZZ z;
                ASSERT_TRUE(PowerModStoppable(z, x, e, n, stop));
                EXPECT_EQ(z, NTL::PowerMod(x, e, n)) << bits << " bits, e " << e;
            }
    }
}

TEST(PowerModStoppable, GivesUpOnceStopped) {
    const ZZ n = NTL::power2_ZZ(40000) - 3, e = n - 1;  // a full ladder: seconds
    std::atomic<bool> stop{true};
    ZZ z;
    EXPECT_FALSE(PowerModStoppable(z, ZZ(2), e, n, stop));
    // Raised for a moment while the ladder runs: it ends then. A ladder that only looked at the
    // end would see the flag lowered again, seconds later, and answer.
    stop.store(false);
    auto run =
        std::async(std::launch::async, [&] { return PowerModStoppable(z, ZZ(3), e, n, stop); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop.store(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    stop.store(false);
    EXPECT_FALSE(run.get());
}

}  // namespace
