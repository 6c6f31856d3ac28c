#include "server/host/kiv_module.h"

#include <algorithm>
#include <cstdlib>

#include "server/host/class_factory.h"
#include "server/host/server_registration.h"
#include "server/interface/iprime.h"

namespace {

CkivModule g_module;

// How long a server with no object, no lock and no holder of its class object waits for a
// client before it ends. The environment may shorten it (tests).
std::chrono::milliseconds IdleGrace() {
    if (const char* value = std::getenv("KIV_IDLE_EXIT_MS")) {
        char* end = nullptr;
        long long ms = std::strtoll(value, &end, 10);
        if (end != value && *end == '\0' && ms > 0)
            return std::chrono::milliseconds(ms);
    }
    return std::chrono::seconds(5);
}

}  // namespace

CkivModule& Module() {
    return g_module;
}

CkivModule::CkivModule() : m_dwMainThreadId(GetCurrentThreadId()) {}

ULONG CkivModule::Lock() {
    ++m_cLocks;
    return CoAddRefServerProcess();
}

ULONG CkivModule::Unlock() {
    --m_cLocks;
    ULONG left = CoReleaseServerProcess();
    if (left == 0)
        PostThreadMessageA(m_dwMainThreadId, WM_QUIT, 0, 0);
    return left;
}

HRESULT CkivModule::Run(const std::string& commandLine) {
    HRESULT hr = CoInitialize(nullptr);
    if (FAILED(hr))
        return hr;  // no other runtime can hold this thread's apartment here
    m_bComInitialized = true;

    ServerAction action = ScanCommandLine(commandLine);
    if (action == ServerAction::RegServerPerUser || action == ServerAction::UnregServerPerUser)
        m_scope = RegistrationScope::PerUser;
    switch (action) {
        case ServerAction::RegServer:
        case ServerAction::RegServerPerUser:
            hr = RegisterServer(m_scope);
            break;
        case ServerAction::UnregServer:
        case ServerAction::UnregServerPerUser:
            hr = UnregisterServer(m_scope);
            break;
        case ServerAction::Serve:
            hr = Serve();
            break;
    }
    if (m_bComInitialized)
        CoUninitialize();
    return hr;
}

HRESULT CkivModule::Serve() {
    HRESULT hr = CoRegisterClassObject(CLSID_Prime, &PrimeClassObject(), CLSCTX_LOCAL_SERVER,
                                       REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &m_dwClassCookie);
    if (FAILED(hr))
        return hr;
    hr = CoResumeClassObjects();
    if (FAILED(hr)) {
        CoRevokeClassObject(m_dwClassCookie);
        return hr;
    }
    m_cClassObjectBaseline = PrimeClassObject().References();
    m_idleGrace = IdleGrace();
    m_idleSince = std::chrono::steady_clock::now();
    auto tick = std::chrono::duration_cast<std::chrono::milliseconds>(m_idleGrace / 4);
    m_idleTimer =
        SetTimer(nullptr, 0, static_cast<UINT>(std::max<long long>(tick.count(), 10)), nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.wParam == m_idleTimer) {
            OnIdleTimer();
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (m_idleTimer != 0)
        KillTimer(nullptr, m_idleTimer);
    return CoRevokeClassObject(m_dwClassCookie);
}

void CkivModule::OnIdleTimer() {
    auto now = std::chrono::steady_clock::now();
    bool used = m_cLocks.load() != 0 || PrimeClassObject().References() > m_cClassObjectBaseline;
    if (used) {
        m_idleSince = now;
        return;
    }
    if (now - m_idleSince < m_idleGrace)
        return;
    // Refuse activations first, so a client that arrives now goes on to a fresh server.
    CoSuspendClassObjects();
    KillTimer(nullptr, m_idleTimer);
    m_idleTimer = 0;
    PostThreadMessageA(m_dwMainThreadId, WM_QUIT, 0, 0);
}
