#pragma once
// A product of GMP integers of any size in steps of bounded length. GMP's own product of two
// numbers of a billion digits is one call of most of a minute that nothing can interrupt;
// here, operands above about ten million digits are split in halves (Karatsuba: three
// half-size products, recursively), the stop token is read before every step, and each
// step is one GMP product of at most that size, a fraction of a second.
#include <gmp.h>

#include <stop_token>

// Operands longer than this many limbs are split.
inline constexpr mp_size_t kProductStepLimbs = mp_size_t{1} << 19;

// r = a * b for non-negative a and b; r may be a or b. Raises CallCancelled once `stop` has
// fired (r is then unchanged). `stepLimbs` other than the default only for tests.
void MultiplyCancellable(mpz_ptr r, mpz_srcptr a, mpz_srcptr b, const std::stop_token& stop,
                         mp_size_t stepLimbs = kProductStepLimbs);
