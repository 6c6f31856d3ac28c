#include "platform/com/activation.h"

#include <chrono>
#include <thread>

#include "platform/com/apartment.h"
#include "platform/com/launch.h"
#include "platform/com/remote_object.h"
#include "platform/com/wire.h"

namespace {

using comrt::wire::Op;

// A server that is shutting down refuses the activation or drops the connection; the next
// attempt finds (or starts) a fresh one.
constexpr int activation_attempts = 5;

bool retryable(HRESULT hr) {
    return hr == CO_E_SERVER_STOPPING || hr == RPC_E_DISCONNECTED;
}

HRESULT activate(REFCLSID rclsid, DWORD dwClsContext, const comrt::wire::Writer& request,
                 REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (!comrt::in_apartment())
        return CO_E_NOTINITIALIZED;
    if ((dwClsContext & CLSCTX_LOCAL_SERVER) == 0)
        return REGDB_E_CLASSNOTREG;
    std::string command;
    HRESULT hr = comrt::local_server_command(rclsid, command);
    if (FAILED(hr))
        return hr;
    for (int attempt = 0; attempt < activation_attempts; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
        comrt::unique_fd fd;
        hr = comrt::connect_to_server(rclsid, command, fd);
        if (FAILED(hr))
            return hr;
        auto connection = std::make_shared<comrt::ClientConnection>(std::move(fd));
        auto reply = connection->exchange(request.bytes());
        if (!reply) {
            hr = RPC_E_DISCONNECTED;
            continue;
        }
        try {
            comrt::wire::Reader in(*reply);
            hr = in.get<HRESULT>();
            if (retryable(hr))
                continue;
            if (FAILED(hr))
                return hr;
            auto id = in.get<std::uint32_t>();
            IID dual = riid == IID_IDispatch ? in.get_guid() : riid;
            return comrt::adopt_remote(std::move(connection), id, riid, dual, ppv);
        } catch (const comrt::wire::Malformed&) {
            return RPC_E_INVALID_DATAPACKET;
        }
    }
    return retryable(hr) ? CO_E_SERVER_EXEC_FAILURE : hr;
}

}  // namespace

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
    comrt::wire::Writer request;
    request.put(Op::CreateInstance);
    request.put_guid(rclsid);
    request.put_guid(riid);
    request.put<std::uint8_t>(pUnkOuter != nullptr ? 1 : 0);
    return activate(rclsid, dwClsContext, request, riid, ppv);
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid, LPVOID* ppv) {
    comrt::wire::Writer request;
    request.put(Op::GetClassObject);
    request.put_guid(rclsid);
    // The server hands out its IClassFactory; other interfaces are asked for afterwards.
    void* factory = nullptr;
    HRESULT hr = activate(rclsid, dwClsContext, request, IID_IClassFactory, &factory);
    if (FAILED(hr))
        return hr;
    auto* unknown = static_cast<IClassFactory*>(factory);
    hr = riid == IID_IClassFactory ? S_OK : unknown->QueryInterface(riid, ppv);
    if (riid == IID_IClassFactory)
        *ppv = factory;
    else
        unknown->Release();
    return hr;
}

HRESULT OleRun(IUnknown* pUnknown) {
    return pUnknown == nullptr ? E_INVALIDARG : S_OK;
}
