#pragma once
// Connectable objects: the standard interfaces through which an object offers outgoing
// (source) interfaces and clients hand it their sinks, in Windows' slot order and with
// Windows' IIDs, so code written for ole32 compiles against them unchanged.
#include "platform/base/interfaces.h"

inline constexpr IID IID_IProvideClassInfo = {
    0xB196B283, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IEnumConnectionPoints = {
    0xB196B285, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IConnectionPoint = {
    0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IEnumConnections = {
    0xB196B287, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

inline constexpr HRESULT CONNECT_E_NOCONNECTION = hresult(0x80040200);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = hresult(0x80040201);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = hresult(0x80040202);
inline constexpr HRESULT CONNECT_E_OVERRIDDEN = hresult(0x80040203);

struct CONNECTDATA {
    IUnknown* pUnk;
    DWORD dwCookie;
};
using LPCONNECTDATA = CONNECTDATA*;
using PCONNECTDATA = CONNECTDATA*;

struct IConnectionPoint;
struct IConnectionPointContainer;
using LPCONNECTIONPOINT = IConnectionPoint*;
using LPCONNECTIONPOINTCONTAINER = IConnectionPointContainer*;

struct IEnumConnections : IUnknown {
    static constexpr const IID& iid = IID_IEnumConnections;
    STDMETHOD(Next)(ULONG cConnections, LPCONNECTDATA rgcd, ULONG* pcFetched) = 0;
    STDMETHOD(Skip)(ULONG cConnections) = 0;
    STDMETHOD(Reset)() = 0;
    STDMETHOD(Clone)(IEnumConnections** ppEnum) = 0;

  protected:
    ~IEnumConnections() = default;
};
using LPENUMCONNECTIONS = IEnumConnections*;

struct IConnectionPoint : IUnknown {
    static constexpr const IID& iid = IID_IConnectionPoint;
    STDMETHOD(GetConnectionInterface)(IID* pIID) = 0;
    STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** ppCPC) = 0;
    STDMETHOD(Advise)(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
    STDMETHOD(Unadvise)(DWORD dwCookie) = 0;
    STDMETHOD(EnumConnections)(IEnumConnections** ppEnum) = 0;

  protected:
    ~IConnectionPoint() = default;
};

struct IEnumConnectionPoints : IUnknown {
    static constexpr const IID& iid = IID_IEnumConnectionPoints;
    STDMETHOD(Next)(ULONG cConnections, LPCONNECTIONPOINT* ppCP, ULONG* pcFetched) = 0;
    STDMETHOD(Skip)(ULONG cConnections) = 0;
    STDMETHOD(Reset)() = 0;
    STDMETHOD(Clone)(IEnumConnectionPoints** ppEnum) = 0;

  protected:
    ~IEnumConnectionPoints() = default;
};
using LPENUMCONNECTIONPOINTS = IEnumConnectionPoints*;

struct IConnectionPointContainer : IUnknown {
    static constexpr const IID& iid = IID_IConnectionPointContainer;
    STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** ppEnum) = 0;
    STDMETHOD(FindConnectionPoint)(REFIID riid, IConnectionPoint** ppCP) = 0;

  protected:
    ~IConnectionPointContainer() = default;
};

struct ITypeInfo;

// Scripting hosts ask for it in-process only; it never crosses processes here.
struct IProvideClassInfo : IUnknown {
    static constexpr const IID& iid = IID_IProvideClassInfo;
    STDMETHOD(GetClassInfo)(ITypeInfo** ppTI) = 0;

  protected:
    ~IProvideClassInfo() = default;
};

inline constexpr IID IID_IProvideClassInfo2 = {
    0xA6BC3AC0, 0xDBAA, 0x11CE, {0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
inline constexpr DWORD GUIDKIND_DEFAULT_SOURCE_DISP_IID = 1;

// How VBScript's WScript.CreateObject(progid, prefix) and Python's DispatchWithEvents find a
// class's default source interface.
struct IProvideClassInfo2 : IProvideClassInfo {
    static constexpr const IID& iid = IID_IProvideClassInfo2;
    STDMETHOD(GetGUID)(DWORD dwGuidKind, GUID* pGUID) = 0;

  protected:
    ~IProvideClassInfo2() = default;
};
