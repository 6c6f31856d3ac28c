// What the Windows build relies on: NTL with GMP gives right answers, `long` is 32 bits there
// (so 64-bit values need long long), and C++20 stoppable threads work with posix mingw threads.
#include <gtest/gtest.h>

#include <NTL/ZZ.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <sstream>
#include <stop_token>
#include <string>
#include <thread>

namespace {

std::string Decimal(const NTL::ZZ& z) {
    std::ostringstream out;
    out << z;
    return out.str();
}

TEST(WindowsProbe, LongIs32BitsAndLongLong64) {
    EXPECT_EQ(sizeof(long) * CHAR_BIT, 32u);
    EXPECT_EQ(sizeof(long long) * CHAR_BIT, 64u);
    EXPECT_EQ(sizeof(void*) * CHAR_BIT, 64u);
}

TEST(WindowsProbe, ProbPrime) {
    struct Case {
        const char* n;
        bool prime;
    };
    const Case cases[] = {
        {"170141183460469231731687303715884105727", true},   // 2^127 - 1
        {"170141183460469231731687303715884105725", false},  // 2^127 - 3 = 5 * ...
        {"18446744073709551557", true},                      // largest prime below 2^64
        {"3215031751", false},                               // strong pseudoprime to 2, 3, 5, 7
        {"2305843009213693951", true},                       // 2^61 - 1
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NTL::ProbPrime(NTL::conv<NTL::ZZ>(c.n)) != 0, c.prime) << c.n;
    }
}

TEST(WindowsProbe, PowerMod) {
    const NTL::ZZ m = NTL::conv<NTL::ZZ>("170141183460469231731687303715884105727");
    // Fermat: a^(p-1) = 1 mod p for the prime 2^127 - 1.
    EXPECT_EQ(NTL::PowerMod(NTL::ZZ(3), m - 1, m), 1);
    EXPECT_EQ(Decimal(NTL::PowerMod(NTL::ZZ(2), NTL::ZZ(100), NTL::conv<NTL::ZZ>("1000000007"))),
              "976371285");
}

// NTL 11.5 converts ZZ only from and to long, and std::uint64_t is unsigned long long here:
// NTL::conv<NTL::ZZ>(std::uint64_t) does not compile. Bytes carry 64-bit values both ways.
NTL::ZZ ZZFromU64(std::uint64_t value) {
    unsigned char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    return NTL::ZZFromBytes(bytes, 8);
}

std::uint64_t U64FromZZ(const NTL::ZZ& value) {
    unsigned char bytes[8];
    NTL::BytesFromZZ(bytes, value, 8);  // the low 64 bits
    std::uint64_t result = 0;
    for (int i = 7; i >= 0; --i)
        result = result << 8 | bytes[i];
    return result;
}

TEST(WindowsProbe, SixtyFourBitValuesRoundTrip) {
    const std::uint64_t cases[] = {
        0, 1, 0xffffffffULL, 0x100000000ULL, 0x7fffffffffffffffULL, 0xffffffffffffffffULL};
    for (std::uint64_t v : cases) {
        EXPECT_EQ(Decimal(ZZFromU64(v)), std::to_string(v));
        EXPECT_EQ(U64FromZZ(NTL::conv<NTL::ZZ>(std::to_string(v).c_str())), v);
    }
}

TEST(WindowsProbe, ConvToLongKeepsOnly32Bits) {
    // What kiv's conv<unsigned long> calls would do to a 64-bit value on Windows.
    EXPECT_EQ(NTL::conv<unsigned long>(NTL::conv<NTL::ZZ>("4294967297")), 1ul);
}

TEST(WindowsProbe, JthreadStopsOnRequest) {
    std::atomic<long long> spins{0};
    std::atomic<bool> saw_stop{false};
    {
        std::jthread worker([&](std::stop_token stop) {
            while (!stop.stop_requested())
                spins.fetch_add(1, std::memory_order_relaxed);
            saw_stop = true;
        });
        while (spins.load() == 0)
            std::this_thread::yield();
    }  // the jthread's destructor requests the stop and joins
    EXPECT_TRUE(saw_stop);
}

TEST(WindowsProbe, StopCallbackRuns) {
    std::stop_source source;
    bool called = false;
    std::stop_callback callback(source.get_token(), [&] { called = true; });
    source.request_stop();
    EXPECT_TRUE(called);
}

}  // namespace
