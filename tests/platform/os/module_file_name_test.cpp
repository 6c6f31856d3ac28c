#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/win32.h"
#include "tests/support/process.h"

namespace {

using kivtest::SelfPath;

TEST(ModuleFileName, WideIsTheExecutablePath) {
    const std::string self = SelfPath();
    ASSERT_FALSE(self.empty());
    WCHAR wide[4096] = {};
    const DWORD length = GetModuleFileNameW(nullptr, wide, 4096);
    ASSERT_EQ(length, self.size());  // the test's path is ASCII: one unit per byte
    EXPECT_EQ(std::u16string(wide), std::u16string(self.begin(), self.end()));
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
}

TEST(ModuleFileName, WideTruncatesAsWindows) {
    WCHAR small[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 4), 4u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(small[3], u'\0');
    EXPECT_EQ(small[0], u'/');
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 0), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    int module = 0;
    EXPECT_EQ(GetModuleFileNameW(&module, small, 4), 0u) << "only the executable itself";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
