#pragma once
// The random even number of a test run, drawn as decimal text.
#include <cstdint>
#include <random>
#include <stop_token>
#include <string>

// Ten-digit chunks, leading digit 1 to 9.
using QChunkDistribution = std::uniform_int_distribution<std::uint64_t>;
inline constexpr std::uint64_t kQChunkMin = 1000000000;
inline constexpr std::uint64_t kQChunkMax = 9999999999;

// numDigits >= 1 digits: chunks appended while the text is not longer than numDigits
// (numDigits / 10 + 1 draws), cut to numDigits; an odd last digit d becomes d + 1, but 9
// becomes 8; a single digit below 4 becomes 4. The result is even, at least 4 and has no
// leading zero. Reads `stop` every few milliseconds of drawing and raises CallCancelled once
// it has fired.
std::string DrawQText(std::uint64_t numDigits, std::mt19937& engine,
                      const std::stop_token& stop = {});

// The last-digit rule alone: 1->2, 3->4, 5->6, 7->8, 9->8; even digits stay.
char EvenLastDigit(char digit);
