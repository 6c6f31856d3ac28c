// A client uses only what its own user set up: a class socket another user listens on is
// passed over (the client starts its own server, which takes the path), and a runtime
// directory another user owns or may enter is refused with a description that names it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/os/runtime_dir.h"
#include "tests/support/calc_server.h"
#include "tests/support/error_info_probe.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;
using calctest::CLSID_Calc;
using calctest::IID_ICalc;

constexpr uid_t kOtherUser = 12345;

// Listens on `path` as another user, hanging up on every client; 0 when it could not.
pid_t ListenAsOtherUser(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    pid_t pid = ::fork();
    if (pid != 0)
        return pid < 0 ? 0 : pid;
    // The path is bound while still ourselves; the listening user is who clients see.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0 || ::listen(fd, 8) != 0)
        ::_exit(1);
    for (;;) {
        int client = ::accept(fd, nullptr, nullptr);
        if (client >= 0)
            ::close(client);
    }
}

using ForeignOwner = kivtest::CalcServerTest;

TEST_F(ForeignOwner, AnotherUsersSocketIsPassedOver) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to listen as another user";
    std::string problem;
    ASSERT_TRUE(comrt::ensure_runtime_dir(problem)) << problem;
    std::string path = kivtest::ClassSocket(CLSID_Calc);
    ::unlink(path.c_str());  // left by a server an earlier test of this process killed
    pid_t other = ListenAsOtherUser(path);
    ASSERT_GT(other, 0);
    while (kivtest::ClassServerPid(CLSID_Calc) != other) {
        ASSERT_TRUE(kivtest::Running(other)) << "the other user's listener did not start";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    CComPtr<calctest::ICalc> calc;
    EXPECT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_LOCAL_SERVER, IID_ICalc,
                               reinterpret_cast<void**>(&calc)),
              S_OK);
    LONG sum = 0;
    if (calc) {
        EXPECT_EQ(calc->Add(2, 3, &sum), S_OK);
    }
    EXPECT_EQ(sum, 5);
    pid_t server = kivtest::ClassServerPid(CLSID_Calc);
    EXPECT_NE(server, other);
    EXPECT_NE(server, 0);
    calc.Release();
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
}

TEST_F(ForeignOwner, RuntimeDirectoryOfAnotherUserOrOpenToOthersIsRefused) {
    struct Row {
        const char* reason;
        bool needs_root;
        uid_t owner;
        mode_t mode;
    };
    const Row rows[] = {
        {"is owned by uid 12345", true, kOtherUser, 0700},
        {"is accessible by other users (mode 0755)", false, ::getuid(), 0755},
    };
    const std::string dir = comrt::runtime_dir_path();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason);
        if (row.needs_root && ::geteuid() != 0)
            continue;  // only root can give a directory to another user
        std::error_code ignored;
        fs::remove_all(dir, ignored);
        fs::create_directory(dir);
        ASSERT_EQ(::chmod(dir.c_str(), row.mode), 0);
        ASSERT_EQ(::chown(dir.c_str(), row.owner, row.owner), 0);

        IUnknown* object = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&object)),
                  E_ACCESSDENIED);
        auto seen = kivtest::TakeErrorInfo();
        ASSERT_TRUE(seen);
        std::string description = comrt::utf16_to_ansi(seen->description);
        EXPECT_NE(description.find(dir), std::string::npos) << description;
        EXPECT_NE(description.find(row.reason), std::string::npos) << description;
        EXPECT_EQ(kivtest::ClassServerPid(CLSID_Calc), 0);
        fs::remove_all(dir, ignored);
    }
}

}  // namespace
