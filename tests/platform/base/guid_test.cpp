#include <gtest/gtest.h>

#include <string_view>

#include "platform/win32.h"

namespace {

TEST(Guid, RegistryStringRoundTrip) {
    const GUID g = {0x0A1B2C3D, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};
    EXPECT_EQ(guid_to_string(g), "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}");
    EXPECT_EQ(guid_from_string("{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}"), g);
    EXPECT_FALSE(guid_from_string("0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9"));
    EXPECT_FALSE(guid_from_string("{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8FX}"));
    OLECHAR wide[39];
    EXPECT_EQ(StringFromGUID2(g, wide, 39), 39);
    EXPECT_EQ(std::u16string_view(wide), u"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}");
    EXPECT_EQ(StringFromGUID2(g, wide, 38), 0);
}

}  // namespace
