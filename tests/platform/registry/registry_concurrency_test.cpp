// Several writers at once, in other processes and on other threads.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/registry.h"
#include "platform/registry/registry_tree.h"
#include "tests/platform/registry/hive_fixture.h"

namespace {

namespace fs = std::filesystem;
using comrt::registry_detail::parse_hive;
using comrt::registry_detail::serialize_hive;
using kivtest::read_text;

constexpr LSTATUS kOk = kivtest::kRegOk;
constexpr LSTATUS st(DWORD code) {
    return kivtest::reg_status(code);
}

class RegistryConcurrency : public kivtest::EmptyHives {};

TEST_F(RegistryConcurrency, ChangesByOtherProcessesAreSeen) {
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Shared", "v", "before"), kOk);
    EXPECT_EQ(comrt::reg_get_string(HKEY_CURRENT_USER, "Shared", "v"), "before");  // cached
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(comrt::reg_set_string(HKEY_CURRENT_USER, "Shared", "v", "after!") == kOk ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(comrt::reg_get_string(HKEY_CURRENT_USER, "Shared", "v"), "after!");
}

TEST_F(RegistryConcurrency, ConcurrentWritersInManyProcessesLoseNothing) {
    constexpr int kChildren = 4, kValues = 50;
    ASSERT_EQ(comrt::reg_set_string(HKEY_LOCAL_MACHINE, "Software\\Race", "", "start"), kOk);
    std::vector<pid_t> children;
    for (int c = 0; c < kChildren; ++c) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int i = 0; i < kValues; ++i) {
                std::string name = "c" + std::to_string(c) + "_" + std::to_string(i);
                // Alternate between the two writing paths, and read while others write.
                HKEY root = i % 2 ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
                const char* path = i % 2 ? "Software\\Classes\\Race" : "Race";
                if (comrt::reg_set_string(root, path, name, name + "-value") != kOk)
                    ++failures;
                if (!comrt::reg_get_string(HKEY_LOCAL_MACHINE, "Software\\Race"))
                    ++failures;
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto parsed = parse_hive(read_text(comrt::machine_hive_path()));
    ASSERT_TRUE(parsed.has_value());
    const auto* race = parsed->find({"Software", "Classes", "Race"});
    ASSERT_NE(race, nullptr);
    EXPECT_EQ(race->values.size(), static_cast<std::size_t>(kChildren * kValues));
    for (int c = 0; c < kChildren; ++c)
        for (int i = 0; i < kValues; ++i) {
            std::string name = "c" + std::to_string(c) + "_" + std::to_string(i);
            EXPECT_EQ(comrt::reg_get_string(HKEY_CLASSES_ROOT, "Race", name), name + "-value");
        }
    EXPECT_FALSE(fs::exists(comrt::machine_hive_path() + ".tmp")) << "no temporary left behind";
}

TEST_F(RegistryConcurrency, ConcurrentWritersOnThreadsLoseNothing) {
    constexpr int kThreads = 4, kValues = 25;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            CRegKey key;
            if (key.Create(HKEY_CURRENT_USER, "Threads") != kOk)
                ++failures;
            for (int i = 0; i < kValues; ++i) {
                std::string name = "t" + std::to_string(t) + "_" + std::to_string(i);
                if (key.SetStringValue(name.c_str(), name.c_str()) != kOk)
                    ++failures;
                if (comrt::reg_get_string(HKEY_CURRENT_USER, "Threads", name) != name)
                    ++failures;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    CRegKey key;
    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, "Threads"), kOk);
    DWORD count = 0;
    char name[64];
    for (DWORD cch = sizeof name;
         RegEnumValueA(key, count, name, &cch, nullptr, nullptr, nullptr, nullptr) == kOk;
         cch = sizeof name)
        ++count;
    EXPECT_EQ(count, static_cast<DWORD>(kThreads * kValues));
}

}  // namespace
