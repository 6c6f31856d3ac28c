#include "server/engine/decimal_value.h"

#include <gtest/gtest.h>

#include <random>
#include <stop_token>
#include <string>

#include "server/interface/call_cancelled.h"

namespace {

TEST(DecimalValue, EqualsNtlsConversionBothWaysAndStopsWhenCancelled) {
    std::mt19937 engine(7);
    std::uniform_int_distribution<int> digit(0, 9);
    // Around one block (16384 digits), several levels, an odd number of blocks.
    for (std::size_t length : {1u, 2u, 19u, 16383u, 16384u, 16385u, 32768u, 49153u, 200001u}) {
        SCOPED_TRACE(length);
        std::string text(length, '0');
        for (char& c : text)
            c = static_cast<char>('0' + digit(engine));
        text.front() = '7';      // no leading zero, as drawn texts
        text[length / 2] = '0';  // zeros inside blocks too
        const NTL::ZZ value = DecimalValue(text);
        EXPECT_EQ(value, NTL::conv<NTL::ZZ>(text.c_str()));
        EXPECT_EQ(DecimalText(value), text);
    }
    // Texts of values around limb and power-of-ten edges, and what NTL prints for them.
    for (const char* text : {"0", "1", "9", "10", "18446744073709551615", "18446744073709551616",
                             "99999999999999999999", "100000000000000000000"}) {
        const NTL::ZZ value = NTL::conv<NTL::ZZ>(text);
        EXPECT_EQ(DecimalText(value), text);
        EXPECT_EQ(DecimalText(-value), value == 0 ? "0" : std::string("-") + text);
    }
    std::stop_source source;
    source.request_stop();
    EXPECT_THROW(DecimalValue(std::string(100000, '8'), source.get_token()), CallCancelled);
}

}  // namespace
