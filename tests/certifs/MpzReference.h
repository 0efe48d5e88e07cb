#pragma once

// Test-only GMP side of the certifier tests, beside the mpz value and the
// conversions of support/MpzValue.h: seeded random numbers and primes, and
// plain reference versions of the tests under test (strong base-2 test,
// Selfridge parameter, strong Lucas test, Lucas V), written from the
// textbook definitions with mpz so that they share nothing with the code
// under test.

#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "arith/BigInt.h"
#include "support/MpzValue.h"
#include "support/TestEnv.h"

namespace karvo::test::ref {

inline BigInt BigOf(mpz_srcptr v) {
  BigInt x;
  BigFromMpz(x, v);
  return x;
}

inline std::string MpzText(mpz_srcptr v) {
  std::vector<char> text(mpz_sizeinbase(v, 10) + 2);
  mpz_get_str(text.data(), 10, v);
  std::string s(text.data());
  if (s.size() > 80) {
    s = s.substr(0, 30) + "...(" + std::to_string(s.size()) + " digits)..." + s.substr(s.size() - 30);
  }
  return s;
}

inline std::string SeedNote() { return "KARVO_TEST_SEED=" + std::to_string(TestSeed()); }

// Seeded from KARVO_TEST_SEED and the running test's name, so that a failing
// test replays alone with the printed seed.
class RefRandom {
 public:
  RefRandom() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = info == nullptr ? "" : std::string(info->test_suite_name()) + "." + info->name();
    const uint64_t seed = TestSeed() ^ std::hash<std::string>{}(name);
    engine_.seed(seed);
    gmp_randinit_mt(state_);
    gmp_randseed_ui(state_, static_cast<unsigned long>(seed));
  }
  ~RefRandom() { gmp_randclear(state_); }
  RefRandom(const RefRandom&) = delete;
  RefRandom& operator=(const RefRandom&) = delete;

  int32_t Between(int32_t lo, int32_t hi) {
    return std::uniform_int_distribution<int32_t>(lo, hi)(engine_);
  }
  // Exactly bits bits (top bit set).
  void Bits(mpz_ptr out, int32_t bits) {
    mpz_urandomb(out, state_, static_cast<mp_bitcnt_t>(bits));
    mpz_setbit(out, static_cast<mp_bitcnt_t>(bits - 1));
  }
  // An odd number of exactly bits bits.
  void Odd(mpz_ptr out, int32_t bits) {
    Bits(out, bits);
    mpz_setbit(out, 0);
  }
  // A prime of exactly bits bits (bits ≥ 3).
  void Prime(mpz_ptr out, int32_t bits) {
    for (;;) {
      Bits(out, bits);
      mpz_nextprime(out, out);
      if (mpz_sizeinbase(out, 2) == static_cast<size_t>(bits)) {
        return;
      }
    }
  }

 private:
  std::mt19937_64 engine_;
  gmp_randstate_t state_;
};

// x := x/2 mod the odd n, for 0 ≤ x < n.
inline void RefHalve(mpz_ptr x, mpz_srcptr n) {
  if (mpz_odd_p(x)) {
    mpz_add(x, x, n);
  }
  mpz_fdiv_q_2exp(x, x, 1);
}

// Miller–Rabin to the base 2 for odd n ≥ 3.
inline bool RefStrongBase2(mpz_srcptr n) {
  MpzValue minusOne, d, x, two(2);
  mpz_sub_ui(minusOne, n, 1);
  const mp_bitcnt_t s = mpz_scan1(minusOne, 0);
  mpz_fdiv_q_2exp(d, minusOne, s);
  mpz_powm(x, two, d, n);
  if (mpz_cmp_ui(x, 1) == 0 || mpz_cmp(x, minusOne) == 0) {
    return true;
  }
  for (mp_bitcnt_t r = 1; r < s; ++r) {
    mpz_mul(x, x, x);
    mpz_mod(x, x, n);
    if (mpz_cmp(x, minusOne) == 0) {
      return true;
    }
  }
  return false;
}

// Selfridge's D: the first of 5, -7, 9, -11, ... up to |D| = 5000 with
// (D/n) = -1; 0 at a symbol 0 or when none is found.
inline int32_t RefLucasD(mpz_srcptr n) {
  for (long magnitude = 5; magnitude <= 5000; magnitude += 2) {
    const long D = magnitude % 4 == 1 ? magnitude : -magnitude;
    const int symbol = mpz_si_kronecker(D, n);
    if (symbol == -1) {
      return static_cast<int32_t>(D);
    }
    if (symbol == 0) {
      return 0;
    }
  }
  return 0;
}

