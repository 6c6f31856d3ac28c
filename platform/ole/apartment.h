#pragma once
// Single-threaded apartments and the thread message queue. CoInitialize gives the calling
// thread a queue; GetMessageA waits on the queue and on the runtime's sockets together, so
// incoming calls reach the thread only through its message loop, one at a time.
#include <cstdint>
#include <functional>

#include "platform/base/types.h"

using HWND = void*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;
struct POINT {
    LONG x;
    LONG y;
};
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;
inline constexpr DWORD COINIT_MULTITHREADED = 0x0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

HRESULT CoInitialize(LPVOID pvReserved);
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void CoUninitialize();

// Returns 0 for WM_QUIT, -1 when the thread has no apartment, otherwise non-zero.
BOOL GetMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
BOOL TranslateMessage(const MSG* lpMsg);
LRESULT DispatchMessageA(const MSG* lpMsg);
BOOL PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam);

// Thread timers (no windows here: hWnd must be null). A due timer makes GetMessageA return
// WM_TIMER (wParam the timer's id, lParam its TIMERPROC) when no posted message waits;
// DispatchMessageA calls the TIMERPROC, if any. SetTimer with an id that is not one of the
// thread's timers makes a new one and returns its id; 0 without an apartment.
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);
UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent);

namespace comrt {

// The runtime's own sockets, watched by the calling thread's message loop: when `fd` is
// ready, GetMessageA returns a runtime message and DispatchMessageA runs `handler`.
using IoHandler = std::function<void(short revents)>;
bool apartment_watch(int fd, IoHandler handler);
void apartment_unwatch(int fd);
// What the loop waits for on a watched `fd` (poll events; POLLIN from apartment_watch). With
// none, the handler still runs when the peer hangs up or the socket fails.
void apartment_watch_events(int fd, short events);
// True when the calling thread has entered an apartment.
bool in_apartment();

}  // namespace comrt
