#pragma once
// The COM and OLE Automation interfaces the system implements or calls, in Windows' slot order.
#include "platform/base/guid.h"
#include "platform/base/hresult.h"
#include "platform/base/midl.h"
#include "platform/base/variant.h"

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ITypeLib = {0x00020402, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IErrorInfo = {
    0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ICreateErrorInfo = {
    0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

// An interface's IID, for templates (CComPtr::QueryInterface): the one an IDL compiler
// declared for it, or else its `iid` member (the runtime's own interfaces name theirs). In
// that order: an interface from IDL inherits its base's `iid`.
template <class T>
constexpr const IID& uuidof() {
    if constexpr (requires { comrt::declared_uuid<T>::value; })
        return comrt::declared_uuid<T>::value;
    else
        return T::iid;
}

struct IUnknown {
    static constexpr const IID& iid = IID_IUnknown;
    STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) = 0;
    STDMETHOD_(ULONG, AddRef)() = 0;
    STDMETHOD_(ULONG, Release)() = 0;

  protected:
    ~IUnknown() = default;  // objects are destroyed through Release, never through delete
};

struct IClassFactory : IUnknown {
    static constexpr const IID& iid = IID_IClassFactory;
    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    STDMETHOD(LockServer)(BOOL fLock) = 0;

  protected:
    ~IClassFactory() = default;
};

struct ITypeInfo;

struct IDispatch : IUnknown {
    static constexpr const IID& iid = IID_IDispatch;
    STDMETHOD(GetTypeInfoCount)(UINT* pctinfo) = 0;
    STDMETHOD(GetTypeInfo)(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    STDMETHOD(GetIDsOfNames)
    (REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) = 0;
    STDMETHOD(Invoke)
    (DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;

  protected:
    ~IDispatch() = default;
};

struct ISupportErrorInfo : IUnknown {
    static constexpr const IID& iid = IID_ISupportErrorInfo;
    STDMETHOD(InterfaceSupportsErrorInfo)(REFIID riid) = 0;

  protected:
    ~ISupportErrorInfo() = default;
};

struct IErrorInfo : IUnknown {
    static constexpr const IID& iid = IID_IErrorInfo;
    STDMETHOD(GetGUID)(GUID* pGUID) = 0;
    STDMETHOD(GetSource)(BSTR* pBstrSource) = 0;
    STDMETHOD(GetDescription)(BSTR* pBstrDescription) = 0;
    STDMETHOD(GetHelpFile)(BSTR* pBstrHelpFile) = 0;
    STDMETHOD(GetHelpContext)(DWORD* pdwHelpContext) = 0;

  protected:
    ~IErrorInfo() = default;
};

struct ICreateErrorInfo : IUnknown {
    static constexpr const IID& iid = IID_ICreateErrorInfo;
    STDMETHOD(SetGUID)(REFGUID rguid) = 0;
    STDMETHOD(SetSource)(LPOLESTR szSource) = 0;
    STDMETHOD(SetDescription)(LPOLESTR szDescription) = 0;
    STDMETHOD(SetHelpFile)(LPOLESTR szHelpFile) = 0;
    STDMETHOD(SetHelpContext)(DWORD dwHelpContext) = 0;

  protected:
    ~ICreateErrorInfo() = default;
};