// The strong Lucas test with P = 1, Q = (1 - D)/4 for odd n ≥ 3: U and V by
// the binary chain U_2k = U_k·V_k, V_2k = V_k^2 - 2Q^k, U_(k+1) = (U_k + V_k)/2,
// V_(k+1) = (D·U_k + V_k)/2.
inline bool RefStrongLucas(mpz_srcptr n, int32_t D) {
  MpzValue d, U(1), V(1), q((1 - D) / 4), qk, t;
  mpz_mod(q, q, n);
  mpz_set(qk, q);
  mpz_mod(U, U, n);
  mpz_mod(V, V, n);
  mpz_add_ui(d, n, 1);
  const mp_bitcnt_t s = mpz_scan1(d, 0);
  mpz_fdiv_q_2exp(d, d, s);
  for (long bit = static_cast<long>(mpz_sizeinbase(d, 2)) - 2; bit >= 0; --bit) {
    mpz_mul(U, U, V);
    mpz_mod(U, U, n);
    mpz_mul(V, V, V);
    mpz_submul_ui(V, qk, 2);
    mpz_mod(V, V, n);
    mpz_mul(qk, qk, qk);
    mpz_mod(qk, qk, n);
    if (mpz_tstbit(d, static_cast<mp_bitcnt_t>(bit)) != 0) {
      mpz_mul_si(t, U, D);
      mpz_add(t, t, V);
      mpz_mod(t, t, n);
      mpz_add(U, U, V);
      mpz_mod(U, U, n);
      RefHalve(U, n);
      RefHalve(t, n);
      mpz_swap(V, t);
      mpz_mul(qk, qk, q);
      mpz_mod(qk, qk, n);
    }
  }
  if (mpz_sgn(U) == 0 || mpz_sgn(V) == 0) {
    return true;
  }
  for (mp_bitcnt_t r = 1; r < s; ++r) {
    mpz_mul(V, V, V);
    mpz_submul_ui(V, qk, 2);
    mpz_mod(V, V, n);
    if (mpz_sgn(V) == 0) {
      return true;
    }
    mpz_mul(qk, qk, qk);
    mpz_mod(qk, qk, n);
  }
  return false;
}

// Baillie–PSW without trial division, for odd n ≥ 3.
inline bool RefBpsw(mpz_srcptr n) {
  if (!RefStrongBase2(n)) {
    return false;
  }
  const int32_t D = RefLucasD(n);
  return D != 0 && RefStrongLucas(n, D);
}

// v := V_k(P, Q) mod n from the matrix power [[P, -Q], [1, 0]]^k, whose
// entries are U_(k+1), -Q·U_k in the first row and U_k, -Q·U_(k-1) in the
// second: V_k = U_(k+1) - Q·U_(k-1).
inline void RefLucasV(mpz_ptr v, mpz_srcptr k, long P, long Q, mpz_srcptr n) {
  if (mpz_sgn(k) == 0) {
    mpz_set_ui(v, 2);
    mpz_mod(v, v, n);
    return;
  }
  // r := identity, m := the step matrix; entries a b / c d.
  MpzValue ra(1), rb(0), rc(0), rd(1), ma(P), mb(-Q), mc(1), md(0);
  MpzValue t1, t2, t3, t4;
  auto multiply = [&](mpz_ptr a, mpz_ptr b, mpz_ptr c, mpz_ptr d, mpz_srcptr e, mpz_srcptr f, mpz_srcptr g,
                      mpz_srcptr h) {
    // (a b; c d) := (a b; c d)·(e f; g h)
    mpz_mul(t1, a, e);
    mpz_addmul(t1, b, g);
    mpz_mul(t2, a, f);
    mpz_addmul(t2, b, h);
    mpz_mul(t3, c, e);
    mpz_addmul(t3, d, g);
    mpz_mul(t4, c, f);
    mpz_addmul(t4, d, h);
    mpz_mod(a, t1, n);
    mpz_mod(b, t2, n);
    mpz_mod(c, t3, n);
    mpz_mod(d, t4, n);
  };
  const size_t bits = mpz_sizeinbase(k, 2);
  for (size_t bit = 0; bit < bits; ++bit) {
    if (mpz_tstbit(k, bit) != 0) {
      multiply(ra, rb, rc, rd, ma, mb, mc, md);
    }
    if (bit + 1 < bits) {
      MpzValue ea(ma), eb(mb), ec(mc), ed(md);
      multiply(ma, mb, mc, md, ea, eb, ec, ed);
    }
  }
  // ra = U_(k+1); rd = -Q·U_(k-1).
  mpz_add(v, ra, rd);
  mpz_mod(v, v, n);
}

// The odd primes below limit, by the plain sieve.
inline std::vector<uint32_t> RefOddPrimes(uint32_t limit) {
  std::vector<bool> composite(limit, false);
  std::vector<uint32_t> primes;
  for (uint32_t p = 3; p < limit; p += 2) {
    if (!composite[p]) {
      primes.push_back(p);
      for (uint64_t m = uint64_t{p} * p; m < limit; m += 2 * p) {
        composite[m] = true;
      }
    }
  }
  return primes;
}

}  // namespace karvo::test::ref
