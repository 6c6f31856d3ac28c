#include "server/host/kiv_module.h"

#include "server/host/class_factory.h"
#include "server/host/server_registration.h"
#include "server/interface/iprime.h"

namespace {
CkivModule g_module;
}

CkivModule& Module() {
    return g_module;
}

CkivModule::CkivModule() : m_dwMainThreadId(GetCurrentThreadId()) {}

ULONG CkivModule::Lock() {
    return CoAddRefServerProcess();
}

ULONG CkivModule::Unlock() {
    ULONG left = CoReleaseServerProcess();
    if (left == 0)
        PostThreadMessageA(m_dwMainThreadId, WM_QUIT, 0, 0);
    return left;
}

HRESULT CkivModule::Run(const std::string& commandLine) {
    if (m_bInitFailed)
        return static_cast<HRESULT>(0xFFFFFFFF);
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
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return CoRevokeClassObject(m_dwClassCookie);
}
