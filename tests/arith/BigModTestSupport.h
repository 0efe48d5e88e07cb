#pragma once

// Helpers shared by the modular-arithmetic tests: seeded random moduli and
// residues as BigInt/mpz pairs, and primes of a chosen form from GMP.

#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "GmpBridge.h"
#include "arith/BigInt.h"
#include "support/TestEnv.h"

namespace karvo::test {

inline std::string SeedNote() {
  return "KARVO_TEST_SEED=" + std::to_string(TestSeed());
}

// A BigInt and its GMP value, kept equal by construction.
struct Pair {
  BigInt big;
  MpzValue ref;

  void Set(mpz_srcptr v) {
    mpz_set(ref, v);
    BigFromMpz(big, v);
  }
  void SetSigned(long v) {
    mpz_set_si(ref, v);
    BigFromMpz(big, ref);
  }
};

// A modulus of exactly n words with the requested parity; the shape varies
// the bit patterns (long runs of ones stress the carries of the reductions).
inline void RandomModulus(BigRandom& random, Pair& N, int32_t n, bool odd) {
  static constexpr Shape shapes[] = {Shape::Uniform, Shape::Runs, Shape::Uniform, Shape::AllOnes};
  std::vector<Word> words = random.Words(n, shapes[random.Between(0, 3)]);
  words[0] = odd ? (words[0] | 1) : (words[0] & ~Word{1});
  if (n == 1 && words[0] < 2) {
    words[0] = odd ? 3 : 2;
  }
  BigFromWords(N.big, words, 0);
  MpzFromWords(N.ref, words, 0);
}

// A value of exactly n words (n = 0 gives zero) with the given sign.
inline void RandomValue(BigRandom& random, Pair& x, int32_t n, int sign = 0) {
  random.Operand(x.big, x.ref, n, Shape::Uniform, sign);
}

// A uniform residue in 0..N-1.
inline void RandomResidue(BigRandom& random, Pair& x, mpz_srcptr N) {
  const auto words = static_cast<int32_t>((mpz_sizeinbase(N, 2) + 31) / 32);
  MpzValue v;
  MpzFromWords(v, random.Words(words + 1, Shape::Uniform), 0);
  mpz_mod(v, v, N);
  x.Set(v);
}

// The least prime at or above a random odd value of bits bits with
// p ≡ residue (mod modulus), modulus a power of two.
inline void RandomPrime(BigRandom& random, MpzValue& p, int32_t bits, unsigned long residue = 1,
                        unsigned long modulus = 2) {
  MpzValue start;
  MpzFromWords(start, random.Words((bits + 31) / 32, Shape::Uniform), 0);
  mpz_fdiv_r_2exp(start, start, static_cast<mp_bitcnt_t>(bits));
  mpz_setbit(start, static_cast<mp_bitcnt_t>(bits - 1));
  for (;;) {
    mpz_nextprime(p, start);
    if (mpz_fdiv_ui(p, modulus) == residue) {
      return;
    }
    mpz_add_ui(start, p, 1);
  }
}

// A prime p = 2^e·m + 1 with m odd, of about bits bits: exactly e factors of
// two in p - 1.
inline void PrimeWithTwoPower(BigRandom& random, MpzValue& p, int32_t bits, int32_t e) {
  MpzValue m;
  for (;;) {
    MpzFromWords(m, random.Words((bits - e + 31) / 32, Shape::Uniform), 0);
    mpz_fdiv_r_2exp(m, m, static_cast<mp_bitcnt_t>(bits - e));
    mpz_setbit(m, static_cast<mp_bitcnt_t>(bits - e - 1));
    mpz_setbit(m, 0);
    mpz_mul_2exp(p, m, static_cast<mp_bitcnt_t>(e));
    mpz_add_ui(p, p, 1);
    if (mpz_probab_prime_p(p, 25) != 0) {
      return;
    }
  }
}

}  // namespace karvo::test
