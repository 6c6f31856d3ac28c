#pragma once
// TraceLog: the server's debug trace. Each line starts with "kiv: ", ends with a line feed
// and goes to the debugger output in one piece.

// `line` is the whole line, prefix and line feed included.
void TraceLog(const char* line) noexcept;
