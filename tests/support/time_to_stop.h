#pragma once
// How long a long computation on another thread takes to end once its stop flag is raised,
// and a number whose primality test runs long enough to be stopped deep inside.
#include <NTL/ZZ.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "server/interface/ntl_errors.h"

namespace kivtest {

// 3 * 2^20909 + 1 (6,295 digits) is prime. Its n - 1 is 3 * 2^20909, so each witness test is
// one tiny exponentiation and then up to 20,909 modular squarings: about a second per
// witness, and the flag is read before every squaring.
inline NTL::ZZ LargeProthPrime() {
    return (NTL::ZZ(3) << 20909) + 1;
}

template <class Test>
std::chrono::milliseconds TimeToStop(Test test) {
    using namespace std::chrono;
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        UseNtlExceptions();
        test(stop);
        finished.store(true);
    });
    std::this_thread::sleep_for(1500ms);  // well into the witness tests
    EXPECT_FALSE(finished.load()) << "the test ended before it could be stopped";
    auto requested = steady_clock::now();
    stop.store(true);
    worker.join();
    auto latency = duration_cast<milliseconds>(steady_clock::now() - requested);
    return latency;
}

}  // namespace kivtest
