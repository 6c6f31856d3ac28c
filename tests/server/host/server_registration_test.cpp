#include "server/host/server_registration.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

TEST(ServerRegistration, ModulePathLimitCountsCharactersNotBytes) {
    struct Case {
        std::string path;
        bool fits;
    };
    const Case cases[] = {
        {"/" + Repeat("a", 258), true},                  // 259 characters
        {"/" + Repeat("a", 259), false},                 // 260
        {"/" + Repeat("\xC3\xA9", 258), true},           // é: 259 characters, 517 bytes
        {"/" + Repeat("\xE2\x82\xAC", 259), false},      // €: 260 characters
        {"/" + Repeat("\xF0\x9F\x98\x80", 200), true},   // outside the BMP: 201 characters
        {"/" + Repeat("\xF0\x9F\x98\x80", 259), false},  // 260
        {"/" + Repeat("\xFF", 258), true},               // malformed bytes, one character each
    };
    for (const Case& c : cases)
        EXPECT_EQ(FitsMaxPath(c.path), c.fits) << c.path.size() << " bytes";
}

}  // namespace
