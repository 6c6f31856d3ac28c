#include "platform/ole/class_registration.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/base/com_ptr.h"
#include "platform/ole/apartment.h"
#include "platform/ole/process_state.h"

namespace comrt {
namespace {

// A client that launched us waits on this pipe until the classes are reachable.
void signal_launcher() {
    const char* value = std::getenv(launch_fd_variable);
    if (value == nullptr)
        return;
    int fd = std::atoi(value);
    ::unsetenv(launch_fd_variable);
    if (fd > 2) {
        char ready = 1;
        [[maybe_unused]] auto ignored = ::write(fd, &ready, 1);
        ::close(fd);
    }
}

}  // namespace
}  // namespace comrt

using comrt::process_state;

HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags,
                              LPDWORD lpdwRegister) {
    if (pUnk == nullptr || lpdwRegister == nullptr)
        return E_INVALIDARG;
    *lpdwRegister = 0;
    if (!comrt::in_apartment())
        return CO_E_NOTINITIALIZED;
    if ((dwClsContext & CLSCTX_LOCAL_SERVER) == 0)
        return E_INVALIDARG;
    CComPtr<IClassFactory> factory;
    if (FAILED(pUnk->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return E_NOINTERFACE;
    bool publish = (flags & REGCLS_SUSPENDED) == 0;
    HRESULT hr = process_state().classes.add(rclsid, std::move(factory), publish, *lpdwRegister);
    if (SUCCEEDED(hr) && publish)
        comrt::signal_launcher();
    return hr;
}

HRESULT CoResumeClassObjects() {
    HRESULT hr = process_state().classes.resume();
    if (SUCCEEDED(hr))
        comrt::signal_launcher();
    return hr;
}

HRESULT CoSuspendClassObjects() {
    process_state().classes.suspend();
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD dwRegister) {
    return process_state().classes.revoke(dwRegister);
}

ULONG CoAddRefServerProcess() {
    return ++process_state().server_references;
}

ULONG CoReleaseServerProcess() {
    ULONG left = --process_state().server_references;
    if (left == 0)
        CoSuspendClassObjects();
    return left;
}
