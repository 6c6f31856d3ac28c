#pragma once
// The IPrime contract for C++: what widl generates from kiv.idl, the one place the contract is
// written, plus two values that are not part of it. Header only; a client links the platform
// and nothing of the server.
#include "platform/win32.h"
#include "server/interface/kiv.h"

// The kiv server application, named by its registration rather than by the type library.
inline constexpr GUID APPID_kiv = {
    0xFD895915, 0x74C4, 0x4243, {0xB0, 0x1E, 0x00, 0xAD, 0xD1, 0x6B, 0xDC, 0xE2}};

// kiv.idl's default for numThreadsPerCore, which late-bound callers get; C++ callers pass it.
inline constexpr ULONG kivDefaultThreadsPerCore = 130;
