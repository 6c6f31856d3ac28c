#pragma once
// Calc, the runtime's test class, as calc.idl declares it: ICalc from widl's header, and its
// type library, widl's calc.tlb, loaded as any .tlb is.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "tests/platform/oleaut/calc.h"

namespace calctest {

using ::CLSID_Calc;
using ::DIID__ICalcEvents;
using ::ICalc;
using ::ICalc2;
using ::IID_ICalc;
using ::IID_ICalc2;
using ::LIBID_CalcLib;

// The uuid of the CalcModes typedef, which widl names in the library only.
inline constexpr GUID GUID_CalcModes = {
    0x5A1C0B81, 0x1D2E, 0x4F30, {0x9A, 0x41, 0x52, 0x63, 0x74, 0x85, 0x96, 0xA7}};

// widl's calc.tlb in the build tree.
inline const char* calc_tlb_path() {
    return KIV_CALC_TLB_FILE;
}

// A file's bytes; empty when it cannot be read.
inline std::vector<unsigned char> file_bytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<unsigned char> calc_tlb_bytes() {
    return file_bytes(calc_tlb_path());
}

// The library loaded from calc.tlb (null on failure).
inline CComPtr<ITypeLib> load_calc_lib() {
    std::string path = calc_tlb_path();
    std::u16string wide(path.begin(), path.end());  // a build path: ASCII
    CComPtr<ITypeLib> lib;
    LoadTypeLib(wide.c_str(), &lib);
    return lib;
}

}  // namespace calctest
