#pragma once
// Running the real kiv executable from tests: registration runs, the server that activation
// started, and its exit.
#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/process.h"

namespace kivtest {

// Path of the kiv executable under test.
const char* KivPath();
// Runs kiv with `args` and returns its exit status (-1 when it did not exit normally).
int RunKiv(const std::vector<std::string>& args);
// Starts kiv with `args` without waiting.
pid_t StartKiv(const std::vector<std::string>& args);
// The process serving CLSID_Prime for this user, found through its socket; 0 when none.
pid_t ServerPid();

}  // namespace kivtest
