// A server out of file descriptors keeps serving its clients, refuses new ones at once and
// does not spin; it accepts again once descriptors come back.
#include <gtest/gtest.h>

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "platform/ole/channel.h"
#include "platform/ole/wire.h"
#include "platform/os/runtime_dir.h"
#include "platform/win32.h"
#include "server/interface/iprime.h"
#include "tests/support/kiv_process.h"
#include "tests/support/registered_server.h"

namespace {

using namespace std::chrono_literals;
using comrt::wire::Op;

int OpenDescriptors(pid_t pid) {
    int count = 0;
    std::string path = "/proc/" + std::to_string(pid) + "/fd";
    if (DIR* dir = ::opendir(path.c_str())) {
        while (dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                ++count;
        ::closedir(dir);
    }
    return count;
}

// User plus system CPU time of `pid`, in clock ticks.
long CpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            utime = std::stol(field);
        if (i == 15) {
            stime = std::stol(field);
            break;
        }
    }
    return utime + stime;
}

// The HRESULT that a fresh connection's activation request gets, or nullopt when no reply
// came within five seconds (or the server hung up without one).
std::optional<HRESULT> ActivateRaw(comrt::unique_fd& fd) {
    std::string path =
        comrt::class_endpoint_path(comrt::runtime_dir_path(), guid_to_string(CLSID_Prime), ".sock");
    fd = comrt::connect_unix(path);
    if (!fd)
        return std::nullopt;
    comrt::wire::Writer request;
    request.put(Op::GetClassObject);
    request.put_guid(CLSID_Prime);
    comrt::send_message(fd.get(), request.bytes());
    pollfd pfd{fd.get(), POLLIN, 0};
    if (::poll(&pfd, 1, 5000) != 1)
        return std::nullopt;
    auto reply = comrt::receive_message(fd.get());
    if (!reply)
        return std::nullopt;
    comrt::wire::Reader in(*reply);
    return in.get<HRESULT>();
}

class KivDescriptors : public kivtest::RegisteredServerTest {};

TEST_F(KivDescriptors, OutOfDescriptorsServesClientsRefusesNewOnesAndDoesNotSpin) {
    CComPtr<IPrime> prime;
    ASSERT_EQ(CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IPrime,
                               reinterpret_cast<void**>(&prime)),
              S_OK);
    pid_t server = kivtest::ServerPid();
    ASSERT_GT(server, 0);
    LONG ret = 0;
    _bstr_t n(u"97");
    // No call yet: what the first one needs was read when the interface was handed out.
    std::this_thread::sleep_for(100ms);  // the probe connection of ServerPid is gone
    // Room for two more connections, then none.
    rlimit limit{};
    ASSERT_EQ(::prlimit(server, RLIMIT_NOFILE, nullptr, &limit), 0);
    rlimit tight{static_cast<rlim_t>(OpenDescriptors(server) + 2), limit.rlim_max};
    ASSERT_EQ(::prlimit(server, RLIMIT_NOFILE, &tight, nullptr), 0);

    std::vector<comrt::unique_fd> connections(6);
    std::vector<std::optional<HRESULT>> replies;
    for (auto& fd : connections)
        replies.push_back(ActivateRaw(fd));
    int accepted = 0, refused = 0;
    for (const auto& hr : replies) {
        ASSERT_TRUE(hr) << "a new client was left waiting";
        accepted += *hr == S_OK;
        refused += *hr == HRESULT_FROM_WIN32(ERROR_TOO_MANY_OPEN_FILES);
    }
    EXPECT_GE(accepted, 1);
    EXPECT_GE(refused, 1);
    EXPECT_EQ(accepted + refused, int(replies.size()));

    long before = CpuTicks(server);
    std::this_thread::sleep_for(1s);
    EXPECT_LT(CpuTicks(server) - before, ::sysconf(_SC_CLK_TCK) / 2) << "the server spins";

    ret = 0;
    EXPECT_EQ(prime->IsPrime(n.GetBSTR(), kivTrial_Division, 0, &ret), S_OK)
        << "its client was dropped";
    EXPECT_EQ(ret, 1);

    connections.clear();  // descriptors come back
    comrt::unique_fd again;
    std::optional<HRESULT> later;
    for (auto deadline = std::chrono::steady_clock::now() + 5s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(20ms))
        if ((later = ActivateRaw(again)) && *later == S_OK)
            break;
    EXPECT_EQ(later, S_OK) << "new clients are still refused";
}

}  // namespace
