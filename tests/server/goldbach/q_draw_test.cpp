#include "server/goldbach/q_draw.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// What the draw must be: numDigits / 10 + 1 chunks of the same engine, cut, then the rules.
std::string ExpectedDraw(std::uint64_t numDigits, std::mt19937& engine, int& chunksDrawn) {
    QChunkDistribution chunks(kQChunkMin, kQChunkMax);
    std::string text;
    chunksDrawn = 0;
    for (std::uint64_t i = 0; i < numDigits / 10 + 1; ++i, ++chunksDrawn)
        text += std::to_string(chunks(engine));
    text.resize(numDigits);
    return text;
}

TEST(DrawQText, DrawsOneChunkMoreThanWholeTensAndKeepsTheFirstDigits) {
    struct Case {
        std::uint64_t numDigits;
        int chunks;
    };
    for (Case c : {Case{1, 1}, Case{9, 1}, Case{10, 2}, Case{11, 2}, Case{19, 2}, Case{20, 3},
                   Case{21, 3}, Case{100, 11}}) {
        for (std::uint32_t seed : {0u, 1u, 42u, 4294967295u}) {
            std::mt19937 engine(seed), reference(seed);
            int drawn = 0;
            std::string expected = ExpectedDraw(c.numDigits, reference, drawn);
            EXPECT_EQ(drawn, c.chunks);
            std::string text = DrawQText(c.numDigits, engine);
            ASSERT_EQ(text.size(), c.numDigits);
            // All but the last digit are the chunks' own.
            EXPECT_EQ(text.substr(0, text.size() - 1), expected.substr(0, expected.size() - 1))
                << c.numDigits << " digits, seed " << seed;
            if (c.numDigits > 1) {  // one digit: see OneDigitIsFourSixOrEight
                EXPECT_EQ(text.back(), EvenLastDigit(expected.back()));
            }
            EXPECT_TRUE(engine == reference) << "exactly " << c.chunks << " chunks consumed";
        }
    }
}

TEST(DrawQText, ChunkLeadingDigitsAreNeverZeroAndTheNumberIsEven) {
    for (std::uint32_t seed = 0; seed < 200; ++seed) {
        std::mt19937 engine(seed);
        const std::uint64_t numDigits = 2 + seed % 45;
        std::string text = DrawQText(numDigits, engine);
        ASSERT_EQ(text.size(), numDigits);
        for (std::size_t i = 0; i < text.size(); i += 10)
            EXPECT_NE(text[i], '0') << text;
        for (char digit : text)
            ASSERT_TRUE(digit >= '0' && digit <= '9') << text;
        EXPECT_EQ((text.back() - '0') % 2, 0) << text;
    }
}

TEST(EvenLastDigit, RoundsOddDigitsUpButNineDown) {
    const char* from = "0123456789";
    const char* to = "0224466888";
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(EvenLastDigit(from[i]), to[i]) << from[i];
}

TEST(DrawQText, OneDigitIsFourSixOrEight) {
    std::set<std::string> seen;
    int fours = 0;
    for (std::uint32_t seed = 0; seed < 300; ++seed) {
        std::mt19937 engine(seed), reference(seed);
        std::string text = DrawQText(1, engine);
        int drawn = 0;
        const char first = ExpectedDraw(1, reference, drawn)[0];
        seen.insert(text);
        // First digits 1 to 4 give 4 (1 -> 2 -> 4, 2 -> 4, 3 -> 4, 4); 5, 6 give 6; 7, 8, 9 give 8.
        const char expected = first <= '4' ? '4' : first <= '6' ? '6' : '8';
        EXPECT_EQ(text, std::string(1, expected)) << "first digit " << first;
        fours += text == "4";
    }
    EXPECT_EQ(seen, (std::set<std::string>{"4", "6", "8"}));
    EXPECT_GT(fours, 0);
}

}  // namespace
