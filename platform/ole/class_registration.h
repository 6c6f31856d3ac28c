#pragma once
// The server side of activation: class objects published for other processes, and the
// process-wide server reference count that decides when they stop being published.
#include "platform/base/interfaces.h"

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_ALL = 0x17;

inline constexpr DWORD REGCLS_SINGLEUSE = 0;
inline constexpr DWORD REGCLS_MULTIPLEUSE = 1;
inline constexpr DWORD REGCLS_MULTI_SEPARATE = 2;
inline constexpr DWORD REGCLS_SUSPENDED = 4;

// Registers `pUnk` (an IClassFactory) for `rclsid`. Activations are served by the calling
// thread's message loop; the thread must have entered an apartment.
HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags,
                              LPDWORD lpdwRegister);
// Publishes every class registered as suspended: other processes can now activate them.
HRESULT CoResumeClassObjects();
// Stops publishing (new activations are refused) without revoking.
HRESULT CoSuspendClassObjects();
HRESULT CoRevokeClassObject(DWORD dwRegister);

// One count per process, safe from any thread. The release that reaches zero suspends the
// class objects and returns 0.
ULONG CoAddRefServerProcess();
ULONG CoReleaseServerProcess();

namespace comrt {
// Environment variable through which a launching client hands the server a pipe; the server
// writes one byte to it once its classes are published.
inline constexpr char launch_fd_variable[] = "COMRT_LAUNCH_FD";
}  // namespace comrt
