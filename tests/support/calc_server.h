#pragma once
// The Calc class served out of process by the test program itself: registered for the test's
// user with this program's path and --comrt-test-server, so activation relaunches the test
// program as a local server that serves Calc on its apartment and exits when its last object
// and lock are gone. Relaunched with --comrt-test-client, it is a client that calls Spin;
// with --comrt-test-sink, a client whose sink of Calc's events exits or sleeps.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>

#include "platform/win32.h"
#include "tests/platform/oleaut/calc_typelib.h"

namespace kivtest {

inline constexpr const char* kTestServerSwitch = "--comrt-test-server";
// --comrt-test-client MS: creates a Calc, calls Spin(MS) and prints "cancelled=N hr=0xH".
inline constexpr const char* kTestClientSwitch = "--comrt-test-client";
// --comrt-test-sink MODE [MS]: a client with a sink of Calc's events (calc_server.cpp).
inline constexpr const char* kTestSinkSwitch = "--comrt-test-sink";

// Registers the Calc type library and class for this user, served by this program.
::testing::AssertionResult RegisterCalcServer();
// The socket that serves `clsid` for this user, and the process behind it (0 when none).
std::string ClassSocket(REFCLSID clsid);
pid_t ClassServerPid(REFCLSID clsid);

// A test that activates the served Calc: registered, the test thread in an apartment, and no
// server left behind, however the test ended.
class CalcServerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;
};

}  // namespace kivtest
