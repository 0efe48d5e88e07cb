#pragma once

// Test-only reference for the curve arithmetic: plain affine points over GMP
// (one mpz_invert per step, double-and-add) and the random primes, curves and
// points the tests draw.

#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "arith/BigInt.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "checks/EcCurves.h"
#include "support/MpzValue.h"
#include "support/TestEnv.h"

namespace karvo::test {

// Affine reference point; Finite false is the identity.
struct RefPoint {
  MpzValue X, Y;
  bool Finite = false;
};

inline bool RefEqual(const RefPoint& p, const RefPoint& q) {
  if (p.Finite != q.Finite) {
    return false;
  }
  return !p.Finite || (mpz_cmp(p.X, q.X) == 0 && mpz_cmp(p.Y, q.Y) == 0);
}

// p := p + q on y^2 = x^3 + a x + b modulo the prime n.
inline void RefAdd(RefPoint& p, const RefPoint& q, mpz_srcptr a, mpz_srcptr n) {
  if (!q.Finite) {
    return;
  }
  if (!p.Finite) {
    p = q;
    return;
  }
  MpzValue num, den, lambda, x3, t;
  mpz_sub(t, p.X, q.X);
  mpz_mod(t, t, n);
  if (mpz_sgn(t) == 0) {
    mpz_add(t, p.Y, q.Y);
    mpz_mod(t, t, n);
    if (mpz_sgn(t) == 0) {
      p.Finite = false;
      return;
    }
    mpz_mul(num, p.X, p.X);
    mpz_mul_ui(num, num, 3);
    mpz_add(num, num, a);
    mpz_mul_2exp(den, p.Y, 1);
  } else {
    mpz_sub(num, p.Y, q.Y);
    mpz_sub(den, p.X, q.X);
  }
  mpz_mod(den, den, n);
  EXPECT_NE(mpz_invert(den, den, n), 0) << "reference met a non-invertible value";
  mpz_mul(lambda, num, den);
  mpz_mod(lambda, lambda, n);
  mpz_mul(x3, lambda, lambda);
  mpz_sub(x3, x3, p.X);
  mpz_sub(x3, x3, q.X);
  mpz_mod(x3, x3, n);
  mpz_sub(t, p.X, x3);
  mpz_mul(t, t, lambda);
  mpz_sub(t, t, p.Y);
  mpz_mod(p.Y, t, n);
  p.X = x3;
}

// [k]p by double-and-add from the top bit.
inline RefPoint RefMultiply(const RefPoint& p, mpz_srcptr k, mpz_srcptr a, mpz_srcptr n) {
  RefPoint r;
  for (long i = static_cast<long>(mpz_sizeinbase(k, 2)) - 1; i >= 0; --i) {
    RefPoint d = r;
    RefAdd(r, d, a, n);
    if (mpz_tstbit(k, static_cast<mp_bitcnt_t>(i)) != 0) {
      RefAdd(r, p, a, n);
    }
  }
  if (mpz_sgn(k) == 0) {
    r.Finite = false;
  }
  return r;
}

// The Jacobian (X, Y, Z) as a reference point.
inline RefPoint RefFromJacobian(const BigInt& X, const BigInt& Y, const BigInt& Z,
                                mpz_srcptr n) {
  RefPoint r;
  MpzValue z, z2;
  MpzFromBig(z, Z);
  mpz_mod(z, z, n);
  if (mpz_sgn(z) == 0) {
    return r;
  }
  EXPECT_NE(mpz_invert(z, z, n), 0);
  mpz_mul(z2, z, z);
  MpzFromBig(r.X, X);
  mpz_mul(r.X, r.X, z2);
  mpz_mod(r.X, r.X, n);
  mpz_mul(z2, z2, z);
  MpzFromBig(r.Y, Y);
  mpz_mul(r.Y, r.Y, z2);
  mpz_mod(r.Y, r.Y, n);
  r.Finite = true;
  return r;
}

// Seeded GMP random state for the whole test.
class EcRandom {
 public:
  explicit EcRandom(uint64_t salt) {
    gmp_randinit_mt(state_);
    // Each test draws its own stream from the one replayable seed.
    const uint64_t seed = TestSeed() ^ (salt * 0x9E3779B97F4A7C15ull);
    gmp_randseed_ui(state_, static_cast<unsigned long>(seed));
  }
  ~EcRandom() { gmp_randclear(state_); }
  EcRandom(const EcRandom&) = delete;
  EcRandom& operator=(const EcRandom&) = delete;

  // A prime of exactly bits bits.
  void Prime(mpz_ptr p, unsigned bits) {
    do {
      mpz_urandomb(p, state_, bits);
      mpz_setbit(p, bits - 1);
      mpz_nextprime(p, p);
    } while (mpz_sizeinbase(p, 2) != bits);
  }
  void Below(mpz_ptr x, mpz_srcptr n) { mpz_urandomm(x, state_, n); }
  // A number of exactly bits bits (bits ≥ 1).
  void Bits(mpz_ptr x, unsigned bits) {
    mpz_urandomb(x, state_, bits);
    mpz_setbit(x, bits - 1);
  }
  unsigned Uniform(unsigned lo, unsigned hi) {
    return lo + static_cast<unsigned>(gmp_urandomm_ui(state_, hi - lo + 1));
  }

  // A random curve modulo n through a random point: a, x, y random, b fitted.
  void Curve(mpz_ptr a, mpz_ptr b, RefPoint& p, mpz_srcptr n) {
    Below(a, n);
    Below(p.X, n);
    do {
      Below(p.Y, n);
    } while (mpz_sgn(p.Y) == 0);
    p.Finite = true;
    MpzValue t;
    mpz_mul(b, p.Y, p.Y);
    mpz_mul(t, p.X, p.X);
    mpz_add(t, t, a);
    mpz_mul(t, t, p.X);
    mpz_sub(b, b, t);
    mpz_mod(b, b, n);
  }

 private:
  gmp_randstate_t state_;
};

// Runs f and expects the internal error "Internal error <code>", with every
// temporary given back to the pool on the way out.
template <typename F>
void ExpectInternalError(F f, const std::string& code) {
  const int32_t mark = BigTempPool::Instance().Mark();
  try {
    f();
    ADD_FAILURE() << "no internal error, expected " << code;
  } catch (const EKV& e) {
    EXPECT_EQ(std::string(e.what()), "Internal error " + code);
  }
  EXPECT_EQ(BigTempPool::Instance().Mark(), mark) << code;
}

}  // namespace karvo::test
