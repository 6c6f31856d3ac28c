// The COM support functions comdef.h and comutil.h declare but do not define: Microsoft ships
// them in comsuppw.lib, mingw-w64 not at all.
#include <memory>

#include "platform/windows/win32_sdk.h"

// With the object's error information when it says it has some for this interface.
void WINAPI _com_issue_errorex(HRESULT hr, IUnknown* punk, REFIID riid) {
    IErrorInfo* info = nullptr;
    CComPtr<ISupportErrorInfo> support;
    if (punk != nullptr &&
        SUCCEEDED(
            punk->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support))) &&
        support->InterfaceSupportsErrorInfo(riid) == S_OK && GetErrorInfo(0, &info) != S_OK)
        info = nullptr;
    throw _com_error(hr, info);
}

namespace _com_util {

// ANSI text (the process's code page) to a new BSTR.
BSTR WINAPI ConvertStringToBSTR(const char* pSrc) {
    if (pSrc == nullptr)
        return nullptr;
    const int units = MultiByteToWideChar(CP_ACP, 0, pSrc, -1, nullptr, 0);
    if (units <= 0)
        return nullptr;
    BSTR bstr = SysAllocStringLen(nullptr, static_cast<UINT>(units - 1));
    if (bstr == nullptr)
        _com_issue_error(E_OUTOFMEMORY);
    MultiByteToWideChar(CP_ACP, 0, pSrc, -1, bstr, units);
    return bstr;
}

// A BSTR to new ANSI text, which _bstr_t frees with delete[].
char* WINAPI ConvertBSTRToString(BSTR pSrc) {
    if (pSrc == nullptr)
        return nullptr;
    const int length = static_cast<int>(SysStringLen(pSrc));
    const int bytes = WideCharToMultiByte(CP_ACP, 0, pSrc, length, nullptr, 0, nullptr, nullptr);
    auto text = std::make_unique<char[]>(static_cast<std::size_t>(bytes) + 1);
    WideCharToMultiByte(CP_ACP, 0, pSrc, length, text.get(), bytes, nullptr, nullptr);
    text[static_cast<std::size_t>(bytes)] = '\0';
    return text.release();
}

}  // namespace _com_util
