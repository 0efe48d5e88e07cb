#pragma once

// The FLINT side shared by the polynomial tests and karvo-bench-polys:
// ZPoly <-> fmpz_mod_poly through mpz, random primes and random residue
// polynomials from one GMP random state. Header-only, so that the benchmark
// needs no test library.

#include <flint/fmpz_mod_poly.h>
#include <flint/fmpz_poly.h>
#include <gmp.h>

#include <cstdint>

#include "polys/ZPoly.h"
#include "support/MpzValue.h"

namespace karvo::test {

// An fmpz that clears itself, set from and read into a BigInt through mpz.
class FmpzValue {
 public:
  FmpzValue() { fmpz_init(v_); }
  explicit FmpzValue(const BigInt& x) : FmpzValue() {
    MpzValue m;
    MpzFromBig(m, x);
    fmpz_set_mpz(v_, m);
  }
  ~FmpzValue() { fmpz_clear(v_); }
  FmpzValue(const FmpzValue&) = delete;
  FmpzValue& operator=(const FmpzValue&) = delete;
  fmpz* get() { return v_; }
  void Get(BigInt& x) const {
    MpzValue m;
    fmpz_get_mpz(m, v_);
    BigFromMpz(x, m);
  }

 private:
  fmpz_t v_;
};

// A modulus with its FLINT context, and one FLINT polynomial over it.
class FlintModulus {
 public:
  explicit FlintModulus(const BigInt& N) : n_(N) { fmpz_mod_ctx_init(ctx_, n_.get()); }
  ~FlintModulus() { fmpz_mod_ctx_clear(ctx_); }
  FlintModulus(const FlintModulus&) = delete;
  FlintModulus& operator=(const FlintModulus&) = delete;
  const fmpz_mod_ctx_struct* ctx() const { return ctx_; }

 private:
  FmpzValue n_;
  fmpz_mod_ctx_t ctx_;
};

class FlintPoly {
 public:
  explicit FlintPoly(const FlintModulus& m) : ctx_(m.ctx()) { fmpz_mod_poly_init(p_, ctx_); }
  ~FlintPoly() { fmpz_mod_poly_clear(p_, ctx_); }
  FlintPoly(const FlintPoly&) = delete;
  FlintPoly& operator=(const FlintPoly&) = delete;
  fmpz_mod_poly_struct* get() { return p_; }
  const fmpz_mod_poly_struct* get() const { return p_; }

  void Set(const ZPoly& a) {
    fmpz_mod_poly_zero(p_, ctx_);
    for (int32_t i = 0; i <= a.Degree; ++i) {
      FmpzValue c(a.Coeffs[static_cast<size_t>(i)]);
      fmpz_mod_poly_set_coeff_fmpz(p_, i, c.get(), ctx_);
    }
  }
  void Get(ZPoly& a) const {
    const auto degree = static_cast<int32_t>(fmpz_mod_poly_degree(p_, ctx_));
    ZPolySetZeroDegree(a, degree);
    FmpzValue c;
    for (int32_t i = 0; i <= degree; ++i) {
      fmpz_mod_poly_get_coeff_fmpz(c.get(), p_, i, ctx_);
      c.Get(a.Coeffs[static_cast<size_t>(i)]);
    }
  }

 private:
  const fmpz_mod_ctx_struct* ctx_;
  fmpz_mod_poly_t p_;
};

class RandomSource {
 public:
  explicit RandomSource(uint64_t seed) {
    gmp_randinit_default(state_);
    gmp_randseed_ui(state_, static_cast<unsigned long>(seed));
  }
  ~RandomSource() { gmp_randclear(state_); }
  RandomSource(const RandomSource&) = delete;
  RandomSource& operator=(const RandomSource&) = delete;

  // A prime of exactly bits bits, or any odd number of that size.
  void Prime(BigInt& N, int32_t bits, bool prime = true) {
    MpzValue v;
    do {
      mpz_urandomb(v, state_, static_cast<mp_bitcnt_t>(bits));
      mpz_setbit(v, static_cast<mp_bitcnt_t>(bits - 1));
      mpz_setbit(v, 0);
      if (prime) {
        mpz_nextprime(v, v);
      }
    } while (mpz_sizeinbase(v, 2) != static_cast<size_t>(bits));
    BigFromMpz(N, v);
  }
  void Below(BigInt& x, const BigInt& N) {
    MpzValue n;
    MpzValue v;
    MpzFromBig(n, N);
    mpz_urandomm(v, state_, n);
    BigFromMpz(x, v);
  }
  // Degree exactly d (monic when asked) with residues below N.
  void Poly(ZPoly& a, int32_t d, const BigInt& N, bool monic) {
    ZPolySetZeroDegree(a, d);
    for (BigInt& c : a.Coeffs) {
      Below(c, N);
    }
    BigInt& lead = a.Coeffs[static_cast<size_t>(d)];
    if (monic || BigIsZero(lead)) {
      BigSetOne(lead);
    }
  }

 private:
  gmp_randstate_t state_;
};

}  // namespace karvo::test
