#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "platform/oleaut/typelib_image.h"
#include "server/interface/iprime.h"
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

// The vtable slot of a virtual member function, read from its pointer as the Itanium C++ ABI
// (g++ and clang, Linux and mingw) lays it out: 1 + the slot's byte offset.
template <class M>
std::ptrdiff_t SlotOf(M member) {
    static_assert(sizeof(M) == 2 * sizeof(std::ptrdiff_t));
    std::ptrdiff_t words[2];
    std::memcpy(words, &member, sizeof words);
    return (words[0] & 1) ? (words[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*)) : -1;
}

// The order of the description is the order of the vtable: each method the description names
// sits in IPrime at the slot its position gives (what the compile-time check cannot see).
TEST(KivTypeLib, DescribedMethodsSitInTheirVtableSlots) {
    const struct {
        const char* name;
        std::ptrdiff_t slot;
    } methods[] = {
        {"IsPrime", SlotOf(&IPrime::IsPrime)},
        {"IsInt64Prime", SlotOf(&IPrime::IsInt64Prime)},
        {"GetGBPairUsingRM", SlotOf(&IPrime::GetGBPairUsingRM)},
        {"TestKIV", SlotOf(&IPrime::TestKIV)},
        {"GetSysInfo", SlotOf(&IPrime::GetSysInfo)},
    };
    const comrt::TypeLibModel model = comrt::typelib_model_from_desc(KivTypeLibDesc());
    const auto& funcs = model.interfaces.at(0).funcs;
    ASSERT_EQ(funcs.size(), std::size(methods));
    for (const auto& method : methods) {
        std::ptrdiff_t described = -1;
        for (std::size_t i = 0; i < funcs.size(); ++i)
            if (funcs[i].name == method.name)
                described = comrt::vtable_slot_of_first_method + static_cast<std::ptrdiff_t>(i);
        EXPECT_EQ(described, method.slot) << method.name;
    }
}

}  // namespace
