// Calls across processes: the round trip of a cheap call, and a cold activation (no server
// running) up to the first answer. Run by hand:
//   cmake --build --preset release --target activation_bench kiv &&
//   build/release/bench/activation_bench
// It registers kiv for a private temporary user profile and removes it afterwards.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "platform/ole/channel.h"
#include "platform/os/runtime_dir.h"
#include "platform/win32.h"
#include "server/interface/iprime.h"

namespace {

int RunKiv(const char* arg) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(KIV_EXECUTABLE, KIV_EXECUTABLE, arg, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ServerRunning() {
    std::string path =
        comrt::class_endpoint_path(comrt::runtime_dir_path(), guid_to_string(CLSID_Prime), ".sock");
    return static_cast<bool>(comrt::connect_unix(path));
}

HRESULT CheapCall(IPrime* prime) {
    static _bstr_t three(u"3");
    LONG ret = 0;
    return prime->IsPrime(three.GetBSTR(), kivRabin_Miller, 0, &ret);
}

void BM_RoundTrip(benchmark::State& state) {
    CComPtr<IPrime> prime;
    if (FAILED(CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IPrime,
                                reinterpret_cast<void**>(&prime)))) {
        state.SkipWithError("activation failed");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(CheapCall(prime));
}
// The median over the repetitions is the figure to read.
BENCHMARK(BM_RoundTrip)->Repetitions(5)->Unit(benchmark::kMicrosecond);

void BM_ColdActivationToFirstAnswer(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        while (ServerRunning())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        state.ResumeTiming();
        CComPtr<IPrime> prime;
        if (FAILED(CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IPrime,
                                    reinterpret_cast<void**>(&prime))) ||
            FAILED(CheapCall(prime))) {
            state.SkipWithError("activation failed");
            return;
        }
        state.PauseTiming();
        prime.Release();  // the server exits; the next round starts cold
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ColdActivationToFirstAnswer)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    char root[] = "/tmp/kivbench-XXXXXX";
    if (::mkdtemp(root) == nullptr)
        return 2;
    std::string base = root;
    std::filesystem::create_directories(base + "/run");
    std::filesystem::permissions(base + "/run", std::filesystem::perms::owner_all);
    ::setenv("HOME", base.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (base + "/data").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (base + "/run").c_str(), 1);
    ::setenv("COMRT_MACHINE_DIR", (base + "/machine").c_str(), 1);
    if (RunKiv("-RegServerPerUser") != 0)
        return 2;
    CoInitialize(nullptr);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    CoUninitialize();
    std::filesystem::remove_all(base);
    return 0;
}
