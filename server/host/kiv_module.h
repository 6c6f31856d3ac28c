#pragma once
// CkivModule: the state of the kiv process, one per process, created before main runs.
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

    DWORD MainThreadId() const { return m_dwMainThreadId; }

  private:
    HRESULT Serve();

    DWORD m_dwMainThreadId;
    bool m_bComInitialized = false;
    RegistrationScope m_scope = RegistrationScope::PerMachine;
    DWORD m_dwClassCookie = 0;
};

CkivModule& Module();
