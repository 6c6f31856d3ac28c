#include "server/goldbach/q_draw.h"

#include <charconv>

char EvenLastDigit(char digit) {
    const int value = digit - '0';
    if (value % 2 == 0)
        return digit;
    return static_cast<char>(value == 9 ? '8' : digit + 1);  // never 10
}

std::string DrawQText(ULONGLONG numDigits, std::mt19937& engine) {
    QChunkDistribution chunks(kQChunkMin, kQChunkMax);
    std::string text;
    text.reserve(numDigits + 10);
    while (text.size() <= numDigits) {
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
