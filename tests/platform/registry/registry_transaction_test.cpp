// Runs of changes that other processes see whole or not at all.
#include "platform/registry/registry_transaction.h"

#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "tests/platform/registry/hive_fixture.h"

namespace {

using kivtest::read_text;
using namespace std::chrono_literals;

constexpr LSTATUS kOk = kivtest::kRegOk;

class RegistryTransaction : public kivtest::EmptyHives {};

// The value that a reader outside the transaction sees ("-" for none): another thread reads
// the hive as another process would.
std::string SeenElsewhere(const char* path) {
    std::string text;
    std::thread([&] {
        auto value = comrt::reg_get_string(HKEY_CURRENT_USER, path);
        text = value ? *value : "-";
    }).join();
    return text;
}

TEST_F(RegistryTransaction, ChangesAreWrittenOnceOnCommitAndNotAtAllWithout) {
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Software\\Old", "", "old"), kOk);
    const std::string before = read_text(comrt::user_hive_path());
    for (bool commit : {false, true}) {
        SCOPED_TRACE(commit ? "committed" : "abandoned");
        {
            comrt::registry_transaction transaction(HKEY_CURRENT_USER);
            ASSERT_EQ(transaction.status(), kOk);
            ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Software\\New", "", "new"), kOk);
            ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Old"), kOk);
            // This thread sees its changes; the file and every other process do not yet.
            EXPECT_EQ(comrt::reg_get_string(HKEY_CURRENT_USER, "Software\\New"), "new");
            EXPECT_FALSE(comrt::reg_key_exists(HKEY_CURRENT_USER, "Software\\Old"));
            EXPECT_EQ(read_text(comrt::user_hive_path()), before);
            EXPECT_EQ(SeenElsewhere("Software\\Old"), "old");
            if (commit) {
                EXPECT_EQ(transaction.commit(), kOk);
            }
        }
        EXPECT_EQ(SeenElsewhere("Software\\New"), commit ? "new" : "-");
        EXPECT_EQ(SeenElsewhere("Software\\Old"), commit ? "-" : "old");
    }
}

TEST_F(RegistryTransaction, OtherWritersWaitForTheCommit) {
    comrt::registry_transaction transaction(HKEY_CURRENT_USER);
    ASSERT_EQ(transaction.status(), kOk);
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Software\\K", "", "first"), kOk);
    // Another writer (a thread: a forked child would share this thread's lock).
    std::atomic<bool> done{false};
    LSTATUS written = -1;
    std::thread writer([&] {
        written = comrt::reg_set_string(HKEY_CURRENT_USER, "Software\\K", "", "second");
        done = true;
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(done) << "the writer did not wait for the lock";
    EXPECT_EQ(transaction.commit(), kOk);
    writer.join();
    EXPECT_EQ(written, kOk);
    EXPECT_EQ(comrt::reg_get_string(HKEY_CURRENT_USER, "Software\\K"), "second");
}

}  // namespace
