#pragma once
// The switches of the kiv command line.
#include <string>
#include <string_view>

enum class ServerAction { Serve, RegServer, UnregServer, RegServerPerUser, UnregServerPerUser };

// Scans the command line's arguments: after each "-" or "/" a token is
// compared, without regard to case, with the keywords as whole words (a keyword matches only
// when the token ends with it, at a blank or the end of the line). The first match decides;
// without one the server serves.
ServerAction ScanCommandLine(std::string_view commandLine);

// The arguments of this process as one text, as WinMain's lpCmdLine: without the program's
// path, whose folder names must never read as switches.
std::string JoinCommandLine(int argc, char** argv);

// A process exit status holds 8 bits on this platform: the HRESULT's low byte, except that a
// failure whose low byte is zero exits with 255, so that no failure ever reads as success.
int ExitStatusOf(long hr);
