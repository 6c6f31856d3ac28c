#include <gtest/gtest.h>

#include "platform/oleaut/typelib_image.h"
#include "server/typelib/kiv_typelib.h"

namespace {

// kivLib survives the trip through its .tlb image unchanged. That the description matches
// IPrime itself is checked where the description is compiled (server/typelib/kiv_typelib.cpp).
TEST(KivTypeLib, RoundTripThroughTheImage) {
    const comrt::TypeLibModel model = comrt::typelib_model_from_desc(KivTypeLibDesc());
    ASSERT_EQ(model.interfaces.size(), 1u);
    comrt::TypeLibModel lib;
    ASSERT_EQ(comrt::read_typelib_image(comrt::write_typelib_image(model), &lib), S_OK);
    EXPECT_EQ(lib, model);
}

}  // namespace
