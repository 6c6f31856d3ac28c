// The test main of the Windows build. The isolation the POSIX main makes with HOME and XDG
// (tests/support/test_main.cpp) is the private Wine prefix of the ctest run here: its registry
// and profile are the run's own. isolated_root() is a fresh folder under the prefix's temp.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/win32.h"
#include "tests/support/isolated_env.h"

namespace kivtest {
namespace {
std::string g_root;
}

const std::string& isolated_root() {
    return g_root;
}

}  // namespace kivtest

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path root =
        fs::temp_directory_path(error) / ("kivtest-" + std::to_string(GetCurrentProcessId()));
    if (error || !fs::create_directories(root, error))
        return 2;
    kivtest::g_root = root.generic_string();
    int result = RUN_ALL_TESTS();
    fs::remove_all(root, error);
    return result;
}
