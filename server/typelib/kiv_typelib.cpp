#include "server/typelib/kiv_typelib.h"

#include <iterator>

#include "server/interface/iprime.h"

namespace {

using comrt::EnumConstDesc;
using comrt::FuncDesc;
using comrt::ParamDesc;

constexpr EnumConstDesc method_constants[] = {{"kivAKS", kivAKS},
                                              {"kivTrial_Division", kivTrial_Division},
                                              {"kivRabin_Miller", kivRabin_Miller}};

constexpr comrt::EnumDesc enums[] = {{"kivPrimalityTestingMethods",
    {0x094F975B, 0x9520, 0x451E, {0xB3, 0xE8, 0x09, 0xB1, 0x15, 0x1B, 0x06, 0x5D}},
                                      "Primality Testing Method Constants", method_constants}};

constexpr USHORT in = PARAMFLAG_FIN;
constexpr USHORT out = PARAMFLAG_FOUT;
constexpr USHORT optional_in = PARAMFLAG_FIN | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT;

constexpr ParamDesc is_prime[] = {{"bstrPrimeNum", VT_BSTR, false, in},
                                  {"lPrimalityTestingMethod", VT_I4, false, in},
                                  {"lNumTrials", VT_I4, false, PARAMFLAG_NONE},
                                  {"pbRet", VT_I4, true, out}};
constexpr ParamDesc is_int64_prime[] = {{"ulPrimeNum", VT_UI8, false, in},
                                        {"lPrimalityTestingMethod", VT_I4, false, in},
                                        {"lNumTrials", VT_I4, false, PARAMFLAG_NONE},
                                        {"pbRet", VT_I4, true, out}};
constexpr ParamDesc get_gb_pair[] = {
    {"bstrEvenNum", VT_BSTR, false, in},
    {"lNumTrials", VT_I4, false, in},
    {"pbstrFirst", VT_BSTR, true, out},
    {"pbstrSecond", VT_BSTR, true, out},
    {"pbRet", VT_I4, true, out},
    {"numThreadsPerCore", VT_UI4, false, optional_in, kivDefaultThreadsPerCore}};
constexpr ParamDesc test_kiv[] = {
    {"numDigits", VT_UI8, false, in},
    {"bWriteResultsToFile", VT_I4, false, in},
    {"pbstrStatus", VT_BSTR, true, out},
    {"pbRet", VT_I4, true, out},
    {"numThreadsPerCore", VT_UI4, false, optional_in, kivDefaultThreadsPerCore}};
constexpr ParamDesc get_sys_info[] = {{"pbstrSysInfo", VT_BSTR, true, out}};

constexpr FuncDesc iprime_funcs[] = {
    {"IsPrime", 1, "method IsPrime", is_prime},
    {"IsInt64Prime", 2, "method IsInt64Prime", is_int64_prime},
    {"GetGBPairUsingRM", 3, "method GetGBPairUsingRM", get_gb_pair},
    {"TestKIV", 4, "", test_kiv},
    {"GetSysInfo", 5, "method GetSysInfo", get_sys_info}};

constexpr comrt::InterfaceDesc interfaces[] = {
    {"IPrime", IID_IPrime, "IPrime Interface", true, true, true, iprime_funcs}};

// The description against IPrime's vtable: function i is the method declared i-th in IPrime
// (vtable slot 7 + i), with that method's name and parameter types.
#define KIV_DESCRIBED_AT(i, method)                                            \
    static_assert(comrt::describes<&IPrime::method>(iprime_funcs[i], #method), \
                  "iprime_funcs[" #i "] does not describe IPrime::" #method)
KIV_DESCRIBED_AT(0, IsPrime);
KIV_DESCRIBED_AT(1, IsInt64Prime);
KIV_DESCRIBED_AT(2, GetGBPairUsingRM);
KIV_DESCRIBED_AT(3, TestKIV);
KIV_DESCRIBED_AT(4, GetSysInfo);
#undef KIV_DESCRIBED_AT
static_assert(std::size(iprime_funcs) == 5, "IPrime has five methods");
// Field by field: the SDK's GUID comparison is not constexpr.
constexpr bool SameGuid(const GUID& a, const GUID& b) {
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3;
}
static_assert(SameGuid(interfaces[0].iid, IID_IPrime));

constexpr comrt::CoClassDesc coclasses[] = {
    {"Prime", CLSID_Prime, "Prime Class", &interfaces[0], true}};

constexpr comrt::TypeLibDesc kiv_lib = {
    "kivLib",   LIBID_kivLib, "kiv 1.0 Type Library", 1, 0, LOCALE_NEUTRAL, SYS_WIN64, enums,
    interfaces, coclasses};

}  // namespace

const comrt::TypeLibDesc& KivTypeLibDesc() {
    return kiv_lib;
}
