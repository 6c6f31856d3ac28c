#pragma once
// kivtest::DebugListener: receives the texts the process passes to OutputDebugStringA, one per
// call: the runtime's listener here, the DBWIN buffer (what a debug viewer reads) on Windows.
#ifdef _WIN32
#include "tests/support/windows/dbwin_listener.h"
namespace kivtest {
using DebugListener = DbwinListener;
}
#else
#include "platform/win32.h"
namespace kivtest {
using DebugListener = comrt::DebugOutputListener;
}
#endif
