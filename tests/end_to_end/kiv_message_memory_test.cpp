// What clients' messages make the server hold: unfinished messages are bounded, all
// connections together, and a finished message leaves nothing behind.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/ole/channel.h"
#include "platform/ole/wire.h"
#include "platform/os/runtime_dir.h"
#include "platform/win32.h"
#include "server/interface/iprime.h"
#include "tests/support/kiv_process.h"
#include "tests/support/registered_server.h"
#include "tests/support/scoped_env.h"

namespace {

using namespace std::chrono_literals;

// Resident bytes of a process (VmRSS).
long ResidentBytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long kb = 0;
    while (status >> key) {
        if (key == "VmRSS:" && status >> kb)
            return kb * 1024;
        status.ignore(4096, '\n');
    }
    return -1;
}

// Sanitizers keep freed memory in quarantine and add shadow memory: sizes say nothing there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kMeasured = false;
#else
constexpr bool kMeasured = true;
#endif

class KivMessageMemory : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { kivtest::AdoptOrphans(); }
    void SetUp() override {
        ASSERT_EQ(kivtest::RunKiv({"-RegServerPerUser"}), 0);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_EQ(CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IPrime,
                                   reinterpret_cast<void**>(&prime_)),
                  S_OK);
        server_ = kivtest::ServerPid();
        ASSERT_GT(server_, 0);
    }
    void TearDown() override {
        prime_.Release();
        kivtest::WaitExit(server_, 5s);
        CoUninitialize();
    }
    CComPtr<IPrime> prime_;
    pid_t server_ = 0;
};

TEST_F(KivMessageMemory, UnfinishedMessagesAreBoundedAndFinishedOnesLeaveNothing) {
    const long before = ResidentBytes(server_);
    ASSERT_GT(before, 0);
    std::string path =
        comrt::class_endpoint_path(comrt::runtime_dir_path(), guid_to_string(CLSID_Prime), ".sock");

    // Three clients each announce a message of the largest size and send 96 MiB of it, as
    // far as the server takes it within half a second at a time.
    const std::size_t part = std::size_t{96} << 20;
    const std::vector<unsigned char> chunk(std::size_t{1} << 20, 'x');
    std::vector<comrt::unique_fd> clients;
    for (int i = 0; i < 3; ++i) {
        comrt::unique_fd fd = comrt::connect_unix(path);
        ASSERT_TRUE(fd);
        timeval limit{0, 500'000};
        ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        const std::uint32_t length = comrt::wire::max_message;
        ASSERT_EQ(::send(fd.get(), &length, 4, MSG_NOSIGNAL), 4);
        for (std::size_t sent = 0; sent < part;) {
            ssize_t n =
                ::send(fd.get(), chunk.data(), std::min(chunk.size(), part - sent), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
        clients.push_back(std::move(fd));
    }
    const long holding = ResidentBytes(server_);
    if (kMeasured) {
        EXPECT_LT(holding - before, long(part) + (32l << 20))
            << "more than one unfinished large message held at once";
    }
    clients.clear();

    // An 80 MB request (a 40-million-character text, refused as a number) and its reply.
    _bstr_t text(std::u16string(40'000'000, u'x'));
    LONG ret = 7;
    EXPECT_EQ(prime_->IsPrime(text.GetBSTR(), kivRabin_Miller, 1, &ret), DISP_E_EXCEPTION);
    EXPECT_EQ(ret, 0);
    // The server frees what it can once the reply is out: give it a moment.
    long after = ResidentBytes(server_);
    for (auto deadline = std::chrono::steady_clock::now() + kivtest::kOneSecond;
         after - before >= (24l << 20) && std::chrono::steady_clock::now() < deadline;
         after = ResidentBytes(server_))
        std::this_thread::sleep_for(10ms);
    if (kMeasured) {
        EXPECT_LT(after - before, 24l << 20) << "the message's storage was kept";
    }
}

class KivStalledSender : public kivtest::RegisteredServerTest {};

TEST_F(KivStalledSender, LosesItsConnectionAndNeverHoldsUpOthers) {
    // Longer than others may wait for their answer: only the headroom lets them through.
    const auto limit = 3 * kivtest::kOneSecond;
    kivtest::ScopedEnv stall("COMRT_STALLED_SENDER_MS", std::to_string(limit.count()).c_str());
    CComPtr<IPrime> prime;
    ASSERT_EQ(CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IPrime,
                               reinterpret_cast<void**>(&prime)),
              S_OK);
    // A sender that claims a message of the largest size and stops a little way in.
    comrt::unique_fd stalled = comrt::connect_unix(comrt::class_endpoint_path(
        comrt::runtime_dir_path(), guid_to_string(CLSID_Prime), ".sock"));
    ASSERT_TRUE(stalled);
    std::vector<unsigned char> start(4 + (1 << 20), 'x');
    const std::uint32_t length = comrt::wire::max_message;
    std::memcpy(start.data(), &length, 4);
    ASSERT_EQ(::send(stalled.get(), start.data(), start.size(), MSG_NOSIGNAL),
              ssize_t(start.size()));

    // Another client's 80 KB request is answered meanwhile.
    auto answer = std::async(std::launch::async, [] {
        CoInitialize(nullptr);
        CComPtr<IPrime> other;
        HRESULT hr = CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IPrime,
                                      reinterpret_cast<void**>(&other));
        LONG ret = 0;
        _bstr_t n(std::u16string(40'000, u'1').c_str());
        if (SUCCEEDED(hr))
            hr = other->IsPrime(n.GetBSTR(), kivRabin_Miller, 1, &ret);
        other.Release();
        CoUninitialize();
        return hr;
    });
    bool answered = answer.wait_for(kivtest::kOneSecond) == std::future_status::ready;
    EXPECT_TRUE(answered) << "held up by the stalled sender";

    pollfd pfd{stalled.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&pfd, 1, int((limit + kivtest::kOneSecond).count())), 1);
    char byte;
    EXPECT_EQ(::recv(stalled.get(), &byte, 1, MSG_DONTWAIT), 0) << "the stalled sender stays";
    stalled.reset();
    EXPECT_EQ(answer.get(), S_OK);
}

}  // namespace
