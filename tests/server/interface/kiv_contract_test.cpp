// kiv.tlb as late-bound clients read it: every name, DISPID, type, flag, default and help
// string of IPrime, as the runtime's type library loader hands them out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/interface/iprime.h"

namespace {

struct Param {
    const char* name;
    VARTYPE vt;  // VT_PTR's target for `out` parameters
    bool out;
    ULONG default_value = 0;  // with PARAMFLAG_FHASDEFAULT
};

struct Method {
    const char* name;
    MEMBERID id;
    const char* help;
    std::vector<Param> params;
};

std::string Narrow(BSTR text) {
    std::string out;
    for (UINT i = 0; text != nullptr && i < SysStringLen(text); ++i)
        out += static_cast<char>(text[i]);
    return out;
}

TEST(KivContract, ClientsSeeEveryMethodAsDeclared) {
    const std::vector<Method> methods = {
        {"IsPrime",
         1,
         "method IsPrime",
         {{"bstrPrimeNum", VT_BSTR, false},
          {"lPrimalityTestingMethod", VT_I4, false},
          {"lNumTrials", VT_I4, false},
          {"pbRet", VT_I4, true}}},
        {"IsInt64Prime",
         2,
         "method IsInt64Prime",
         {{"ulPrimeNum", VT_UI8, false},
          {"lPrimalityTestingMethod", VT_I4, false},
          {"lNumTrials", VT_I4, false},
          {"pbRet", VT_I4, true}}},
        {"GetGBPairUsingRM",
         3,
         "method GetGBPairUsingRM",
         {{"bstrEvenNum", VT_BSTR, false},
          {"lNumTrials", VT_I4, false},
          {"pbstrFirst", VT_BSTR, true},
          {"pbstrSecond", VT_BSTR, true},
          {"pbRet", VT_I4, true},
          {"numThreadsPerCore", VT_UI4, false, 130}}},
        {"TestKIV",
         4,
         "method TestKIV",
         {{"numDigits", VT_UI8, false},
          {"bWriteResultsToFile", VT_I4, false},
          {"pbstrStatus", VT_BSTR, true},
          {"pbRet", VT_I4, true},
          {"numThreadsPerCore", VT_UI4, false, 130}}},
        {"GetSysInfo", 5, "method GetSysInfo", {{"pbstrSysInfo", VT_BSTR, true}}},
    };
    const std::u16string path(KIV_TLB_PATH, KIV_TLB_PATH + sizeof(KIV_TLB_PATH) - 1);
    CComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibEx(reinterpret_cast<LPCOLESTR>(path.c_str()), REGKIND_NONE, &lib), S_OK);
    CComPtr<ITypeInfo> info;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_IPrime, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    // The dispatch view, as oleaut32 reads the same file (oleautomation is the vtable view's).
    EXPECT_EQ(attr->wTypeFlags, TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE);
    const WORD funcs = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    std::size_t seen = 0;
    for (WORD i = 0; i < funcs; ++i) {
        FUNCDESC* func = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &func), S_OK);
        BSTR names[8] = {};
        UINT count = 0;
        ASSERT_EQ(info->GetNames(func->memid, names, 8, &count), S_OK);
        const std::string name = Narrow(names[0]);
        for (const Method& method : methods) {
            if (name != method.name)
                continue;
            SCOPED_TRACE(name);
            ++seen;
            EXPECT_EQ(func->memid, method.id);
            BSTR help = nullptr;
            ASSERT_EQ(info->GetDocumentation(func->memid, nullptr, &help, nullptr, nullptr), S_OK);
            EXPECT_EQ(Narrow(help), method.help);
            SysFreeString(help);
            ASSERT_EQ(static_cast<std::size_t>(func->cParams), method.params.size());
            ASSERT_EQ(count, method.params.size() + 1);
            for (std::size_t p = 0; p < method.params.size(); ++p) {
                const Param& want = method.params[p];
                const ELEMDESC& got = func->lprgelemdescParam[p];
                SCOPED_TRACE(want.name);
                EXPECT_EQ(Narrow(names[p + 1]), want.name);
                const USHORT flags = got.paramdesc.wParamFlags;
                if (want.out) {
                    ASSERT_EQ(got.tdesc.vt, VT_PTR);
                    EXPECT_EQ(got.tdesc.lptdesc->vt, want.vt);
                    EXPECT_EQ(flags, PARAMFLAG_FOUT);
                } else if (want.default_value != 0) {
                    EXPECT_EQ(got.tdesc.vt, want.vt);
                    EXPECT_EQ(flags, PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT);
                    ASSERT_NE(got.paramdesc.pparamdescex, nullptr);
                    VARIANT value;
                    VariantInit(&value);
                    ASSERT_EQ(VariantChangeType(
                                  &value, &got.paramdesc.pparamdescex->varDefaultValue, 0, VT_UI4),
                              S_OK);
                    EXPECT_EQ(value.ulVal, want.default_value);
                } else {
                    EXPECT_EQ(got.tdesc.vt, want.vt);
                    EXPECT_EQ(flags, PARAMFLAG_FIN);
                }
            }
        }
        for (UINT n = 0; n < count; ++n)
            SysFreeString(names[n]);
        info->ReleaseFuncDesc(func);
    }
    EXPECT_EQ(seen, methods.size());
}

}  // namespace
