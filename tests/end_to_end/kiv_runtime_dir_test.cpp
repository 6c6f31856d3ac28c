// A runtime directory that another user could have planted or can enter is refused by every
// program that would use it, with a message that names it and says what is wrong.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/ole/channel.h"
#include "platform/os/runtime_dir.h"
#include "platform/win32.h"
#include "server/interface/iprime.h"
#include "tests/support/error_info_probe.h"
#include "tests/support/kiv_process.h"
#include "tests/support/registered_server.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Outcome {
    std::optional<int> status;  // nullopt when it had to be killed
    std::string err;
};

// Runs `program` with stdout and stderr in a file, for at most five seconds.
Outcome RunBounded(const std::vector<std::string>& args) {
    std::string err_path = std::string(std::getenv("HOME")) + "/runtime_dir_err.txt";
    pid_t pid = ::fork();
    if (pid == 0) {
        if (!std::freopen(err_path.c_str(), "w", stderr) || !std::freopen("/dev/null", "w", stdout))
            ::_exit(126);
        std::vector<std::string> all = args;
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    Outcome run;
    run.status = kivtest::WaitExit(pid, 5s);
    if (!run.status) {
        ::kill(pid, SIGKILL);
        kivtest::WaitExit(pid, 2s);
    }
    std::ifstream f(err_path);
    std::stringstream s;
    s << f.rdbuf();
    run.err = s.str();
    return run;
}

class KivRuntimeDir : public kivtest::RegisteredServerTest {
  protected:
    void TearDown() override {
        Restore();
        RegisteredServerTest::TearDown();
    }
    void Restore() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
        fs::remove_all(dir_ + ".elsewhere", ignored);
        ::chmod(parent_.c_str(), 0700);
    }
    std::string dir_ = comrt::runtime_dir_path();
    std::string parent_ = fs::path(dir_).parent_path().string();
};

TEST_F(KivRuntimeDir, RefusedByClientsServerAndDebugListenerWithItsNameAndReason) {
    struct Row {
        const char* reason;
        bool needs_root;
        void (*plant)(const std::string& dir);
    };
    const Row rows[] = {
        {"is accessible by other users (mode 0755)", false,
         [](const std::string& dir) {
             fs::create_directory(dir);
             ::chmod(dir.c_str(), 0755);
         }},
        {"is a symbolic link", false,
         [](const std::string& dir) {
             fs::create_directory(dir + ".elsewhere");
             ::chmod((dir + ".elsewhere").c_str(), 0700);
             fs::create_directory_symlink(dir + ".elsewhere", dir);
         }},
        {"may be changed by other users (mode 0777)", false,
         [](const std::string& dir) { ::chmod(fs::path(dir).parent_path().c_str(), 0777); }},
        {"is owned by uid 12345", true,
         [](const std::string& dir) {
             fs::create_directory(dir);
             ::chmod(dir.c_str(), 0700);
             [[maybe_unused]] int rc = ::chown(dir.c_str(), 12345, 12345);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason);
        if (row.needs_root && ::geteuid() != 0)
            continue;  // only root can give a directory to another user
        Restore();
        row.plant(dir_);
        // The parent's fault names the parent, a prefix of the directory's own name.
        const std::string named =
            std::string(row.reason).find("changed") != std::string::npos ? parent_ : dir_;

        IUnknown* object = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_Prime, nullptr, CLSCTX_ALL, IID_IUnknown,
                                   reinterpret_cast<void**>(&object)),
                  E_ACCESSDENIED);
        auto seen = kivtest::TakeErrorInfo();
        ASSERT_TRUE(seen);
        std::string description = comrt::utf16_to_ansi(seen->description);
        EXPECT_NE(description.find(named), std::string::npos) << description;
        EXPECT_NE(description.find(row.reason), std::string::npos) << description;

        Outcome debug = RunBounded({COMRT_EXECUTABLE, "debug"});
        EXPECT_EQ(debug.status, 1) << "comrt debug listened in the refused directory";
        EXPECT_NE(debug.err.find(named), std::string::npos) << debug.err;
        EXPECT_NE(debug.err.find(row.reason), std::string::npos) << debug.err;

        Outcome server = RunBounded({kivtest::KivPath(), "-Embedding"});
        ASSERT_TRUE(server.status) << "the server served from the refused directory";
        EXPECT_NE(*server.status, 0);
        EXPECT_NE(server.err.find(named), std::string::npos) << server.err;
        EXPECT_NE(server.err.find(row.reason), std::string::npos) << server.err;
        EXPECT_FALSE(
            fs::exists(comrt::class_endpoint_path(dir_, guid_to_string(CLSID_Prime), ".sock")));
    }
}

}  // namespace
