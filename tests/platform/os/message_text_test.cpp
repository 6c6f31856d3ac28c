#include <gtest/gtest.h>

#include "platform/win32.h"

namespace {

TEST(MessageText, FormatMessageKeepsCrLfAndReportsWhyItFails) {
    char buffer[64];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(E_POINTER), 0, buffer, sizeof buffer, nullptr);
    EXPECT_EQ(std::string(buffer, n), "Invalid pointer\r\n");
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(E_POINTER), 0,
                             buffer, 4, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x80041234, 0, buffer,
                             sizeof buffer, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, static_cast<DWORD>(E_POINTER),
                             0x0407, buffer, sizeof buffer, nullptr),
              0u);
}

}  // namespace
