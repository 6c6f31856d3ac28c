#include "platform/ole/activation.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "platform/ole/apartment.h"
#include "platform/ole/channel.h"
#include "platform/ole/client_connection.h"
#include "platform/oleaut/error_info.h"
#include "platform/ole/launch.h"
#include "platform/ole/remote_object.h"
#include "platform/ole/wire.h"

namespace {

using comrt::wire::Op;

// A server that has decided to stop has already unpublished itself: it refuses the activation
// or closes the connection, and the next connection reaches (or starts) its successor. Tries go
// on as long as servers keep stopping under us, up to this bound.
constexpr auto retry_limit = std::chrono::seconds(30);

bool retryable(HRESULT hr) {
    return hr == CO_E_SERVER_STOPPING || hr == RPC_E_DISCONNECTED;
}

// The activation request and its reply. A server that refuses a client (no descriptors left)
// replies at once and hangs up, perhaps before the request is written: its reply still counts.
std::optional<std::vector<unsigned char>> exchange(int fd,
                                                   const std::vector<unsigned char>& request) {
    comrt::send_message(fd, request);
    return comrt::receive_message(fd);
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
    auto give_up = std::chrono::steady_clock::now() + retry_limit;
    for (int attempt = 0;; ++attempt) {
        if (attempt > 0) {
            if (std::chrono::steady_clock::now() > give_up) {
                comrt::set_error_description(
                    "Every server of the class that was reached stopped before it could "
                    "serve the activation.");
                return CO_E_SERVER_EXEC_FAILURE;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(attempt, 20)));
        }
        comrt::unique_fd fd;
        hr = comrt::connect_to_server(rclsid, command, fd);
        if (hr == CO_E_SERVER_STOPPING)
            continue;
        if (FAILED(hr))
            return hr;
        auto reply = exchange(fd.get(), request.bytes());
        if (!reply)
            continue;  // a stopping server hung up without a reply
        try {
            comrt::wire::Reader in(*reply);
            hr = in.get<HRESULT>();
            if (retryable(hr))
                continue;
            if (FAILED(hr))
                return hr;
            auto id = in.get<std::uint32_t>();
            IID dual = riid == IID_IDispatch ? in.get_guid() : riid;
            auto connection = std::make_shared<comrt::ClientConnection>(std::move(fd));
            return comrt::adopt_remote(std::move(connection), id, riid, dual, ppv);
        } catch (const comrt::wire::Malformed&) {
            return RPC_E_INVALID_DATAPACKET;
        }
    }
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
