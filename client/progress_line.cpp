#include "client/progress_line.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

// A terminal whose width nobody reports is taken to be this wide.
constexpr std::size_t kAssumedColumns = 80;

bool ErrorIsTerminal() {
#ifdef _WIN32
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}

std::size_t ErrorColumns() {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) &&
        info.srWindow.Right > info.srWindow.Left)
        return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
#else
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#endif
    return kAssumedColumns;
}

void WriteError(const std::string& text) {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

// From the cursor to the end of the line, blanked. A terminal erases it with its own sequence,
// which also takes the "^C" that the terminal itself echoes there; the Windows console echoes
// nothing and takes blanks, then backspaces back to where they began.
std::string Blanked([[maybe_unused]] std::size_t columns) {
#ifdef _WIN32
    return std::string(columns, ' ') + std::string(columns, '\b');
#else
    return "\x1b[K";
#endif
}

}  // namespace

ProgressLine::ProgressLine() : m_terminal(ErrorIsTerminal()) {}

ProgressLine::~ProgressLine() {
    Erase();
}

void ProgressLine::Show(const std::string& text) {
    if (!m_terminal)
        return;
    // One column short of the width: a line that fills it would move the cursor down.
    std::size_t width = ErrorColumns() - 1;
    std::string line = text.size() > width ? text.substr(0, width) : text;
    std::size_t stale = m_shown > line.size() ? m_shown - line.size() : 0;
    WriteError("\r" + line + Blanked(stale));
    m_shown = line.size();
}

void ProgressLine::Erase() {
    if (!m_terminal || m_shown == 0)
        return;
    WriteError("\r" + Blanked(m_shown));
    m_shown = 0;
}
