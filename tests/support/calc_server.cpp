#include "tests/support/calc_server.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "platform/ole/channel.h"
#include "platform/os/runtime_dir.h"
#include "tests/platform/oleaut/calc_object.h"
#include "tests/support/isolated_env.h"
#include "tests/support/process.h"
#include "tests/support/relaunch.h"
#include "tests/support/tick_sink.h"

namespace kivtest {
namespace {

using calctest::CLSID_Calc;
using calctest::ICalc;
using calctest::IID_ICalc;

DWORD g_main_thread = 0;
std::atomic<LONG> g_objects{0}, g_locks{0};

// The sinks advised on any Calc of this server, by cookie (the apartment thread's alone).
std::map<DWORD, CComPtr<IDispatch>>& Sinks() {
    static std::map<DWORD, CComPtr<IDispatch>> sinks;
    return sinks;
}

// Tick(n, &cancel) through the sink's Invoke, as a connection point fires an event.
HRESULT SendTick(IDispatch* sink, LONG n, bool& cancel) {
    VARIANT_BOOL flag = VARIANT_FALSE;
    VARIANTARG args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[1].vt = VT_I4;
    args[1].lVal = n;
    args[0].vt = VT_BYREF | VT_BOOL;
    args[0].byref = &flag;
    DISPPARAMS params{args, nullptr, 2, 0};
    HRESULT hr = sink->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    cancel = flag != VARIANT_FALSE;
    return hr;
}

// The one connection point of every Calc: _ICalcEvents.
struct CalcEventsPoint final : IConnectionPoint {
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IConnectionPoint)
            return E_NOINTERFACE;
        *ppv = this;
        return S_OK;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetConnectionInterface(IID* iid) override {
        *iid = calctest::DIID__ICalcEvents;
        return S_OK;
    }
    HRESULT GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override {
        if (sink == nullptr || cookie == nullptr)
            return E_POINTER;
        CComPtr<IDispatch> events;
        if (FAILED(sink->QueryInterface(calctest::DIID__ICalcEvents,
                                        reinterpret_cast<void**>(&events))) &&
            FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&events))))
            return CONNECT_E_CANNOTCONNECT;
        *cookie = next_cookie++;
        Sinks()[*cookie] = events;
        return S_OK;
    }
    HRESULT Unadvise(DWORD cookie) override {
        return Sinks().erase(cookie) != 0 ? S_OK : CONNECT_E_NOCONNECTION;
    }
    HRESULT EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }
    DWORD next_cookie = 1;
};

constinit CalcEventsPoint g_events_point;

void HoldServer() {
    CoAddRefServerProcess();
}

void ReleaseServer() {
    if (CoReleaseServerProcess() == 0)
        PostThreadMessageA(g_main_thread, WM_QUIT, 0, 0);
}

