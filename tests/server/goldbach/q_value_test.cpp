#include "server/goldbach/q_value.h"

#include <gtest/gtest.h>

#include <random>
#include <stop_token>
#include <string>

#include "server/interface/call_cancelled.h"

namespace {

TEST(QValue, EqualsNtlsConversionAndStopsWhenCancelled) {
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
        EXPECT_EQ(QValue(text, {}), NTL::conv<NTL::ZZ>(text.c_str()));
    }
    std::stop_source source;
    source.request_stop();
    EXPECT_THROW(QValue(std::string(100000, '8'), source.get_token()), CallCancelled);
}

}  // namespace
