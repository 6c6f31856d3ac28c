#pragma once
// The dialogue of kivcli: prompt for an even number, ask the Prime server for its Goldbach
// pair, print the pair or the error, until 0 (or the end of the input).
#include <iosfwd>

// Runs the whole session on `in` and `out`; the exit code is always 0.
int RunGoldbachConsole(std::istream& in, std::ostream& out);
