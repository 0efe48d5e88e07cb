#pragma once

// Chernick's Carmichael numbers (6k+1)(12k+1)(18k+1), three primes: Fermat
// liars to every coprime base, so the tests of the strong tests use them.

#include <gmp.h>

#include "support/MpzValue.h"

namespace karvo::test {

// n := the number of the first k' ≥ k whose three factors are all prime;
// k := k' + 1, where the search for the next one starts.
inline void NextCarmichael(mpz_ptr n, mpz_ptr k) {
  MpzValue a, b, c;
  for (;; mpz_add_ui(k, k, 1)) {
    mpz_mul_ui(a, k, 6);
    mpz_add_ui(a, a, 1);
    mpz_mul_ui(b, k, 12);
    mpz_add_ui(b, b, 1);
    mpz_mul_ui(c, k, 18);
    mpz_add_ui(c, c, 1);
    if (mpz_probab_prime_p(a, 25) != 0 && mpz_probab_prime_p(b, 25) != 0 && mpz_probab_prime_p(c, 25) != 0) {
      break;
    }
  }
  mpz_mul(n, a, b);
  mpz_mul(n, n, c);
  mpz_add_ui(k, k, 1);
}

}  // namespace karvo::test
