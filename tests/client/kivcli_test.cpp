// The real kivcli against the real, activated kiv, with its standard input scripted.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/support/kiv_process.h"

namespace {

using namespace std::chrono_literals;

struct Transcript {
    std::string output;
    int exit_status = -1;
};

// Runs kivcli with `input` on its standard input (then end of input) and collects its output.
Transcript RunKivcli(const std::string& input) {
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0)
        return {};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::close(in[1]);
        ::close(out[0]);
        ::execl(KIVCLI_EXECUTABLE, KIVCLI_EXECUTABLE, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    [[maybe_unused]] auto written = ::write(in[1], input.data(), input.size());
    ::close(in[1]);
    Transcript t;
    char buffer[4096];
    pollfd pfd{out[0], POLLIN, 0};
    while (::poll(&pfd, 1, 60000) > 0) {
        ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        t.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    ::kill(pid, SIGKILL);  // only if it hung; a finished client is already gone
    int status = 0;
    ::waitpid(pid, &status, 0);
    t.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return t;
}

const std::string kPrompt = "Enter a number > 2 (0 to quit): ";
const std::string kEvenMessage =
    "The input number must be an even natural number greater than two with precision P such "
    "that 1 <= P <= 1073739772.";

class Kivcli : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { kivtest::AdoptOrphans(); }
    void SetUp() override { ASSERT_EQ(kivtest::RunKiv({"-RegServerPerUser"}), 0); }
};

TEST_F(Kivcli, Dialogues) {
    struct Case {
        const char* name;
        std::string input;
        std::string output;
    };
    const Case cases[] = {
        {"four", "4\n0\n", kPrompt + "2 + 2\n" + kPrompt},
        {"hundred", "100\n0\n", kPrompt + "3 + 97\n" + kPrompt},
        {"mended pair", "2050\n0\n", kPrompt + "11 + 2039\n" + kPrompt},
        {"two on a line", "6 8\n0\n", kPrompt + "3 + 3\n" + kPrompt + "3 + 5\n" + kPrompt},
        {"quit", "0\n", kPrompt},
        {"quit between blanks", " 0 \n", kPrompt},
        {"00 is a number", "00\n0\n",
         kPrompt + "Exception occurred.\n" + kEvenMessage + "\n" + kPrompt},
        {"odd", "7\n0\n", kPrompt + "Exception occurred.\n" + kEvenMessage + "\n" + kPrompt},
        {"end of input", "4\n100\n", kPrompt + "2 + 2\n" + kPrompt + "3 + 97\n" + kPrompt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Transcript t = RunKivcli(c.input);
        EXPECT_EQ(t.output, c.output);
        EXPECT_EQ(t.exit_status, 0);
    }
}

TEST_F(Kivcli, UnregisteredClassReportsAndPausesForOneCharacter) {
    ASSERT_EQ(kivtest::RunKiv({"-UnregServerPerUser"}), 0);
    Transcript t = RunKivcli("  x 4\n");
    EXPECT_EQ(t.output, "Class not registered\nPress any key to continue\n");
    EXPECT_EQ(t.exit_status, 0);
}

TEST_F(Kivcli, ThousandDigitNumberAndTheServerLeavesWithTheClient) {
    std::string n = "1" + std::string(998, '0') + "8";
    Transcript t = RunKivcli(n + "\n");
    ASSERT_EQ(t.output.rfind(kPrompt, 0), 0u);
    EXPECT_NE(t.output.find(" + "), std::string::npos) << t.output.substr(0, 200);
    EXPECT_EQ(t.exit_status, 0);
    // The client is gone; so must its server be, within a second.
    auto deadline = std::chrono::steady_clock::now() + kivtest::kOneSecond;
    while (kivtest::ServerPid() != 0 && std::chrono::steady_clock::now() < deadline)
        ::usleep(10000);
    EXPECT_EQ(kivtest::ServerPid(), 0);
}

}  // namespace
