// Registration switches of the real kiv executable, into the test's private hives.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/win32.h"
#include "server/interface/iprime.h"
#include "tests/support/kiv_process.h"

namespace {

using namespace std::chrono_literals;
using comrt::reg_get_string;
using comrt::reg_key_exists;

const std::string kClsid = guid_to_string(CLSID_Prime);
const std::string kAppId = guid_to_string(APPID_kiv);
const std::string kLibId = guid_to_string(LIBID_kivLib);
const std::string kIid = guid_to_string(IID_IPrime);

struct Expected {
    std::string key;
    std::string name;  // "" is the default value
    std::string value;
};

std::vector<Expected> ExpectedEntries() {
    const std::string module = std::string("\"") + kivtest::KivPath() + "\"";
    return {
        {"AppID\\" + kAppId, "", "kiv"},
        {"AppID\\kiv.EXE", "AppID", kAppId},
        {"kiv.Prime.1", "", "Prime Class"},
        {"kiv.Prime.1\\CLSID", "", kClsid},
        {"kiv.Prime", "", "Prime Class"},
        {"kiv.Prime\\CLSID", "", kClsid},
        {"kiv.Prime\\CurVer", "", "kiv.Prime.1"},
        {"CLSID\\" + kClsid, "", "Prime Class"},
        {"CLSID\\" + kClsid, "AppID", kAppId},
        {"CLSID\\" + kClsid + "\\ProgID", "", "kiv.Prime.1"},
        {"CLSID\\" + kClsid + "\\VersionIndependentProgID", "", "kiv.Prime"},
        {"CLSID\\" + kClsid + "\\LocalServer32", "", module},
        {"CLSID\\" + kClsid + "\\TypeLib", "", kLibId},
        {"TypeLib\\" + kLibId + "\\1.0", "", "kiv 1.0 Type Library"},
        {"TypeLib\\" + kLibId + "\\1.0\\0\\win64", "", kivtest::KivPath()},
        {"Interface\\" + kIid, "", "IPrime"},
        {"Interface\\" + kIid + "\\TypeLib", "", kLibId},
        {"Interface\\" + kIid + "\\TypeLib", "Version", "1.0"},
        // The interfaces for scripts, registered from the type library as IPrime is.
        {"Interface\\" + guid_to_string(IID_IPrime2), "", "IPrime2"},
        {"Interface\\" + guid_to_string(IID_IPrime2) + "\\TypeLib", "", kLibId},
        {"Interface\\" + guid_to_string(IID_IGoldbachPair), "", "IGoldbachPair"},
        {"Interface\\" + guid_to_string(IID_IGoldbachPair) + "\\TypeLib", "", kLibId},
        {"Interface\\" + guid_to_string(DIID__IPrimeEvents), "", "_IPrimeEvents"},
        {"Interface\\" + guid_to_string(DIID__IPrimeEvents) + "\\TypeLib", "", kLibId},
    };
}

void ExpectRegistered(HKEY root, const std::string& prefix) {
    for (const Expected& e : ExpectedEntries())
        EXPECT_EQ(reg_get_string(root, prefix + e.key, e.name), e.value) << e.key << " " << e.name;
    EXPECT_TRUE(reg_key_exists(root, prefix + "CLSID\\" + kClsid + "\\Programmable"));
}

TEST(KivRegistration, PerUserWritesOnlyBelowTheUserClassesAndUnregisters) {
    ASSERT_EQ(kivtest::RunKiv({"-RegServerPerUser"}), 0);
    ExpectRegistered(HKEY_CURRENT_USER, "Software\\Classes\\");
    EXPECT_FALSE(reg_key_exists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kClsid));

    ASSERT_EQ(kivtest::RunKiv({"-UnregServerPerUser"}), 0);
    for (const Expected& e : ExpectedEntries())
        EXPECT_FALSE(reg_key_exists(HKEY_CURRENT_USER, "Software\\Classes\\" + e.key)) << e.key;
    kivtest::Captured again = kivtest::RunCaptured(kivtest::KivPath(), {"-UnregServerPerUser"});
    EXPECT_EQ(again.status, 0) << "removing nothing failed: " << again.err;
    EXPECT_TRUE(reg_key_exists(HKEY_CURRENT_USER, "Software\\Classes\\AppID"));
    EXPECT_TRUE(reg_key_exists(HKEY_CURRENT_USER, "Software\\Classes\\CLSID"));
}

TEST(KivRegistration, SwitchesAreCaseInsensitiveWholeWords) {
    for (const char* word : {"/regserver", "-RegServer", "-REGSERVER"}) {
        SCOPED_TRACE(word);
        ASSERT_EQ(kivtest::RunKiv({word}), 0);
        ExpectRegistered(HKEY_LOCAL_MACHINE, "Software\\Classes\\");
        ASSERT_EQ(kivtest::RunKiv({"/UnregServer"}), 0);
        EXPECT_FALSE(reg_key_exists(HKEY_LOCAL_MACHINE, "Software\\Classes\\kiv.Prime"));
    }
}

