#pragma once
// A test that talks to the real kiv: registered for the test's own user, the test thread in an
// apartment, and no server left behind for the next test, however the test ended.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>

#include "platform/win32.h"
#include "tests/support/kiv_process.h"

namespace kivtest {

class RegisteredServerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { AdoptOrphans(); }
    void SetUp() override {
        ASSERT_EQ(RunKiv({"-RegServerPerUser"}), 0);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override {
        if (pid_t pid = ServerPid()) {
            ::kill(pid, SIGKILL);
            WaitExit(pid, std::chrono::seconds(2));
        }
        // Servers that ended on their own were adopted by us.
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        CoUninitialize();
    }
};

}  // namespace kivtest
