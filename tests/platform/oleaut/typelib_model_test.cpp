// validate_typelib_model, the gate every model passes before the runtime hands it out.
#include <gtest/gtest.h>

#include "platform/oleaut/type_lib_object.h"
#include "platform/oleaut/typelib_msft.h"
#include "tests/platform/oleaut/calc_typelib.h"

namespace {

using comrt::TypeLibModel;

TypeLibModel CalcModel() {
    TypeLibModel model;
    EXPECT_EQ(comrt::read_msft_typelib(calctest::calc_tlb_bytes(), &model), S_OK);
    return model;
}

TEST(TypeLibModel, ValidationRefusesInconsistentLibraries) {
    struct Case {
        const char* what;
        void (*damage)(TypeLibModel&);
    };
    const Case cases[] = {
        {"empty library name", [](TypeLibModel& m) { m.name.clear(); }},
        {"name with a space", [](TypeLibModel& m) { m.types[1].name = "I Calc"; }},
        {"duplicate member id", [](TypeLibModel& m) { m.types[1].funcs[1].memid = 1; }},
        {"duplicate type name", [](TypeLibModel& m) { m.types[2].name = "ICALC"; }},
        {"duplicate GUID", [](TypeLibModel& m) { m.types[2].guid = m.types[1].guid; }},
        {"unknown base type",
         [](TypeLibModel& m) { m.types[1].funcs[0].params[0].type.vt = VT_BYREF; }},
        {"pointer as the innermost type",
         [](TypeLibModel& m) { m.types[1].funcs[0].params[0].type.vt = VT_PTR; }},
        {"unknown parameter flag",
         [](TypeLibModel& m) { m.types[1].funcs[0].params[0].flags = 0x80; }},
        {"retval by value",
         [](TypeLibModel& m) { m.types[1].funcs[4].params[1].type.indirections.clear(); }},
        {"default of an unknown type",
         [](TypeLibModel& m) { m.types[1].funcs[1].params[4].default_value.vt = VT_VARIANT; }},
        {"value without its flag",
         [](TypeLibModel& m) { m.types[1].funcs[0].params[0].default_value.bits = 1; }},
        {"reference past the types", [](TypeLibModel& m) { m.types[4].impls[0].ref.index = 5; }},
        {"reference past the imports",
         [](TypeLibModel& m) {
             m.idispatch = comrt::TlbRef{true, 9};
         }},
        {"functions in an enumeration",
         [](TypeLibModel& m) { m.types[0].funcs = m.types[1].funcs; }},
        {"functions in a union", [](TypeLibModel& m) { m.types[1].kind = TKIND_UNION; }},
        {"constants in a record", [](TypeLibModel& m) { m.types[0].kind = TKIND_RECORD; }},
        {"help with invalid UTF-8", [](TypeLibModel& m) { m.help = "\xC3"; }},
    };
    for (const Case& c : cases) {
        TypeLibModel model = CalcModel();
        c.damage(model);
        EXPECT_EQ(comrt::validate_typelib_model(model), TYPE_E_INVDATAREAD) << c.what;
        CComPtr<ITypeLib> lib;
        EXPECT_EQ(comrt::create_type_lib(std::move(model), &lib), TYPE_E_INVDATAREAD) << c.what;
    }
    EXPECT_EQ(comrt::validate_typelib_model(CalcModel()), S_OK);
}

}  // namespace
