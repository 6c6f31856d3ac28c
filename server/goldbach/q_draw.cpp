#include "server/goldbach/q_draw.h"

#include <charconv>

#include "server/interface/call_cancelled.h"

namespace {

// Chunks drawn between two reads of the stop token (about a millisecond of work).
constexpr std::size_t kChunksPerCheck = 1 << 16;

}  // namespace

char EvenLastDigit(char digit) {
    const int value = digit - '0';
    if (value % 2 == 0)
        return digit;
    return static_cast<char>(value == 9 ? '8' : digit + 1);  // never 10
}

std::string DrawQText(std::uint64_t numDigits, std::mt19937& engine, const std::stop_token& stop) {
    QChunkDistribution chunks(kQChunkMin, kQChunkMax);
    std::string text;
    text.reserve(numDigits + 10);
    for (std::size_t drawn = 0; text.size() <= numDigits; ++drawn) {
        if (drawn % kChunksPerCheck == 0)
            ThrowIfCancelled(stop);
        char chunk[20];
        const auto end = std::to_chars(chunk, chunk + sizeof chunk, chunks(engine)).ptr;
        text.append(chunk, end);  // always ten digits
    }
    text.resize(numDigits);
    text.back() = EvenLastDigit(text.back());
    if (numDigits == 1 && text[0] < '4')
        text = "4";
    return text;
}
