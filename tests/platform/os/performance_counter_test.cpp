#include <gtest/gtest.h>

#include "platform/win32.h"

namespace {

TEST(QueryPerformanceCounter, CountsNanosecondsForward) {
    LARGE_INTEGER frequency{};
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 1000000000);

    LARGE_INTEGER previous{};
    ASSERT_TRUE(QueryPerformanceCounter(&previous));
    EXPECT_GT(previous.QuadPart, 0);
    for (int i = 0; i < 1000; ++i) {
        LARGE_INTEGER now{};
        ASSERT_TRUE(QueryPerformanceCounter(&now));
        ASSERT_GE(now.QuadPart, previous.QuadPart);
        previous = now;
    }
}

TEST(QueryPerformanceCounter, RefusesNullPointers) {
    SetLastError(0);
    EXPECT_FALSE(QueryPerformanceCounter(nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_FALSE(QueryPerformanceFrequency(nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

}  // namespace
