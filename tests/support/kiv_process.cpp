#include "tests/support/kiv_process.h"

#include <sys/wait.h>

#include "server/interface/iprime.h"
#include "tests/support/calc_server.h"

namespace kivtest {

const char* KivPath() {
    return KIV_EXECUTABLE;
}

pid_t StartKiv(const std::vector<std::string>& args) {
    return Start(KivPath(), args);
}

int RunKiv(const std::vector<std::string>& args) {
    pid_t pid = StartKiv(args);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

pid_t ServerPid() {
    return ClassServerPid(CLSID_Prime);
}

}  // namespace kivtest
