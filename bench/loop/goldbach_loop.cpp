// The plain sequential Goldbach loop that the server's search is measured against:
//   for p = 3, 5, ...: if ProbPrime(p, 0) && ProbPrime(n - p, 0): done
// usage: goldbach_loop FILE   (FILE holds the even number in decimal)
// Prints "p seconds exponentiations floor": the time of the loop alone (the number already
// read); then, measured after it, what the server's search cannot do without on two cores.
// exponentiations: the candidates up to p whose p is prime and whose n - p no prime below
// 2^24 divides (the base-2 tests that the search's full sieve leaves); floor: those in the
// lanes' eight at a time (GMP's one at a time without IFMA) on two cores, plus the strong Lucas
// confirmation of n - p, in seconds of processor time.
#include <NTL/ZZ.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>
#include <vector>

#include "server/engine/multi_lane_powm.h"
#include "server/engine/strong_lucas.h"

namespace {

constexpr long kSieveBound = 1L << 24;
constexpr int kCores = 2;

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The n - p that reach a base-2 test in the search, p = 3, 5, ..., last.
std::vector<NTL::ZZ> Exponentiated(const NTL::ZZ& n, long last) {
    std::vector<bool> out(static_cast<std::size_t>(last / 2 + 1), false);  // p = 2i + 1
    NTL::PrimeSeq primes;
    for (long q = primes.next(); q != 0 && q < kSieveBound; q = primes.next()) {
        if (q == 2)
            continue;
        for (long p = NTL::rem(n, q); p <= last; p += q)
            if (p % 2 == 1 && p != q)
                out[p / 2] = true;  // q divides n - p
    }
    std::vector<NTL::ZZ> tested;
    for (long p = 3; p <= last; p += 2)
        if (!out[p / 2] && NTL::ProbPrime(p, 0))
            tested.push_back(n - p);
    return tested;
}

// Processor seconds per base-2 exponentiation as the search runs them: a full group of the
// lanes divided by eight, or one GMP exponentiation; the best of three.
double SecondsPerExponentiation(const std::vector<NTL::ZZ>& tested) {
    std::vector<NTL::ZZ> group;
    for (std::size_t i = 0; i < static_cast<std::size_t>(kPowmLanes); ++i)
        group.push_back(tested[i % tested.size()]);
    const std::size_t count = LanesInUse() ? group.size() : 1;
    const std::atomic<bool> go{false};
    std::vector<bool> verdicts;
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        const double start = ThreadSeconds();
        StrongProbablePrimesBase2(std::span(group).first(count), verdicts, go);
        best = std::min(best, ThreadSeconds() - start);
    }
    return best / static_cast<double>(count);
}

}  // namespace

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

    std::size_t exponentiations = 0;
    double floor = 0;
    if (p < kSieveBound && n > 2 * kSieveBound) {
        const std::vector<NTL::ZZ> tested = Exponentiated(n, NTL::conv<long>(p));
        exponentiations = tested.size();
        const std::atomic<bool> go{false};
        const double lucasStart = ThreadSeconds();
        IsStrongLucasProbablePrime(n - p, go);
        const double lucas = ThreadSeconds() - lucasStart;
        floor = static_cast<double>(exponentiations) * SecondsPerExponentiation(tested) / kCores +
                lucas;
    }
    std::ostringstream text;
    text << p;
    std::printf("%s %.4f %zu %.4f\n", text.str().c_str(), took.count(), exponentiations, floor);
    return 0;
}