// A Calc that lives on the heap, holds the server while it lives, and can be cancelled.
class ServedCalc final : public calctest::CCalc, public IConnectionPointContainer {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv != nullptr && riid == IID_IConnectionPointContainer) {
            *ppv = static_cast<IConnectionPointContainer*>(this);
            AddRef();
            return S_OK;
        }
        return CCalc::QueryInterface(riid, ppv);
    }
    HRESULT EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
        *point = nullptr;
        if (riid != calctest::DIID__ICalcEvents)
            return CONNECT_E_NOCONNECTION;
        *point = &g_events_point;
        return S_OK;
    }
    HRESULT Child(ICalc** child) override;
    HRESULT Notify(IDispatch* sink, LONG times, LONG* pTicks) override {
        if (sink == nullptr || pTicks == nullptr)
            return E_POINTER;
        *pTicks = 0;
        for (LONG n = 1; n <= times; ++n) {
            bool cancel = false;
            if (HRESULT hr = SendTick(sink, n, cancel); FAILED(hr)) {
                *pTicks = hr;
                return S_OK;
            }
            ++*pTicks;
            if (cancel)
                break;
        }
        return S_OK;
    }
    HRESULT Fire(LONG times, LONG* pTicks, LONG* pLastHr) override {
        *pTicks = 0;
        *pLastHr = S_OK;
        auto sinks = Sinks();  // a sink may unadvise while it is called
        for (auto& [cookie, sink] : sinks)
            for (LONG n = 1; n <= times; ++n) {
                bool cancel = false;
                *pLastHr = SendTick(sink, n, cancel);
                if (SUCCEEDED(*pLastHr))
                    ++*pTicks;
            }
        return S_OK;
    }
    HRESULT Echo(IUnknown* in, IUnknown** out) override {
        *out = in;
        if (in != nullptr)
            in->AddRef();
        return S_OK;
    }
    ServedCalc() {
        ++g_objects;
        HoldServer();
    }
    ~ServedCalc() {
        --g_objects;
        ReleaseServer();
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0)
            std::unique_ptr<ServedCalc>(this).reset();
        return left;
    }
    HRESULT Spin(LONG ms, LONG* pCancelled) override {
        if (pCancelled == nullptr)
            return E_POINTER;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        *pCancelled = 0;
        while (std::chrono::steady_clock::now() < end) {
            if (CoTestCancel() == RPC_E_CALL_CANCELED) {
                *pCancelled = 1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return S_OK;
    }
    HRESULT Counts(LONG* pObjects, LONG* pLocks) override {
        if (pObjects == nullptr || pLocks == nullptr)
            return E_POINTER;
        *pObjects = g_objects;
        *pLocks = g_locks;
        return S_OK;
    }

  private:
    std::atomic<ULONG> refs_{1};
};

HRESULT ServedCalc::Child(ICalc** child) {
    auto calc = std::make_unique<ServedCalc>();
    HRESULT hr = calc->QueryInterface(IID_ICalc, reinterpret_cast<void**>(child));
    calc.release()->Release();  // the creator's reference; the last one frees it
    return hr;
}

struct CalcFactory final : IClassFactory {
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid != IID_IUnknown && riid != IID_IClassFactory) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = this;
        return S_OK;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        auto calc = std::make_unique<ServedCalc>();
        HRESULT hr = calc->QueryInterface(riid, ppv);
        calc.release()->Release();  // the creator's reference; the last one frees it
        return hr;
    }
    // Takes every unlock it is given, balanced or not: keeping each client's balance is the
    // runtime's part, and a lost lock shows here as a server that stops too early.
    HRESULT LockServer(BOOL lock) override {
        if (lock) {
            ++g_locks;
            HoldServer();
        } else {
            --g_locks;
            ReleaseServer();
        }
        return S_OK;
    }
};

// Never destroyed: connections still open when the server leaves hold it until exit.
constinit CalcFactory g_factory;

int Serve() {
    g_main_thread = GetCurrentThreadId();
    if (FAILED(CoInitialize(nullptr)))
        return 2;
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(CLSID_Calc, &g_factory, CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &cookie)) ||
        FAILED(CoResumeClassObjects()))
        return 3;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    CoRevokeClassObject(cookie);
    Sinks().clear();
    CoUninitialize();
    return 0;
}

// --comrt-test-sink advise: advises a sink on a Calc, says "advised" and exits without
// unadvising. --comrt-test-sink sleep MS: calls Notify with a sink that says "tick" and then
// sleeps MS milliseconds in its first Tick.
int SinkClient(const char* mode, LONG ms) {
    if (FAILED(CoInitialize(nullptr)))
        return 2;
    CComPtr<ICalc> calc;
    HRESULT hr = CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_LOCAL_SERVER, IID_ICalc,
                                  reinterpret_cast<void**>(&calc));
    if (FAILED(hr))
        return 3;
    TickSink sink([ms](LONG) {
        std::printf("tick\n");
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return false;
    });
    if (std::strcmp(mode, "advise") == 0) {
        CComPtr<IConnectionPointContainer> container;
        CComPtr<IConnectionPoint> point;
        DWORD cookie = 0;
        if (FAILED(calc.QueryInterface(&container)) ||
            FAILED(container->FindConnectionPoint(calctest::DIID__ICalcEvents, &point)) ||
            FAILED(point->Advise(&sink, &cookie)))
            return 4;
        std::printf("advised\n");
        std::fflush(stdout);
        ::_exit(0);  // gone without a word: the server keeps a proxy of the sink
    }
    LONG ticks = 0;
    hr = calc->Notify(&sink, 1, &ticks);
    std::printf("hr=0x%08X ticks=%ld\n", static_cast<unsigned>(hr), static_cast<long>(ticks));
    return 0;
}

