#include "platform/ole/activation.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "platform/ole/apartment.h"
#include "platform/ole/channel.h"
#include "platform/ole/client_connection.h"
#include "platform/ole/launch.h"
#include "platform/ole/remote_object.h"
#include "platform/ole/wire.h"
#include "platform/oleaut/error_info.h"
#include "platform/os/environment.h"
#include "platform/registry/registry.h"

namespace {

using comrt::wire::Op;

using Clock = std::chrono::steady_clock;

// A server that has decided to stop has already unpublished itself: it refuses the activation
// or closes the connection, and the next connection reaches (or starts) its successor. Tries go
// on as long as servers keep stopping under us, for this long spent looking for a server; the
// time a reached server takes to answer (it may be serving a long call of another client)
// does not count. The environment may shorten it (tests).
std::chrono::milliseconds retry_limit() {
    return comrt::milliseconds_setting("COMRT_ACTIVATION_RETRY_MS", std::chrono::seconds(30));
}

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
    if (FAILED(hr)) {
        // A damaged hive reads as a missing class: say which file and where.
        std::string reports;
        for (const std::string& report : comrt::damaged_hives())
            reports += (reports.empty() ? "" : "\n") + report;
        if (!reports.empty())
            comrt::set_error_description("The registry cannot be read: " + reports);
        return hr;
    }
    const auto limit = retry_limit();
    Clock::duration looking{};  // time spent finding a server, not waiting for its answer
    for (int attempt = 0;; ++attempt) {
        if (attempt > 0) {
            if (looking > limit) {
                comrt::set_error_description(
                    "Every server of the class that was reached stopped before it could "
                    "serve the activation.");
                return CO_E_SERVER_EXEC_FAILURE;
            }
            auto pause = std::chrono::milliseconds(std::min(attempt, 20));
            std::this_thread::sleep_for(pause);
            looking += pause;
        }
        comrt::unique_fd fd;
        auto started = Clock::now();
        hr = comrt::connect_to_server(rclsid, command, fd);
        looking += Clock::now() - started;
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
