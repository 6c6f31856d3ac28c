// kivcli's progress line and Ctrl-C, seen from outside: in a terminal (a tmux pane, read with
// capture-pane) and with standard error piped.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "tests/support/isolated_env.h"
#include "tests/support/kiv_process.h"

namespace {

using namespace std::chrono_literals;

// 2 * 10^1999: its search runs for seconds (p = 11833), long enough for progress events.
const std::string kLongSearch = "2" + std::string(1999, '0');
// 10^2999 + 8: a search of tens of seconds (p = 39659), which the tests stop.
const std::string kLongerSearch = "1" + std::string(2998, '0') + "8";
const std::string kPrompt = "Enter a number > 2 (0 to quit): ";
constexpr auto kPatience = 120s;

bool WaitFor(const std::function<bool()>& condition, std::chrono::seconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// kivcli in a tmux pane of its own server (a socket in the test's private directory, new for
// every pane, since a killed server may still hold the last one for a moment), kept after
// kivcli exits so that its end can be seen.
class Pane {
  public:
    Pane() : m_socket(kivtest::isolated_root() + "/tmux-" + std::to_string(++s_panes) + ".sock") {
        Tmux({"-f", "/dev/null", "new-session", "-d", "-x", "120", "-y", "60", KIVCLI_EXECUTABLE,
              ";", "set-option", "-g", "remain-on-exit", "on"});
    }
    ~Pane() { Tmux({"kill-server"}); }
    Pane(const Pane&) = delete;
    Pane& operator=(const Pane&) = delete;

    void Type(const std::string& text) {
        Tmux({"send-keys", "-l", text});
        Tmux({"send-keys", "Enter"});
    }
    void CtrlC() { Tmux({"send-keys", "C-c"}); }
    std::string Screen() { return Tmux({"capture-pane", "-p", "-J"}).out; }
    bool Ended() { return Tmux({"display-message", "-p", "#{pane_dead}"}).out == "1\n"; }

  private:
    static inline int s_panes = 0;

    kivtest::Captured Tmux(std::vector<std::string> args) {
        args.insert(args.begin(), {"-S", m_socket});
        return kivtest::RunCaptured(TMUX_EXECUTABLE, args);
    }
    std::string m_socket;
};

class KivcliTerminal : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { kivtest::AdoptOrphans(); }
    void SetUp() override {
        if (std::string(TMUX_EXECUTABLE).empty())
            GTEST_SKIP() << "no tmux (scripts/install-deps installs it)";
        ASSERT_EQ(kivtest::RunKiv({"-RegServerPerUser"}), 0);
    }
};

TEST_F(KivcliTerminal, ProgressLineDuringASearchIsGoneBeforeTheAnswer) {
    Pane pane;
    ASSERT_TRUE(WaitFor([&] { return pane.Screen().find(kPrompt) != std::string::npos; }, 30s));
    pane.Type(kLongSearch);
    std::string during;
    ASSERT_TRUE(WaitFor(
        [&] {
            during = pane.Screen();
            return during.find("searching: ") != std::string::npos;
        },
        kPatience))
        << during;
    EXPECT_NE(during.find(" candidates, p = "), std::string::npos) << during;
    std::string after;
    ASSERT_TRUE(WaitFor(
        [&] {
            after = pane.Screen();
            return after.find("\n11833 + ") != std::string::npos;
        },
        kPatience))
        << after;
    EXPECT_EQ(after.find("searching"), std::string::npos) << after;
}

TEST_F(KivcliTerminal, CtrlC) {
    struct Case {
        const char* name;
        bool searching;  // pressed during a search, else at the prompt
        int presses;
        bool ends;  // kivcli ends, else the prompt comes back
    };
    const Case cases[] = {
        {"once during a search: cancelled, the prompt is back", true, 1, false},
        {"twice during a search: kivcli ends", true, 2, true},
        {"at the prompt: kivcli ends", false, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pane pane;
        ASSERT_TRUE(WaitFor([&] { return pane.Screen().find(kPrompt) != std::string::npos; }, 30s));
        if (c.searching) {
            pane.Type(kLongerSearch);
            ASSERT_TRUE(WaitFor(
                [&] { return pane.Screen().find("searching: ") != std::string::npos; }, kPatience));
        }
        for (int i = 0; i < c.presses; ++i)
            pane.CtrlC();
        if (c.ends) {
            EXPECT_TRUE(WaitFor([&] { return pane.Ended(); }, 10s)) << pane.Screen();
            continue;
        }
        std::string screen;
        ASSERT_TRUE(WaitFor(
            [&] {
                screen = pane.Screen();
                return Count(screen, kPrompt) == 2;
            },
            10s))
            << screen;
        EXPECT_EQ(screen.find(" + "), std::string::npos) << screen;
        // The line is erased with what the terminal echoed onto it.
        EXPECT_EQ(screen.find("searching"), std::string::npos) << screen;
        EXPECT_EQ(screen.find("^C"), std::string::npos) << screen;
        EXPECT_FALSE(pane.Ended());
        pane.Type("4");
        EXPECT_TRUE(
            WaitFor([&] { return pane.Screen().find("\n2 + 2\n") != std::string::npos; }, 30s))
            << pane.Screen();
    }
}

// Piped, standard error gets nothing, though the events come: Ctrl-C (SIGINT) still cancels.
TEST_F(KivcliTerminal, PipedStandardErrorHasNoProgress) {
    struct Close {
        void operator()(FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<FILE, Close> out(std::tmpfile()), err(std::tmpfile());
    int in[2];
    ASSERT_TRUE(out && err && ::pipe(in) == 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(::fileno(out.get()), STDOUT_FILENO);
        ::dup2(::fileno(err.get()), STDERR_FILENO);
        ::close(in[1]);
        ::execl(KIVCLI_EXECUTABLE, KIVCLI_EXECUTABLE, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in[0]);
    std::string typed = kLongerSearch + "\n";
    ASSERT_EQ(::write(in[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    ASSERT_TRUE(WaitFor([] { return kivtest::ServerPid() != 0; }, 30s));
    // Time for a few progress events, which a terminal would have shown.
    std::this_thread::sleep_for(2s);
    ::kill(pid, SIGINT);
    ASSERT_EQ(::write(in[1], "0\n", 2), 2);
    ::close(in[1]);
    std::optional<int> status =
        kivtest::WaitExit(pid, std::chrono::duration_cast<std::chrono::milliseconds>(kPatience));
    if (!status) {
        ::kill(pid, SIGKILL);
        kivtest::WaitExit(pid, 10s);
    }
    EXPECT_EQ(status, 0);
    auto text = [](FILE* file) {
        std::string all;
        std::rewind(file);
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            all.append(buffer, n);
        return all;
    };
    std::string output = text(out.get());
    EXPECT_EQ(text(err.get()), "");
    // The search was stopped: its error, no pair, and the prompt again.
    EXPECT_EQ(Count(output, kPrompt), 2u) << output;
    EXPECT_EQ(output.find(" + "), std::string::npos) << output;
}

}  // namespace
