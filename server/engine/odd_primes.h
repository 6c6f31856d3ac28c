#pragma once
// The odd primes of a range, from NTL's PrimeSeq: the server's one prime generator, for the
// per-object sieve and the candidate sieve's residues. bench/primes_bench measures it against
// a sieve of Eratosthenes for both.
#include <cstdint>
#include <vector>

// The odd primes in [from, to), `to` at most 2^30; they replace what `out` held.
void OddPrimesIn(std::uint32_t from, std::uint32_t to, std::vector<std::uint32_t>& out);

// The odd primes below `bound`.
std::vector<std::uint32_t> OddPrimesBelow(std::uint32_t bound);
