#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/base/bstr.h"

namespace {

struct BstrDeleter {
    void operator()(OLECHAR* b) const { SysFreeString(b); }
};
using UniqueBstr = std::unique_ptr<OLECHAR, BstrDeleter>;

TEST(Bstr, RoundTripsKeepEveryCodeUnit) {
    const std::u16string cases[] = {u"", u"123", std::u16string(u"a\0b\0", 4),
                                    u"\u20AC\u00E9\uFFFD", std::u16string(70000, u'7')};
    for (const auto& text : cases) {
        UniqueBstr b(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(SysStringLen(b.get()), text.size());
        EXPECT_EQ(SysStringByteLen(b.get()), text.size() * 2);
        EXPECT_EQ(std::u16string(b.get(), SysStringLen(b.get())), text);
        EXPECT_EQ(b.get()[text.size()], 0) << "terminated after the counted units";
        std::uint32_t prefix;
        std::memcpy(&prefix, reinterpret_cast<char*>(b.get()) - 4, 4);
        EXPECT_EQ(prefix, text.size() * 2) << "byte-length prefix, as on Windows";
    }
}

TEST(Bstr, NullIsTheEmptyString) {
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);  // harmless
    UniqueBstr zeroed(SysAllocStringLen(nullptr, 3));
    ASSERT_NE(zeroed, nullptr);
    EXPECT_EQ(SysStringLen(zeroed.get()), 3u);
    EXPECT_EQ(zeroed.get()[0], 0);
}

TEST(Bstr, SysAllocStringStopsAtTheFirstZero) {
    UniqueBstr b(SysAllocString(u"ab\0cd"));
    EXPECT_EQ(SysStringLen(b.get()), 2u);
}

TEST(Bstr, ImpossibleLengthsFailWithNull) {
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x7FFFFFFF), nullptr);
}

}  // namespace
