#pragma once
// HRESULT codes and macros as the Windows SDK defines them.
#include "platform/base/types.h"

inline constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
inline constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
inline constexpr DWORD HRESULT_CODE(HRESULT hr) {
    return static_cast<DWORD>(hr) & 0xFFFFu;
}
inline constexpr DWORD HRESULT_FACILITY(HRESULT hr) {
    return (static_cast<DWORD>(hr) >> 16) & 0x1FFFu;
}

inline constexpr DWORD FACILITY_ITF = 4;
inline constexpr DWORD FACILITY_WIN32 = 7;

inline constexpr HRESULT MAKE_HRESULT(DWORD severity, DWORD facility, DWORD code) {
    return static_cast<HRESULT>((severity << 31) | (facility << 16) | code);
}
inline constexpr HRESULT HRESULT_FROM_WIN32(DWORD err) {
    return static_cast<HRESULT>(err) <= 0
               ? static_cast<HRESULT>(err)
               : static_cast<HRESULT>((err & 0xFFFFu) | (FACILITY_WIN32 << 16) | 0x80000000u);
}

constexpr HRESULT hresult(std::uint32_t bits) {
    return static_cast<HRESULT>(bits);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = hresult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = hresult(0x80004002);
inline constexpr HRESULT E_POINTER = hresult(0x80004003);
inline constexpr HRESULT E_ABORT = hresult(0x80004004);
inline constexpr HRESULT E_FAIL = hresult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = hresult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = hresult(0x80070005);
inline constexpr HRESULT E_HANDLE = hresult(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = hresult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = hresult(0x80070057);

inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = hresult(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = hresult(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = hresult(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = hresult(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = hresult(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = hresult(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = hresult(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = hresult(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = hresult(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = hresult(0x8002000B);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = hresult(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = hresult(0x8002000F);

inline constexpr HRESULT TYPE_E_REGISTRYACCESS = hresult(0x8002801C);
inline constexpr HRESULT TYPE_E_LIBNOTREGISTERED = hresult(0x8002801D);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = hresult(0x8002802B);
inline constexpr HRESULT TYPE_E_INVALIDSTATE = hresult(0x80028029);
inline constexpr HRESULT TYPE_E_CANTLOADLIBRARY = hresult(0x80029C4A);
inline constexpr HRESULT TYPE_E_INVDATAREAD = hresult(0x80028018);
inline constexpr HRESULT TYPE_E_UNSUPFORMAT = hresult(0x80028019);

inline constexpr HRESULT CLASS_E_NOAGGREGATION = hresult(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hresult(0x80040111);
inline constexpr HRESULT REGDB_E_READREGDB = hresult(0x80040150);
inline constexpr HRESULT REGDB_E_WRITEREGDB = hresult(0x80040151);
inline constexpr HRESULT REGDB_E_KEYMISSING = hresult(0x80040152);
inline constexpr HRESULT REGDB_E_INVALIDVALUE = hresult(0x80040153);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = hresult(0x80040154);
inline constexpr HRESULT REGDB_E_IIDNOTREG = hresult(0x80040155);

inline constexpr HRESULT CO_E_NOTINITIALIZED = hresult(0x800401F0);
inline constexpr HRESULT CO_E_ALREADYINITIALIZED = hresult(0x800401F1);
inline constexpr HRESULT CO_E_CLASSSTRING = hresult(0x800401F3);
inline constexpr HRESULT CO_E_OBJNOTCONNECTED = hresult(0x800401FD);
inline constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = hresult(0x80080005);
inline constexpr HRESULT CO_E_SERVER_STOPPING = hresult(0x80080008);

inline constexpr HRESULT RPC_E_CALL_REJECTED = hresult(0x80010001);
inline constexpr HRESULT RPC_E_CALL_CANCELED = hresult(0x80010002);
inline constexpr HRESULT RPC_E_INVALID_DATAPACKET = hresult(0x80010009);
inline constexpr HRESULT RPC_E_SERVERFAULT = hresult(0x80010105);
inline constexpr HRESULT RPC_E_CHANGED_MODE = hresult(0x80010106);
inline constexpr HRESULT RPC_E_DISCONNECTED = hresult(0x80010108);
inline constexpr HRESULT RPC_E_WRONG_THREAD = hresult(0x8001010E);
inline constexpr HRESULT RPC_E_ACCESS_DENIED = hresult(0x8001011B);

inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_DATA = 13;
inline constexpr DWORD ERROR_OUTOFMEMORY = 14;
inline constexpr DWORD ERROR_WRITE_FAULT = 29;
inline constexpr DWORD ERROR_HANDLE_DISK_FULL = 39;
inline constexpr DWORD ERROR_FILE_EXISTS = 80;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_DISK_FULL = 112;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_INVALID_FLAGS = 1004;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;
inline constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
inline constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
// Registry status codes (LSTATUS).
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_BAD_PATHNAME = 161;
inline constexpr DWORD ERROR_MORE_DATA = 234;
inline constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
inline constexpr DWORD ERROR_BADDB = 1009;
inline constexpr DWORD ERROR_BADKEY = 1010;
inline constexpr DWORD ERROR_CANTOPEN = 1011;
inline constexpr DWORD ERROR_CANTREAD = 1012;
inline constexpr DWORD ERROR_CANTWRITE = 1013;
inline constexpr DWORD ERROR_KEY_DELETED = 1018;