TEST(KivRegistration, AnUnknownSwitchServesInstead) {
    pid_t pid = kivtest::StartKiv({"-RegServerX"});
    ASSERT_GT(pid, 0);
    // It serves, so its class becomes reachable; it registers nothing.
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (kivtest::ServerPid() != pid && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(kivtest::ServerPid(), pid);
    EXPECT_FALSE(reg_key_exists(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\" + kClsid));
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

TEST(KivRegistration, RegisteringTwiceLeavesOneCleanClassKey) {
    ASSERT_EQ(kivtest::RunKiv({"-RegServerPerUser"}), 0);
    const std::string stray = "Software\\Classes\\CLSID\\" + kClsid + "\\Stray";
    ASSERT_EQ(comrt::reg_set_string(HKEY_CURRENT_USER, stray, "", "left over"), ERROR_SUCCESS);
    ASSERT_EQ(kivtest::RunKiv({"-RegServerPerUser"}), 0);
    EXPECT_FALSE(reg_key_exists(HKEY_CURRENT_USER, stray));
    ExpectRegistered(HKEY_CURRENT_USER, "Software\\Classes\\");
}

TEST(KivRegistration, UnwritableMachineHiveFailsWithItsHresult) {
    // A machine hive that is a directory cannot be replaced: the first script fails and
    // nothing of the class is written.
    std::string machine = std::getenv("COMRT_MACHINE_DIR");
    std::filesystem::remove(machine + "/system.reg");
    std::filesystem::create_directories(machine + "/system.reg");
    int status = kivtest::RunKiv({"-RegServer"});
    EXPECT_NE(status, 0);
    std::filesystem::remove_all(machine + "/system.reg");
    EXPECT_FALSE(reg_key_exists(HKEY_LOCAL_MACHINE, "Software\\Classes\\kiv.Prime"));
}

TEST(KivRegistration, ConcurrentRunsLeaveTheClassWholeOrAbsent) {
    // The keys of every part of a registration: the class script and the type library.
    const std::string classes = "Software\\Classes\\";
    const std::string parts[] = {
        "kiv.Prime\\CLSID",
        "CLSID\\" + kClsid + "\\LocalServer32",
        "TypeLib\\" + kLibId + "\\1.0\\0\\win64",
        "Interface\\" + kIid + "\\TypeLib",
    };
    constexpr int kRounds = 6, kEach = 4;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<pid_t> runs;
        for (int i = 0; i < kEach; ++i) {
            runs.push_back(kivtest::StartKiv({"-RegServerPerUser"}));
            runs.push_back(kivtest::StartKiv({"-UnregServerPerUser"}));
        }
        for (pid_t pid : runs) {
            ASSERT_GT(pid, 0);
            auto status = kivtest::WaitExit(pid, 20 * kivtest::kOneSecond);
            if (!status)
                ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
            EXPECT_TRUE(status.has_value()) << "a registration run hung";
        }
        int present = 0;
        for (const std::string& part : parts)
            present += reg_key_exists(HKEY_CURRENT_USER, classes + part) ? 1 : 0;
        EXPECT_TRUE(present == 0 || present == static_cast<int>(std::size(parts)))
            << "round " << round << ": " << present << " of " << std::size(parts) << " parts";
    }
    kivtest::RunKiv({"-UnregServerPerUser"});
}

TEST(KivRegistration, DamagedHiveIsNamedOnStandardErrorAndLeftAsItIs) {
    struct Case {
        const char* name;
        std::string text;
        std::string where;
    };
    const Case cases[] = {
        {"truncated", "[Software\\Classes\\kiv.Prime]\n@=\"Prime Cl",
         ":2: truncated: the file ends inside this line"},
        {"garbage",
         std::string("\x7f"
                     "ELF\x02\x01\x01\0\n\0\0",
                     11),
         ":1: neither a key line \"[...]\" nor a value line"},
        {"one bad line", "[Software\\Ok]\n@=\"fine\"\n\"n\"=hex(1):zz\n", ":3: bad value"},
    };
    const std::string hive = comrt::user_hive_path();
    std::filesystem::create_directories(std::filesystem::path(hive).parent_path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        { std::ofstream(hive, std::ios::binary) << c.text; }
        const std::string report = hive + c.where + "\n";
        for (const char* action : {"-RegServerPerUser", "-UnregServerPerUser"}) {
            kivtest::Captured run = kivtest::RunCaptured(kivtest::KivPath(), {action});
            EXPECT_NE(run.status, 0) << action;
            EXPECT_EQ(run.err, "kiv: " + report) << action;
        }
        kivtest::Captured query =
            kivtest::RunCaptured(COMRT_EXECUTABLE, {"reg", "query", "HKCU\\Software"});
        EXPECT_EQ(query.status, 1);
        EXPECT_EQ(query.err, "comrt reg query: " + report);
        kivtest::Captured call =
            kivtest::RunCaptured(COMRT_EXECUTABLE, {"call", "kiv.Prime", "IsPrime", "7", "1", "0"});
        EXPECT_EQ(call.status, 1);
        EXPECT_EQ(call.err.rfind("comrt: " + report, 0), 0u) << call.err;
        // The console client says why the class cannot be found, not only that it cannot.
        kivtest::Captured console = kivtest::RunCaptured(KIVCLI_EXECUTABLE, {});
        EXPECT_NE(console.out.find("Class not registered\nThe registry cannot be read: " + report),
                  std::string::npos)
            << console.out;

        std::ifstream in(hive, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(bytes, c.text) << "the damaged hive was rewritten";
    }
    std::filesystem::remove(hive);
}

}  // namespace
