#include <gtest/gtest.h>

#include "platform/oleaut/typelib_image.h"
#include "server/interface/iprime.h"
#include "server/typelib/kiv_typelib.h"

namespace {

// kivLib survives the trip through its .tlb image with every attribute of the contract.
TEST(KivTypeLib, RoundTripThroughTheImage) {
    const comrt::TypeLibModel model = comrt::typelib_model_from_desc(KivTypeLibDesc());
    comrt::TypeLibModel lib;
    ASSERT_EQ(comrt::read_typelib_image(comrt::write_typelib_image(model), &lib), S_OK);
    EXPECT_EQ(lib, model);

    EXPECT_EQ(lib.name, "kivLib");
    EXPECT_EQ(lib.help, "kiv 1.0 Type Library");
    EXPECT_EQ(lib.libid, LIBID_kivLib);
    EXPECT_EQ(lib.major_version, 1);
    EXPECT_EQ(lib.minor_version, 0);
    EXPECT_EQ(lib.lcid, LOCALE_NEUTRAL);
    EXPECT_EQ(lib.syskind, SYS_WIN64);

    ASSERT_EQ(lib.enums.size(), 1u);
    EXPECT_EQ(lib.enums[0].name, "kivPrimalityTestingMethods");
    EXPECT_EQ(lib.enums[0].guid, GUID_kivPrimalityTestingMethods);
    EXPECT_EQ(lib.enums[0].help, "Primality Testing Method Constants");
    const std::vector<comrt::TlbEnumConst> constants = {
        {"kivAKS", 1}, {"kivTrial_Division", 2}, {"kivRabin_Miller", 3}};
    EXPECT_EQ(lib.enums[0].constants, constants);

    ASSERT_EQ(lib.coclasses.size(), 1u);
    EXPECT_EQ(lib.coclasses[0].name, "Prime");
    EXPECT_EQ(lib.coclasses[0].clsid, CLSID_Prime);
    EXPECT_EQ(lib.coclasses[0].help, "Prime Class");
    EXPECT_TRUE(lib.coclasses[0].creatable);
    EXPECT_EQ(lib.coclasses[0].default_interface, 0u);

    ASSERT_EQ(lib.interfaces.size(), 1u);
    const comrt::TlbInterface& itf = lib.interfaces[0];
    EXPECT_EQ(itf.name, "IPrime");
    EXPECT_EQ(itf.iid, IID_IPrime);
    EXPECT_EQ(itf.help, "IPrime Interface");
    EXPECT_TRUE(itf.dual && itf.oleautomation && itf.nonextensible);

    struct P {
        const char* name;
        VARTYPE vt;
        bool by_pointer;
        USHORT flags;
    };
    const USHORT in = PARAMFLAG_FIN, out = PARAMFLAG_FOUT, none = PARAMFLAG_NONE;
    const USHORT opt = PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;
    struct F {
        const char* name;
        const char* help;
        std::vector<P> params;
    };
    const F expected[] = {
        {"IsPrime",
         "method IsPrime",
         {{"bstrPrimeNum", VT_BSTR, false, in},
          {"lPrimalityTestingMethod", VT_I4, false, in},
          {"lNumTrials", VT_I4, false, none},
          {"pbRet", VT_I4, true, out}}},
        {"IsInt64Prime",
         "method IsInt64Prime",
         {{"ulPrimeNum", VT_UI8, false, in},
          {"lPrimalityTestingMethod", VT_I4, false, in},
          {"lNumTrials", VT_I4, false, none},
          {"pbRet", VT_I4, true, out}}},
        {"GetGBPairUsingRM",
         "method GetGBPairUsingRM",
         {{"bstrEvenNum", VT_BSTR, false, in},
          {"lNumTrials", VT_I4, false, in},
          {"pbstrFirst", VT_BSTR, true, out},
          {"pbstrSecond", VT_BSTR, true, out},
          {"pbRet", VT_I4, true, out},
          {"numThreadsPerCore", VT_UI4, false, opt}}},
        {"TestKIV",
         "",
         {{"numDigits", VT_UI8, false, in},
          {"bWriteResultsToFile", VT_I4, false, in},
          {"pbstrStatus", VT_BSTR, true, out},
          {"pbRet", VT_I4, true, out},
          {"numThreadsPerCore", VT_UI4, false, opt}}},
        {"GetSysInfo", "method GetSysInfo", {{"pbstrSysInfo", VT_BSTR, true, out}}},
    };
    ASSERT_EQ(itf.funcs.size(), std::size(expected));
    for (std::size_t i = 0; i < itf.funcs.size(); ++i) {
        const comrt::TlbFunc& f = itf.funcs[i];
        EXPECT_EQ(f.name, expected[i].name);
        EXPECT_EQ(f.dispid, static_cast<DISPID>(i + 1));
        EXPECT_EQ(f.help, expected[i].help);
        ASSERT_EQ(f.params.size(), expected[i].params.size()) << f.name;
        for (std::size_t k = 0; k < f.params.size(); ++k) {
            const P& p = expected[i].params[k];
            EXPECT_EQ(f.params[k].name, p.name);
            EXPECT_EQ(f.params[k].vt, p.vt) << p.name;
            EXPECT_EQ(f.params[k].by_pointer, p.by_pointer) << p.name;
            EXPECT_EQ(f.params[k].flags, p.flags) << p.name;
            EXPECT_EQ(f.params[k].default_value, p.flags & PARAMFLAG_FHASDEFAULT ? 130 : 0)
                << p.name;
        }
    }
}

}  // namespace
