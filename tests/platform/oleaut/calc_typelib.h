#pragma once
// A small dual interface and its type library, described as data the way kivLib is, for the
// type library tests: an optional parameter with a default, BSTR and LONG out-parameters, a
// method that fails with error information, 64-bit arguments and a retval; and, for a served
// Calc, a call that waits for its cancellation and the server's counts.
#include "platform/win32.h"

namespace calctest {

inline constexpr GUID LIBID_CalcLib = {
    0x5A1C0B7E, 0x1D2E, 0x4F30, {0x9A, 0x41, 0x52, 0x63, 0x74, 0x85, 0x96, 0xA7}};
inline constexpr IID IID_ICalc = {
    0x5A1C0B7F, 0x1D2E, 0x4F30, {0x9A, 0x41, 0x52, 0x63, 0x74, 0x85, 0x96, 0xA7}};
inline constexpr CLSID CLSID_Calc = {
    0x5A1C0B80, 0x1D2E, 0x4F30, {0x9A, 0x41, 0x52, 0x63, 0x74, 0x85, 0x96, 0xA7}};
inline constexpr GUID GUID_CalcModes = {
    0x5A1C0B81, 0x1D2E, 0x4F30, {0x9A, 0x41, 0x52, 0x63, 0x74, 0x85, 0x96, 0xA7}};

struct ICalc : IDispatch {
    static constexpr const IID& iid = IID_ICalc;
    // DISPID 1
    STDMETHOD(Add)(LONG a, LONG b, LONG* pSum) = 0;
    // DISPID 2
    STDMETHOD(Describe)
    (BSTR bstrText, LONG lCount, BSTR* pbstrOut, LONG* pLen, ULONG scale = 130) = 0;
    // DISPID 3: fails with error information "calc failed" from source "Calc.Test"
    STDMETHOD(Fail)(LONG hr) = 0;
    // DISPID 4
    STDMETHOD(Wide)(LONGLONG a, ULONG b, ULONGLONG c, SHORT d, LONGLONG* pOut) = 0;
    // DISPID 5
    STDMETHOD(Twice)(LONG x, LONG* pRet) = 0;
    // DISPID 6: runs for ms milliseconds, or less when its caller goes (*pCancelled = 1)
    STDMETHOD(Spin)(LONG ms, LONG* pCancelled) = 0;
    // DISPID 7: the live objects and server locks of the process that serves it
    STDMETHOD(Counts)(LONG* pObjects, LONG* pLocks) = 0;

  protected:
    ~ICalc() = default;
};

using comrt::FuncDesc;
using comrt::ParamDesc;
inline constexpr USHORT in = PARAMFLAG_FIN;
inline constexpr USHORT out = PARAMFLAG_FOUT;

inline constexpr ParamDesc add_params[] = {
    {"a", VT_I4, false, in}, {"b", VT_I4, false, in}, {"pSum", VT_I4, true, out}};
inline constexpr ParamDesc describe_params[] = {
    {"bstrText", VT_BSTR, false, in},
    {"lCount", VT_I4, false, PARAMFLAG_NONE},
    {"pbstrOut", VT_BSTR, true, out},
    {"pLen", VT_I4, true, out},
    {"scale", VT_UI4, false, in | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT, 130}};
inline constexpr ParamDesc fail_params[] = {{"hr", VT_I4, false, in}};
inline constexpr ParamDesc wide_params[] = {{"a", VT_I8, false, in},
                                            {"b", VT_UI4, false, in},
                                            {"c", VT_UI8, false, in},
                                            {"d", VT_I2, false, in},
                                            {"pOut", VT_I8, true, out}};
inline constexpr ParamDesc twice_params[] = {{"x", VT_I4, false, in},
                                             {"pRet", VT_I4, true, out | PARAMFLAG_FRETVAL}};
inline constexpr ParamDesc spin_params[] = {{"ms", VT_I4, false, in},
                                            {"pCancelled", VT_I4, true, out}};
inline constexpr ParamDesc counts_params[] = {{"pObjects", VT_I4, true, out},
                                              {"pLocks", VT_I4, true, out}};

inline constexpr FuncDesc calc_funcs[] = {{"Add", 1, "method Add", add_params},
                                          {"Describe", 2, "method Describe", describe_params},
                                          {"Fail", 3, "", fail_params},
                                          {"Wide", 4, "method Wide", wide_params},
                                          {"Twice", 5, "method Twice", twice_params},
                                          {"Spin", 6, "method Spin", spin_params},
                                          {"Counts", 7, "method Counts", counts_params}};

inline constexpr comrt::EnumConstDesc mode_constants[] = {{"calcFast", 1}, {"calcExact", 7}};
inline constexpr comrt::EnumDesc calc_enums[] = {
    {"CalcModes", GUID_CalcModes, "Calculation modes", mode_constants}};
inline constexpr comrt::InterfaceDesc calc_interfaces[] = {
    {"ICalc", IID_ICalc, "ICalc Interface", true, true, true, calc_funcs}};
inline constexpr comrt::CoClassDesc calc_coclasses[] = {
    {"Calc", CLSID_Calc, "Calc Class", &calc_interfaces[0], true}};
inline constexpr comrt::TypeLibDesc calc_lib = {
    "CalcLib",  LIBID_CalcLib,   "Calc 1.0 Type Library", 1, 0, LOCALE_NEUTRAL, SYS_WIN64,
    calc_enums, calc_interfaces, calc_coclasses};

}  // namespace calctest
