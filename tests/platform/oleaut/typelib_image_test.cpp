#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/oleaut/typelib_image.h"
#include "tests/platform/oleaut/calc_typelib.h"

namespace {

using comrt::TypeLibModel;

TypeLibModel CalcModel() {
    return comrt::typelib_model_from_desc(calctest::calc_lib);
}

TEST(TypeLibImage, RoundTripKeepsEveryAttribute) {
    const TypeLibModel model = CalcModel();
    const auto image = comrt::write_typelib_image(model);
    TypeLibModel back;
    ASSERT_EQ(comrt::read_typelib_image(image, &back), S_OK);
    EXPECT_EQ(back, model);
    // Spot checks that the model itself carries what the description said.
    EXPECT_EQ(back.name, "CalcLib");
    EXPECT_EQ(back.help, "Calc 1.0 Type Library");
    ASSERT_EQ(back.interfaces.size(), 1u);
    const auto& describe = back.interfaces[0].funcs[1];
    EXPECT_EQ(describe.params[4].name, "scale");
    EXPECT_EQ(describe.params[4].default_value, 130);
    EXPECT_EQ(describe.params[4].flags, PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT);
    EXPECT_TRUE(describe.params[2].by_pointer);
    ASSERT_TRUE(back.coclasses[0].default_interface.has_value());
    EXPECT_EQ(*back.coclasses[0].default_interface, 0u);
    EXPECT_EQ(back.enums[0].constants[1].value, 7);
}

TEST(TypeLibImage, EveryTruncationIsRefused) {
    const auto image = comrt::write_typelib_image(CalcModel());
    for (std::size_t size = 0; size < image.size(); ++size) {
        TypeLibModel model;
        HRESULT hr = comrt::read_typelib_image({image.data(), size}, &model);
        EXPECT_TRUE(hr == TYPE_E_INVDATAREAD || hr == TYPE_E_UNSUPFORMAT)
            << "size " << size << " hr " << std::hex << hr;
    }
    auto longer = image;
    longer.push_back(0);
    TypeLibModel model;
    EXPECT_EQ(comrt::read_typelib_image(longer, &model), TYPE_E_INVDATAREAD);
}

TEST(TypeLibImage, EveryChangedByteIsRefused) {
    const auto image = comrt::write_typelib_image(CalcModel());
    for (std::size_t at = 0; at < image.size(); ++at) {
        for (unsigned char flip : {0x01, 0x20, 0x80, 0xFF}) {
            auto damaged = image;
            damaged[at] ^= flip;
            TypeLibModel model;
            HRESULT hr = comrt::read_typelib_image(damaged, &model);
            EXPECT_TRUE(hr == TYPE_E_INVDATAREAD || hr == TYPE_E_UNSUPFORMAT)
                << "byte " << at << " flip " << int(flip);
        }
    }
}

// A consistent checksum over a hostile payload must not get past the structural checks: the
// image is rebuilt around each damaged payload so that only the reader's own checks stand.
TEST(TypeLibImage, HostilePayloadsWithValidChecksumsAreRefusedSafely) {
    const auto image = comrt::write_typelib_image(CalcModel());
    auto reseal = [](std::vector<unsigned char> bytes) {
        std::uint32_t hash = 2166136261u;
        for (std::size_t i = 20; i < bytes.size(); ++i)
            hash = (hash ^ bytes[i]) * 16777619u;
        std::uint32_t size = static_cast<std::uint32_t>(bytes.size() - 20);
        for (int i = 0; i < 4; ++i) {
            bytes[12 + i] = static_cast<unsigned char>(size >> (8 * i));
            bytes[16 + i] = static_cast<unsigned char>(hash >> (8 * i));
        }
        return bytes;
    };
    TypeLibModel model;
    ASSERT_EQ(comrt::read_typelib_image(reseal(image), &model), S_OK);  // the helper is right
    int accepted = 0;
    for (std::size_t at = 20; at < image.size(); ++at) {
        for (unsigned char value : {0x00, 0x01, 0x7F, 0xFF}) {
            auto damaged = image;
            damaged[at] = value;
            HRESULT hr = comrt::read_typelib_image(reseal(damaged), &model);
            EXPECT_TRUE(hr == S_OK || hr == TYPE_E_INVDATAREAD) << "byte " << at;
            if (hr == S_OK) {
                ++accepted;  // still a valid library: it must be internally consistent
                EXPECT_EQ(comrt::validate_typelib_model(model), S_OK);
            }
        }
        for (std::size_t cut = at; cut < image.size(); cut += 97) {
            std::vector<unsigned char> shorter(image.begin(),
                                               image.begin() + static_cast<long>(cut));
            (void)comrt::read_typelib_image(reseal(shorter), &model);
        }
    }
    EXPECT_GT(accepted, 0);  // e.g. a changed GUID byte or help character is legitimately valid
}

TEST(TypeLibImage, RefusesOtherFormatsAndVersions) {
    auto image = comrt::write_typelib_image(CalcModel());
    TypeLibModel model;
    EXPECT_EQ(comrt::read_typelib_image({}, &model), TYPE_E_UNSUPFORMAT);
    auto other = image;
    other[0] = 'X';
    EXPECT_EQ(comrt::read_typelib_image(other, &model), TYPE_E_UNSUPFORMAT);
    auto newer = image;
    newer[8] = 2;
    EXPECT_EQ(comrt::read_typelib_image(newer, &model), TYPE_E_UNSUPFORMAT);
    EXPECT_TRUE(comrt::looks_like_typelib_image(image));
    EXPECT_EQ(comrt::read_typelib_image(image, nullptr), E_POINTER);
}

TEST(TypeLibModel, ValidationRefusesInconsistentLibraries) {
    struct Case {
        const char* what;
        void (*damage)(TypeLibModel&);
    };
    const Case cases[] = {
        {"empty library name", [](TypeLibModel& m) { m.name.clear(); }},
        {"name with a space", [](TypeLibModel& m) { m.interfaces[0].name = "I Calc"; }},
        {"duplicate DISPID", [](TypeLibModel& m) { m.interfaces[0].funcs[1].dispid = 1; }},
        {"duplicate method name in another case",
         [](TypeLibModel& m) { m.interfaces[0].funcs[1].name = "ADD"; }},
        {"duplicate GUID", [](TypeLibModel& m) { m.coclasses[0].clsid = m.interfaces[0].iid; }},
        {"unsupported type",
         [](TypeLibModel& m) { m.interfaces[0].funcs[0].params[0].vt = VT_PTR; }},
        {"unknown flag", [](TypeLibModel& m) { m.interfaces[0].funcs[0].params[0].flags = 0x40; }},
        {"out by value",
         [](TypeLibModel& m) { m.interfaces[0].funcs[0].params[2].by_pointer = false; }},
        {"required after optional",
         [](TypeLibModel& m) {
             m.interfaces[0].funcs[1].params.push_back({"extra", VT_I4, false, PARAMFLAG_FIN, 0});
         }},
        {"default out of range",
         [](TypeLibModel& m) { m.interfaces[0].funcs[1].params[4].default_value = -1; }},
        {"retval not last",
         [](TypeLibModel& m) {
             m.interfaces[0].funcs[0].params[2].flags |= PARAMFLAG_FRETVAL;
             m.interfaces[0].funcs[0].params.push_back({"z", VT_I4, true, PARAMFLAG_FOUT, 0});
         }},
        {"coclass names a missing interface",
         [](TypeLibModel& m) { m.coclasses[0].default_interface = 5; }},
        {"help with invalid UTF-8", [](TypeLibModel& m) { m.help = "\xC3"; }},
    };
    for (const Case& c : cases) {
        TypeLibModel model = CalcModel();
        c.damage(model);
        EXPECT_EQ(comrt::validate_typelib_model(model), TYPE_E_INVDATAREAD) << c.what;
        EXPECT_THROW(comrt::write_typelib_image(model), std::invalid_argument) << c.what;
    }
    EXPECT_EQ(comrt::validate_typelib_model(CalcModel()), S_OK);
}

}  // namespace
