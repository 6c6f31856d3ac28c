// kivcli: asks the kiv server for Goldbach pairs of the even numbers typed at its prompt.
#include <iostream>

#include "client/goldbach_console.h"

int main() {
    return RunGoldbachConsole(std::cin, std::cout);
}