int SpinClient(LONG ms) {
    if (FAILED(CoInitialize(nullptr)))
        return 2;
    LONG cancelled = -1;
    HRESULT hr;
    {
        CComPtr<ICalc> calc;
        hr = CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_LOCAL_SERVER, IID_ICalc,
                              reinterpret_cast<void**>(&calc));
        if (SUCCEEDED(hr))
            hr = calc->Spin(ms, &cancelled);
    }
    std::printf("cancelled=%ld hr=0x%08X\n", static_cast<long>(cancelled),
                static_cast<unsigned>(hr));
    CoUninitialize();
    return 0;
}

}  // namespace

int RunRelaunched(int argc, char** argv) {
    if (std::strcmp(argv[1], kTestServerSwitch) == 0)
        return Serve();
    if (std::strcmp(argv[1], kTestSinkSwitch) == 0 && argc > 2)
        return SinkClient(argv[2], argc > 3 ? std::atoi(argv[3]) : 0);
    if (argc > 2)
        return SpinClient(std::atoi(argv[2]));
    return 2;
}

::testing::AssertionResult RegisterCalcServer() {
    auto image = calctest::calc_tlb_bytes();
    if (image.empty())
        return ::testing::AssertionFailure() << "cannot read " << calctest::calc_tlb_path();
    std::string path = isolated_root() + "/calc.tlb";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    std::u16string wide = comrt::ansi_to_utf16(path);
    CComPtr<ITypeLib> lib;
    if (HRESULT hr = LoadTypeLib(wide.c_str(), &lib); FAILED(hr))
        return ::testing::AssertionFailure() << "LoadTypeLib: " << std::hex << hr;
    if (HRESULT hr = RegisterTypeLibForUser(lib, wide.c_str(), nullptr); FAILED(hr))
        return ::testing::AssertionFailure() << "RegisterTypeLibForUser: " << std::hex << hr;
    std::string key = "Software\\Classes\\CLSID\\" + guid_to_string(CLSID_Calc) + "\\LocalServer32";
    std::string command = "\"" + SelfPath() + "\" " + kTestServerSwitch;
    if (comrt::reg_set_string(HKEY_CURRENT_USER, key, "", command) != ERROR_SUCCESS)
        return ::testing::AssertionFailure() << "cannot write " << key;
    return ::testing::AssertionSuccess();
}

std::string ClassSocket(REFCLSID clsid) {
    return comrt::class_endpoint_path(comrt::runtime_dir_path(), guid_to_string(clsid), ".sock");
}

pid_t ClassServerPid(REFCLSID clsid) {
    comrt::unique_fd fd = comrt::connect_unix(ClassSocket(clsid));
    if (!fd)
        return 0;
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return 0;
    return peer.pid;
}

void CalcServerTest::SetUpTestSuite() {
    AdoptOrphans();
}

void CalcServerTest::SetUp() {
    ASSERT_TRUE(RegisterCalcServer());
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
}

void CalcServerTest::TearDown() {
    if (pid_t pid = ClassServerPid(CLSID_Calc)) {
        ::kill(pid, SIGKILL);
        WaitExit(pid, std::chrono::seconds(2));
    }
    // Servers that ended on their own were adopted by us.
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    CoUninitialize();
}

}  // namespace kivtest
