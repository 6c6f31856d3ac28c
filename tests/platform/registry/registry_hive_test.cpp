// The hive files themselves: who can take their lock, and what a damaged one reports.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/registry/registry.h"
#include "platform/registry/registry_transaction.h"
#include "tests/platform/registry/hive_fixture.h"
#include "tests/support/scoped_env.h"

namespace {

namespace fs = std::filesystem;
using kivtest::read_text;

class RegistryHive : public kivtest::EmptyHives {};

// Whether a process of another user (nobody) can open `path` for reading; nullopt when this
// test cannot switch users (not root).
std::optional<bool> OthersCanOpen(const std::string& path) {
    if (::geteuid() != 0)
        return std::nullopt;
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ::_exit(fd >= 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 2)
        return std::nullopt;
    return WEXITSTATUS(status) == 0;
}

TEST_F(RegistryHive, OnlyTheOwnerCanOpenAHivesLock) {
    // The machine hive in a folder every user can reach, as /var/lib/comrt is.
    char pattern[] = "/tmp/kivtest-machine-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string open_dir = pattern;
    ::chmod(open_dir.c_str(), 0755);
    {
        kivtest::ScopedEnv machine("COMRT_MACHINE_DIR", (open_dir + "/comrt").c_str());
        ASSERT_EQ(comrt::reg_set_string(HKEY_LOCAL_MACHINE, "Software\\K", "", "v"), 0);
        ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Software\\K", "", "v"), 0);
        for (const std::string& hive : {comrt::machine_hive_path(), comrt::user_hive_path()}) {
            struct stat st {};
            ASSERT_EQ(::stat((hive + ".lock").c_str(), &st), 0) << hive;
            EXPECT_EQ(st.st_mode & 0777, 0600u) << hive;
        }
        // Readers need no lock: the machine hive stays readable by all; its lock does not.
        const std::string hive = comrt::machine_hive_path();
        if (auto others = OthersCanOpen(hive + ".lock")) {
            EXPECT_FALSE(*others) << "another user could hold off the owner's writes";
            EXPECT_EQ(OthersCanOpen(hive), true);
        }
        // A lock file left readable by an older version is made private on the next write.
        ::chmod((hive + ".lock").c_str(), 0644);
        ASSERT_EQ(comrt::reg_set_string(HKEY_LOCAL_MACHINE, "Software\\K", "", "w"), 0);
        struct stat st {};
        ASSERT_EQ(::stat((hive + ".lock").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    fs::remove_all(open_dir);
}

TEST_F(RegistryHive, DamageIsReportedWithFileAndLineAndNeverOverwritten) {
    struct Case {
        const char* name;
        std::string text;
        std::string where;  // ":<line>: <what>"
    };
    const std::string header = "; comrt registry hive, format 1\n";
    const Case cases[] = {
        {"truncated", header + "[Software\\Classes\\kiv.Prime]\n@=\"Prime Cl",
         ":3: truncated: the file ends inside this line"},
        {"garbage", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
         ":1: neither a key line \"[...]\" nor a value line"},
        {"one bad line", header + "[Software\\Ok]\n@=\"fine\"\n\"n\"=hex(1):zz\n[Software\\B]\n",
         ":4: bad value"},
    };
    const std::string path = comrt::user_hive_path();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_directories(fs::path(path).parent_path());
        { std::ofstream(path, std::ios::binary) << c.text; }
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key),
                  kivtest::reg_status(ERROR_BADDB));
        const auto reports = comrt::damaged_hives();
        EXPECT_EQ(std::count(reports.begin(), reports.end(), path + c.where), 1)
            << (reports.empty() ? "no report" : reports.front());

        EXPECT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, "Software\\New", "", "x"),
                  kivtest::reg_status(ERROR_BADDB));
        {
            comrt::registry_transaction transaction(HKEY_CURRENT_USER);
            EXPECT_EQ(transaction.status(), kivtest::reg_status(ERROR_BADDB));
            EXPECT_EQ(transaction.commit(), kivtest::reg_status(ERROR_BADDB));
        }
        EXPECT_EQ(read_text(path), c.text) << "the damaged file is left as it was";

        fs::remove(path);  // a hive that reads again is no longer reported
        EXPECT_FALSE(comrt::reg_key_exists(HKEY_CURRENT_USER, "Software"));
        EXPECT_TRUE(comrt::damaged_hives().empty());
    }
}

}  // namespace
