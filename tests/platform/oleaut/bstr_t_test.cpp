// _bstr_t converts through the ANSI code page and owns its own copy.
#include "platform/oleaut/bstr_t.h"

#include <gtest/gtest.h>

namespace {

TEST(BstrT, ConvertsWithTheAnsiCodePageBothWays) {
    _bstr_t from_ansi("caf\xE9 \x80");
    EXPECT_EQ(from_ansi.view(), u"caf\u00E9 \u20AC");
    EXPECT_EQ(from_ansi.ansi(), "caf\xE9 \x80");
    _bstr_t copy = from_ansi;
    EXPECT_NE(copy.GetBSTR(), from_ansi.GetBSTR());
    EXPECT_EQ(copy.view(), from_ansi.view());
    BSTR detached = copy.Detach();
    EXPECT_EQ(copy.GetBSTR(), nullptr);
    SysFreeString(detached);
    EXPECT_EQ(_bstr_t(static_cast<const char*>(nullptr)).GetBSTR(), nullptr);
}

}  // namespace
