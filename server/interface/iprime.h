#pragma once
// The IPrime contract: what a client of kiv compiles against. Header only; a client links
// the platform and nothing of the server.
#include "platform/win32.h"

// Type library kivLib 1.0.
inline constexpr GUID LIBID_kivLib = {
    0xE253A1A0, 0x8798, 0x459D, {0xAD, 0x98, 0xC1, 0x2D, 0x9F, 0xEB, 0xC6, 0x81}};
// Coclass Prime.
inline constexpr CLSID CLSID_Prime = {
    0x86AB8EAA, 0x85E0, 0x4FF9, {0xAD, 0x65, 0x60, 0xAD, 0x6E, 0x3A, 0x32, 0x45}};
// Dual interface IPrime.
inline constexpr IID IID_IPrime = {
    0x8E59C07F, 0x8102, 0x44FD, {0xAB, 0x15, 0x6E, 0x4E, 0x06, 0xD9, 0xE0, 0xBF}};
// The typedef of the kivPrimalityTestingMethods enumeration.
inline constexpr GUID GUID_kivPrimalityTestingMethods = {
    0x094F975B, 0x9520, 0x451E, {0xB3, 0xE8, 0x09, 0xB1, 0x15, 0x1B, 0x06, 0x5D}};
// The kiv server application.
inline constexpr GUID APPID_kiv = {
    0xFD895915, 0x74C4, 0x4243, {0xB0, 0x1E, 0x00, 0xAD, 0xD1, 0x6B, 0xDC, 0xE2}};

// Primality testing methods; the methods take the number as a plain LONG.
enum kivPrimalityTestingMethods : LONG {
    kivAKS = 1,
    kivTrial_Division = 2,
    kivRabin_Miller = 3,
};

inline constexpr ULONG kivDefaultThreadsPerCore = 130;

struct IPrime : IDispatch {
    static constexpr const IID& iid = IID_IPrime;

    // DISPID 1
    STDMETHOD(IsPrime)
    (BSTR bstrPrimeNum, LONG lPrimalityTestingMethod, LONG lNumTrials, LONG* pbRet) = 0;
    // DISPID 2
    STDMETHOD(IsInt64Prime)
    (ULONGLONG ulPrimeNum, LONG lPrimalityTestingMethod, LONG lNumTrials, LONG* pbRet) = 0;
    // DISPID 3
    STDMETHOD(GetGBPairUsingRM)
    (BSTR bstrEvenNum, LONG lNumTrials, BSTR* pbstrFirst, BSTR* pbstrSecond, LONG* pbRet,
     ULONG numThreadsPerCore = kivDefaultThreadsPerCore) = 0;
    // DISPID 4
    STDMETHOD(TestKIV)
    (ULONGLONG numDigits, LONG bWriteResultsToFile, BSTR* pbstrStatus, LONG* pbRet,
     ULONG numThreadsPerCore = kivDefaultThreadsPerCore) = 0;
    // DISPID 5
    STDMETHOD(GetSysInfo)(BSTR* pbstrSysInfo) = 0;

  protected:
    ~IPrime() = default;
};
