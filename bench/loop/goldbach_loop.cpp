// The plain sequential Goldbach loop that the server's search is measured against:
//   for p = 3, 5, ...: if ProbPrime(p, 0) && ProbPrime(n - p, 0): done
// usage: goldbach_loop FILE   (FILE holds the even number in decimal)
// Prints "p seconds" (the time of the loop alone, the number already read).
#include <NTL/ZZ.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: goldbach_loop FILE\n");
        return 2;
    }
    std::ifstream file(argv[1]);
    NTL::ZZ n;
    if (!(file >> n) || n < 4 || NTL::IsOdd(n)) {
        std::fprintf(stderr, "goldbach_loop: %s holds no even number of at least 4\n", argv[1]);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    NTL::ZZ p(3);
    if (n == 4)
        p = 2;
    else
        while (!(NTL::ProbPrime(p, 0) && NTL::ProbPrime(n - p, 0)))
            p += 2;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::ostringstream text;
    text << p;
    std::printf("%s %.4f\n", text.str().c_str(), took.count());
    return 0;
}
