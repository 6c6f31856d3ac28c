#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/isolated_env.h"
#include "tests/support/relaunch.h"

namespace kivtest {
namespace {
std::string g_root;
}

const std::string& isolated_root() {
    return g_root;
}

}  // namespace kivtest

int main(int argc, char** argv) {
    // Relaunched by a test: the environment, isolated already, is the test's own.
    if (argc > 1 && std::string(argv[1]).starts_with("--comrt-test-"))
        return kivtest::RunRelaunched ? kivtest::RunRelaunched(argc, argv) : 2;
    testing::InitGoogleTest(&argc, argv);
    char pattern[] = "/tmp/kivtest-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 2;
    kivtest::g_root = pattern;
    const std::string& root = kivtest::g_root;
    for (const char* sub : {"/home", "/data", "/config", "/run", "/machine"})
        std::filesystem::create_directory(root + sub);
    std::filesystem::permissions(root + "/run", std::filesystem::perms::owner_all);
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
    setenv("COMRT_MACHINE_DIR", (root + "/machine").c_str(), 1);
    int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return result;
}
