#include <gtest/gtest.h>

#include "platform/win32.h"

namespace {

TEST(CodePage, AnsiIsWindows1252) {
    EXPECT_EQ(GetACP(), 1252u);
    struct Case {
        unsigned char byte;
        char16_t unit;
    };
    const Case cases[] = {{'0', u'0'},       {'9', u'9'},       {0x80, u'\u20AC'},
                          {0x81, u'\u0081'}, {0x92, u'\u2019'}, {0x9F, u'\u0178'},
                          {0xA0, u'\u00A0'}, {0xE9, u'\u00E9'}, {0xFF, u'\u00FF'}};
    for (const auto& c : cases) {
        char in[2] = {static_cast<char>(c.byte), 0};
        WCHAR out[2] = {};
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, in, -1, out, 2), 2);
        EXPECT_EQ(out[0], c.unit) << int(c.byte);
        char back[2] = {};
        BOOL used_default = TRUE;
        EXPECT_EQ(WideCharToMultiByte(CP_THREAD_ACP, 0, out, 1, back, 1, nullptr, &used_default),
                  1);
        EXPECT_EQ(static_cast<unsigned char>(back[0]), c.byte);
        EXPECT_FALSE(used_default);
    }
}

TEST(CodePage, OnlyAsciiDigitsBecomeDigits) {
    // Fullwidth, Arabic-Indic and superscript digits have no 1252 byte that is a digit.
    const char16_t wide[] = {u'\uFF11', u'\u0661', u'\u2074', u'\u00B9', u'7'};
    char narrow[5];
    BOOL used_default = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, 5, narrow, 5, nullptr, &used_default), 5);
    EXPECT_EQ(std::string(narrow, 5),
              "???\xB9"
              "7");
    EXPECT_TRUE(used_default);
}

TEST(CodePage, SizesAndFailures) {
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4) << "size query";
    WCHAR small[2];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, small, 2), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(MultiByteToWideChar(65000, 0, "abc", -1, small, 2), 0) << "UTF-7: unknown";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"x", 0, nullptr, 0, nullptr, nullptr), 0);
}

TEST(CodePage, Utf8BothWays) {
    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {{"abc", u"abc"},
                          {"\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"},
                          {"\xE2\x82\xAC", u"\u20AC"},
                          {"\xF0\x9F\x98\x80", u"\U0001F600"}};
    for (const Case& c : cases) {
        const int size = static_cast<int>(c.utf8.size());
        ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, c.utf8.data(), size, nullptr, 0),
                  static_cast<int>(c.utf16.size()));
        std::u16string wide(c.utf16.size(), u'\0');
        EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, c.utf8.data(), size,
                                      wide.data(), static_cast<int>(wide.size())),
                  static_cast<int>(c.utf16.size()));
        EXPECT_EQ(wide, c.utf16);
        std::string narrow(c.utf8.size(), '\0');
        EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      narrow.data(), size, nullptr, nullptr),
                  size);
        EXPECT_EQ(narrow, c.utf8);
    }
}

TEST(CodePage, Utf8MalformedInput) {
    const char bad[] = "a\xC3(b";  // a lead byte without its continuation
    WCHAR wide[8] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, bad, -1, wide, 8), 5);
    EXPECT_EQ(std::u16string(wide), u"a\uFFFD(b");
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bad, -1, wide, 8), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);

    const char16_t lone[] = {u'a', 0xD800, u'b'};
    char narrow[8];
    EXPECT_EQ(
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 3, narrow, 8, nullptr, nullptr),
        0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    BOOL used_default = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, 3, narrow, 8, nullptr, &used_default), 0)
        << "no default character in UTF-8";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
