#include "server/goldbach/results_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "server/goldbach/new_file.h"
#include "server/goldbach/results_folder.h"
#include "tests/server/goldbach/text_pattern.h"
#include "tests/server/goldbach/trace_capture.h"
#include "tests/support/isolated_env.h"
#include "tests/support/scoped_env.h"

namespace {

namespace fs = std::filesystem;
using kivtest::ScopedEnv;

TestRunRecord FoundRecord() {
    TestRunRecord record;
    record.numDigits = 3;
    record.numThreadsPerCore = 130;
    record.found = 1;
    record.qText = "100";
    record.qLength = 3;
    record.p1 = 3;
    record.p2 = 97;
    record.statusWord = "Success.";
    record.execTime = "0d 0h 0m 1s 250ms";
    record.sysInfo = u"CPU 0: Example\u00AE 8 cores\nTotal physical memory: 16 GB\n";
    return record;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A profile directory of its own, made HOME while the object lives.
class Profile {
  public:
    explicit Profile(const std::string& name, bool create = true)
        : m_dir(kivtest::isolated_root() + "/profile-" + name), m_home("HOME", m_dir.c_str()) {
        fs::remove_all(m_dir);
        if (create)
            fs::create_directories(m_dir);
    }
    const std::string& Dir() const { return m_dir; }

  private:
    std::string m_dir;
    ScopedEnv m_home;
};

TEST(ResultsFileContent, FoundPairWithSystemInformation) {
    const std::string expected =
        "Digits:\r\n3\r\n\r\n"
        "Q:\r\n100\r\n\r\n"
        "P1:\r\n3\r\n\r\n"
        "P2:\r\n97\r\n\r\n"
        "Status:\r\n"
        "Q length:  3\r\n"
        "P1 length: 1\r\n"
        "P2 length: 2\r\n"
        "Success.\r\n\r\n"
        "Exec Time:\r\n0d 0h 0m 1s 250ms\r\n\r\n"
        "Number of Threads used per Core:\r\n130\r\n\r\n"
        "System Info:\r\n"
        "CPU 0: Example\xAE 8 cores\r\nTotal physical memory: 16 GB\r\n\r\n\r\n";
    EXPECT_EQ(ResultsFileContent(FoundRecord()), expected);
}

TEST(ResultsFileContent, NoPairHasNoPairBlocksAndZeroLengths) {
    TestRunRecord record = FoundRecord();
    record.found = 0;
    record.statusWord = "Goldbach conjecture is false.";
    record.sysInfo.clear();
    const std::string expected =
        "Digits:\r\n3\r\n\r\n"
        "Q:\r\n100\r\n\r\n"
        "Status:\r\n"
        "Q length:  3\r\n"
        "P1 length: 0\r\n"
        "P2 length: 0\r\n"
        "Goldbach conjecture is false.\r\n\r\n"
        "Exec Time:\r\n0d 0h 0m 1s 250ms\r\n\r\n"
        "Number of Threads used per Core:\r\n130\r\n\r\n";
    EXPECT_EQ(ResultsFileContent(record), expected);
}

TEST(ResultsFileContent, FourWithAnEmptyReportEndsAfterTheThreadsValue) {
    TestRunRecord record = FoundRecord();
    record.numDigits = 1;
    record.qText = "4";
    record.qLength = 1;
    record.p1 = 2;
    record.p2 = 2;
    record.numThreadsPerCore = 2147483647;
    record.execTime = "0d 0h 0m 0s 0ms";
    record.sysInfo.clear();
    const std::string expected =
        "Digits:\r\n1\r\n\r\nQ:\r\n4\r\n\r\nP1:\r\n2\r\n\r\nP2:\r\n2\r\n\r\n"
        "Status:\r\nQ length:  1\r\nP1 length: 1\r\nP2 length: 1\r\nSuccess.\r\n\r\n"
        "Exec Time:\r\n0d 0h 0m 0s 0ms\r\n\r\n"
        "Number of Threads used per Core:\r\n2147483647\r\n\r\n";
    EXPECT_EQ(ResultsFileContent(record), expected);
}

TEST(ResultsFileName, CarriesTheRunAndTheLocalTime) {
    TestRunRecord record = FoundRecord();
    record.numDigits = 12;
    SYSTEMTIME local{};
    local.wYear = 2023;
    local.wMonth = 3;
    local.wDay = 24;
    local.wHour = 15;
    local.wMinute = 30;
    local.wSecond = 12;
    EXPECT_EQ(ResultsFileName(record, 8, &local),
              "12_130_8_0d-0h-0m-1s-250ms_1_20230324_153012.txt");
    EXPECT_EQ(ResultsFileName(record, 8, nullptr), "12_130_8_0d-0h-0m-1s-250ms_1_.txt");
    EXPECT_EQ(ResultsFileName(record, 8, &local, 1),
              "12_130_8_0d-0h-0m-1s-250ms_1_20230324_153012.txt");
    EXPECT_EQ(ResultsFileName(record, 8, &local, 2),
              "12_130_8_0d-0h-0m-1s-250ms_1_20230324_153012-2.txt");
    EXPECT_EQ(ResultsFileName(record, 8, nullptr, 13), "12_130_8_0d-0h-0m-1s-250ms_1_-13.txt");

    record.found = 0;
    record.numThreadsPerCore = 2;
    record.execTime = "1d 2h 3m 4s 5ms";
    local = SYSTEMTIME{};
    local.wYear = 987;  // zero-filled throughout
    local.wMonth = 1;
    local.wDay = 2;
    local.wHour = 3;
    local.wMinute = 4;
    local.wSecond = 5;
    EXPECT_EQ(ResultsFileName(record, 1, &local), "12_2_1_1d-2h-3m-4s-5ms_0_09870102_030405.txt");
}

// The status text after a WriteResultsFile into `folder`: the sentence and the file it names.
struct Written {
    std::string status;
    std::string path;
};

Written WriteInto(const TestRunRecord& record, const std::string& folder) {
    Written written;
    written.status = "Digits: 3\nSuccess.";
    WriteResultsFile(record, written.status);
    const std::string before = "Digits: 3\nSuccess.\nResults have been written to the file, '";
    const std::string after = "' successfully.";
    EXPECT_TRUE(kivtest::MatchesPattern(before + "*" + after, written.status)) << written.status;
    written.path = kivtest::Between(written.status, before, after);
    EXPECT_EQ(fs::path(written.path).parent_path().string(), folder);
    return written;
}

TEST(WriteResultsFile, WritesIntoKivUnderTheProfile) {
    Profile profile("kiv");
    const TestRunRecord record = FoundRecord();
    kivtest::TraceCapture trace;
    Written written = WriteInto(record, profile.Dir() + "/KIV");
    EXPECT_EQ(trace.Finish(), (std::vector<std::string>{"kiv: Writing to file...\n",
                                                        "kiv: Writing to file success.\n"}));
    EXPECT_EQ(Slurp(written.path), ResultsFileContent(record));

    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    const std::string name = "3_130_" + std::to_string(info.dwNumberOfProcessors) +
                             "_0d-0h-0m-1s-250ms_1_########_######.txt";
    const std::string fileName = fs::path(written.path).filename().string();
    EXPECT_TRUE(kivtest::MatchesPattern(name, fileName)) << fileName;
    EXPECT_EQ(Entries(profile.Dir() + "/KIV"), std::vector<std::string>{fileName})
        << "no temporary file left";
}

TEST(WriteResultsFile, UsesAnExistingKivFolder) {
    Profile profile("existing");
    fs::create_directory(profile.Dir() + "/KIV");
    std::ofstream(profile.Dir() + "/KIV/earlier.txt") << "kept";
    Written written = WriteInto(FoundRecord(), profile.Dir() + "/KIV");
    EXPECT_EQ(Slurp(profile.Dir() + "/KIV/earlier.txt"), "kept");
    EXPECT_EQ(Entries(profile.Dir() + "/KIV").size(), 2u);
}

TEST(WriteResultsFile, PlainFileNamedKivSendsTheFileToTheProfile) {
    Profile profile("plainfile");
    std::ofstream(profile.Dir() + "/KIV") << "not a folder";
    Written written = WriteInto(FoundRecord(), profile.Dir());
    EXPECT_EQ(Slurp(profile.Dir() + "/KIV"), "not a folder");
    EXPECT_EQ(Slurp(written.path), ResultsFileContent(FoundRecord()));
}

TEST(ChooseResultsFolder, UnreadableProfileMeansTheExecutablesFolder) {
    // A home longer than the 260-character buffer cannot be read as a profile directory.
    const std::string longHome = kivtest::isolated_root() + "/" + std::string(300, 'h');
    ScopedEnv home("HOME", longHome.c_str());
    EXPECT_EQ(ChooseResultsFolder(), fs::path(comrt::executable_path()).parent_path().string());
}

TEST(WriteResultsFile, UncreatableFolderEndsWithTheOpenErrorAndLeavesNoFile) {
    // The profile does not exist: KIV cannot be made, and nothing can be created in it.
    Profile profile("missing", false);
    std::string status = "Digits: 3\nSuccess.";
    kivtest::TraceCapture trace;
    WriteResultsFile(FoundRecord(), status);
    EXPECT_EQ(trace.Finish(), std::vector<std::string>{"kiv: Writing to file...\n"});
    const std::string sentence =
        "Digits: 3\nSuccess.\nError: Unable to open file for writing.\nFilename: " + profile.Dir() +
        "/3_130_%_0d-0h-0m-1s-250ms_1_########_######.txt";
    EXPECT_TRUE(kivtest::MatchesPattern(sentence, status)) << status;
    EXPECT_FALSE(fs::exists(profile.Dir()));
}

TEST(WriteResultsFile, UnwritableKivFolderEndsWithTheOpenError) {
    // A KIV folder in which no file can be made: /proc (even for root), and for other users
    // a folder without write permission.
    struct Case {
        const char* name;
        bool readOnlyFolder;
    };
    for (Case c : {Case{"proc", false}, Case{"readonly", true}}) {
        if (c.readOnlyFolder && geteuid() == 0)
            continue;  // permissions do not bind root
        Profile profile(c.name);
        const std::string kiv = profile.Dir() + "/KIV";
        if (c.readOnlyFolder) {
            fs::create_directory(kiv);
            ::chmod(kiv.c_str(), 0555);
        } else {
            fs::create_directory_symlink("/proc", kiv);
        }
        std::string status = "Digits: 3\nSuccess.";
        WriteResultsFile(FoundRecord(), status);
        if (c.readOnlyFolder) {
            ::chmod(kiv.c_str(), 0755);
            EXPECT_TRUE(Entries(kiv).empty());
        }
        EXPECT_NE(
            status.find("\nError: Unable to open file for writing.\nFilename: " + kiv + "/3_130_"),
            std::string::npos)
            << c.name << ": " << status;
        EXPECT_TRUE(status.ends_with(".txt")) << "no line feed after the path";
    }
}

// Files of this process may grow to `limit` bytes while it lives; a write beyond fails with
// EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t limit) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = m_old;
        lowered.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit m_old{};
    sighandler_t m_oldHandler;
};

TEST(WriteResultsFile, FailedWriteEndsWithTheWriteErrorAndLeavesNoFile) {
    Profile profile("full");
    fs::create_directory(profile.Dir() + "/KIV");
    std::string status = "Digits: 3\nSuccess.";
    kivtest::TraceCapture trace;
    {
        FileSizeLimit limit(64);  // the file needs a few hundred bytes
        WriteResultsFile(FoundRecord(), status);
    }
    EXPECT_EQ(trace.Finish(), std::vector<std::string>{"kiv: Writing to file...\n"});
    const std::string sentence =
        "Digits: 3\nSuccess.\nError: Unable to write to file.\nFilename: " + profile.Dir() +
        "/KIV/3_130_%_0d-0h-0m-1s-250ms_1_########_######.txt";
    EXPECT_TRUE(kivtest::MatchesPattern(sentence, status)) << status;
    EXPECT_TRUE(Entries(profile.Dir() + "/KIV").empty())
        << "neither a truncated file nor a temporary one";
}

TEST(WriteResultsFile, RunsInTheSameSecondNeverShareAFile) {
    // Six runs alike at once, as six quick TestKIV calls from several servers: six files, each
    // status naming its own, the first under the plain name.
    Profile profile("six");
    fs::create_directory(profile.Dir() + "/KIV");
    std::vector<std::string> statuses(6, "Digits: 3\nSuccess.");
    std::vector<std::thread> runs;
    for (std::string& status : statuses)
        runs.emplace_back([&status] { WriteResultsFile(FoundRecord(), status); });
    for (std::thread& run : runs)
        run.join();
    const std::string before = "Digits: 3\nSuccess.\nResults have been written to the file, '";
    std::set<std::string> named;
    for (const std::string& status : statuses) {
        ASSERT_TRUE(kivtest::MatchesPattern(before + "*' successfully.", status)) << status;
        named.insert(kivtest::Between(status, before, "' successfully."));
    }
    ASSERT_EQ(named.size(), 6u);
    std::set<std::string> plain;
    for (const std::string& path : named) {
        EXPECT_EQ(Slurp(path), ResultsFileContent(FoundRecord())) << path;
        const std::string name = fs::path(path).filename().string();
        if (kivtest::MatchesPattern("3_130_%_0d-0h-0m-1s-250ms_1_########_######.txt", name))
            plain.insert(name);
        else
            EXPECT_TRUE(
                kivtest::MatchesPattern("3_130_%_0d-0h-0m-1s-250ms_1_########_######-%.txt", name))
                << name;
    }
    EXPECT_FALSE(plain.empty()) << "the first run of a second keeps the plain name";
    EXPECT_EQ(Entries(profile.Dir() + "/KIV").size(), 6u) << "no temporary file left";
}

TEST(WriteNewFile, TakesTheFirstFreeNameAndReplacesNothing) {
    Profile profile("new");
    std::ofstream(profile.Dir() + "/results.txt") << "earlier";
    fs::create_directory(profile.Dir() + "/results-2.txt");  // a folder takes a name too
    auto names = [](unsigned copy) {
        return copy == 1 ? std::string("results.txt") : "results-" + std::to_string(copy) + ".txt";
    };
    std::string path;
    EXPECT_EQ(WriteNewFile(profile.Dir(), names, "new\r\n", path), NewFileOutcome::Written);
    EXPECT_EQ(path, profile.Dir() + "/results-3.txt");
    EXPECT_EQ(Slurp(path), "new\r\n");
    EXPECT_EQ(Slurp(profile.Dir() + "/results.txt"), "earlier");
    EXPECT_EQ(Entries(profile.Dir()),
              (std::vector<std::string>{"results-2.txt", "results-3.txt", "results.txt"}));

    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask) << "an ordinary file, not a private one";
}

TEST(WriteNewFile, FailuresLeaveTheFolderAsItWas) {
    Profile profile("failures");
    auto named = [](const char* name) {
        return [name](unsigned copy) { return std::to_string(copy) + name; };
    };
    std::string path;
    EXPECT_EQ(WriteNewFile(profile.Dir() + "/missing", named("results.txt"), "x", path),
              NewFileOutcome::NotOpened);
    EXPECT_EQ(path, profile.Dir() + "/missing/1results.txt");

    std::ofstream(profile.Dir() + "/1kept.txt") << "old";
    {
        FileSizeLimit limit(4);
        EXPECT_EQ(WriteNewFile(profile.Dir(), named("kept.txt"), "longer than four", path),
                  NewFileOutcome::NotWritten);
    }
    EXPECT_EQ(path, profile.Dir() + "/1kept.txt");
    EXPECT_EQ(Slurp(profile.Dir() + "/1kept.txt"), "old") << "the old file survives";
    EXPECT_EQ(Entries(profile.Dir()), std::vector<std::string>{"1kept.txt"});
}

}  // namespace
