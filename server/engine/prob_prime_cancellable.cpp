#include "server/engine/prob_prime_cancellable.h"

#include <atomic>

#include "server/engine/prob_prime_stoppable.h"
#include "server/interface/call_cancelled.h"

long ProbPrimeCancellable(const NTL::ZZ& n, long numTrials, const std::stop_token& stop) {
    // The stoppable test follows NTL's ProbPrime step for step; a stopped run answers 0, which
    // the token then turns into the cancellation.
    std::atomic<bool> stopped{false};
    std::stop_callback raise(stop, [&stopped] { stopped.store(true); });
    const long answer = ProbPrimeStoppable(n, stopped, numTrials);
    ThrowIfCancelled(stop);
    return answer;
}
