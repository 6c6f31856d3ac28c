#pragma once
// CkivModule: the state of the kiv process, one per process, created before main runs.
#include <atomic>
#include <chrono>
#include <string>

#include "platform/win32.h"
#include "server/host/command_line.h"

enum class RegistrationScope { PerMachine, PerUser };

class CkivModule {
  public:
    CkivModule();

    // The whole life of the process after start-up; returns the exit code (an HRESULT).
    HRESULT Run(const std::string& commandLine);

    // Server-process references: one per live Prime object and per LockServer(TRUE). The
    // release that reaches zero stops activations and ends the message loop.
    ULONG Lock();
    ULONG Unlock();

  private:
    HRESULT Serve();
    // A server nobody uses ends: started for a client that died before it held an object or a
    // lock, or left holding only the class object, it would otherwise run for ever.
    void OnIdleTimer();

    DWORD m_dwMainThreadId;
    bool m_bComInitialized = false;
    RegistrationScope m_scope = RegistrationScope::PerMachine;
    DWORD m_dwClassCookie = 0;
    std::atomic<ULONG> m_cLocks{0};
    ULONG m_cClassObjectBaseline = 0;  // the references the runtime itself holds
    UINT_PTR m_idleTimer = 0;
    std::chrono::steady_clock::duration m_idleGrace{};
    std::chrono::steady_clock::time_point m_idleSince;
};

CkivModule& Module();
