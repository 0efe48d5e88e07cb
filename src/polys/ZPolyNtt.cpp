// Large products of the Kronecker substitution through number-theoretic
// transforms modulo three primes below 2^62 on 64-bit pieces, joined by the
// Chinese remainder theorem: quasi-linear, where the word kernel's Toom-3
// on 32-bit words is not.

#include <array>
#include <cstdint>
#include <vector>

#include "base/Poll.h"
#include "polys/PolysInternal.h"

namespace karvo {

namespace {

using U128 = unsigned __int128;

struct TPrime {
  uint64_t P;
  uint64_t Generator;
  uint64_t NegInverse = 0;  // -P^-1 mod 2^64
  uint64_t R2 = 0;          // 2^128 mod P
};

// k·2^32 + 1, the largest below 2^62, with a primitive root each.
std::array<TPrime, 3> Primes = {TPrime{4611685941117976577u, 3}, TPrime{4611685692009873409u, 19},
                                TPrime{4611685606110527489u, 3}};

// Montgomery product: a·b·2^-64 mod P for a·b < P·2^64.
inline uint64_t MulM(uint64_t a, uint64_t b, const TPrime& q) {
  const U128 t = static_cast<U128>(a) * b;
  const uint64_t m = static_cast<uint64_t>(t) * q.NegInverse;
  const uint64_t r = static_cast<uint64_t>((t + static_cast<U128>(m) * q.P) >> 64);
  return r >= q.P ? r - q.P : r;
}

inline uint64_t AddM(uint64_t a, uint64_t b, uint64_t p) {
  const uint64_t s = a + b;
  return s >= p ? s - p : s;
}

inline uint64_t SubM(uint64_t a, uint64_t b, uint64_t p) { return a >= b ? a - b : a + p - b; }

uint64_t PowM(uint64_t base, uint64_t e, const TPrime& q) {  // Montgomery in and out
  uint64_t result = MulM(1, q.R2, q);
  for (; e != 0; e >>= 1) {
    if ((e & 1) != 0) {
      result = MulM(result, base, q);
    }
    base = MulM(base, base, q);
  }
  return result;
}

void Prepare(TPrime& q) {
  if (q.NegInverse != 0) {
    return;
  }
  uint64_t inverse = q.P;  // Newton: each step doubles the correct low bits
  for (int i = 0; i < 6; ++i) {
    inverse *= 2 - q.P * inverse;
  }
  q.NegInverse = 0 - inverse;
  const U128 r = (static_cast<U128>(1) << 64) % q.P;
  q.R2 = static_cast<uint64_t>(r * r % q.P);
}

// Twiddles in Montgomery form, w^j for the roots of order 2·len at [len, 2·len).
struct TTables {
  std::vector<uint64_t> Forward, Inverse;
};

const TTables& Twiddles(const TPrime& q, size_t n, std::array<TTables, 3>& cache, size_t which) {
  TTables& t = cache[which];
  if (t.Forward.size() >= n) {
    return t;
  }
  t.Forward.assign(n, 0);
  t.Inverse.assign(n, 0);
  const uint64_t g = MulM(q.Generator, q.R2, q);
  for (size_t len = 1; len < n; len *= 2) {
    const uint64_t w = PowM(g, (q.P - 1) / (2 * len), q);
    const uint64_t wInverse = PowM(w, q.P - 2, q);
    uint64_t x = MulM(1, q.R2, q);
    uint64_t y = x;
    for (size_t j = 0; j < len; ++j) {
      t.Forward[len + j] = x;
      t.Inverse[len + j] = y;
      x = MulM(x, w, q);
      y = MulM(y, wInverse, q);
    }
  }
  return t;
}

// Natural order in, bit-reversed out (decimation in frequency). The prime
// is taken by value: through a reference the stores into a could alias it.
void Forward(uint64_t* a, size_t n, const uint64_t* w, const TPrime q) {
  for (size_t len = n / 2; len >= 1; len /= 2) {
    for (size_t i = 0; i < n; i += 2 * len) {
      for (size_t j = 0; j < len; ++j) {
        const uint64_t u = a[i + j];
        const uint64_t v = a[i + j + len];
        a[i + j] = AddM(u, v, q.P);
        a[i + j + len] = MulM(SubM(u, v, q.P), w[len + j], q);
      }
    }
  }
}

// Bit-reversed in, natural order out (decimation in time), unscaled.
void Inverse(uint64_t* a, size_t n, const uint64_t* w, const TPrime q) {
  for (size_t len = 1; len < n; len *= 2) {
    for (size_t i = 0; i < n; i += 2 * len) {
      for (size_t j = 0; j < len; ++j) {
        const uint64_t u = a[i + j];
        const uint64_t v = MulM(a[i + j + len], w[len + j], q);
        a[i + j] = AddM(u, v, q.P);
        a[i + j + len] = SubM(u, v, q.P);
      }
    }
  }
}

void LoadPieces(std::vector<uint64_t>& out, const BigInt& x, size_t n, uint64_t p) {
  out.assign(n, 0);
  for (int32_t i = 0; i < x.Length; ++i) {
    out[static_cast<size_t>(i / 2)] |= static_cast<uint64_t>(x.Words[i]) << (32 * (i % 2));
  }
  for (uint64_t& v : out) {
    while (v >= p) {
      v -= p;
    }
  }
}

}  // namespace

void PolysMulLarge(BigInt& z, const BigInt& x, const BigInt& y) {
  CheckPoll();
  static std::array<TTables, 3> cache;
  static std::array<std::vector<uint64_t>, 3> results;
  static std::vector<uint64_t> other;
  const bool square = &x == &y;
  const size_t pieces = static_cast<size_t>((x.Length + 1) / 2 + (y.Length + 1) / 2);
  size_t n = 1;
  while (n < pieces) {
    n *= 2;
  }
  for (size_t k = 0; k < 3; ++k) {
    TPrime& q = Primes[k];
    Prepare(q);
    const TTables& t = Twiddles(q, n, cache, k);
    std::vector<uint64_t>& a = results[k];
    LoadPieces(a, x, n, q.P);
    Forward(a.data(), n, t.Forward.data(), q);
    if (square) {
      for (uint64_t& v : a) {
        v = MulM(v, v, q);
      }
    } else {
      LoadPieces(other, y, n, q.P);
      Forward(other.data(), n, t.Forward.data(), q);
      for (size_t i = 0; i < n; ++i) {
        a[i] = MulM(a[i], other[i], q);
      }
    }
    Inverse(a.data(), n, t.Inverse.data(), q);
    // The pointwise products lost a factor 2^64 and the transforms gained
    // n; the Montgomery product by n^-1·2^128 restores both.
    const uint64_t scale = MulM(PowM(MulM(n % q.P, q.R2, q), q.P - 2, q), q.R2, q);
    for (uint64_t& v : a) {
      v = MulM(v, scale, q);
    }
  }
  // Garner: v = r0 + p0·(s1 + p1·s2) as three 64-bit words, added with carries.
  const TPrime& q0 = Primes[0];
  const TPrime& q1 = Primes[1];
  const TPrime& q2 = Primes[2];
  // Inverses in Montgomery form, so that MulM by them is a plain product.
  const uint64_t inv01 = PowM(MulM(q0.P % q1.P, q1.R2, q1), q1.P - 2, q1);
  const uint64_t inv02 = PowM(MulM(q0.P % q2.P, q2.R2, q2), q2.P - 2, q2);
  const uint64_t inv12 = PowM(MulM(q1.P % q2.P, q2.R2, q2), q2.P - 2, q2);
  std::vector<uint64_t> sum(n + 3, 0);
  U128 carryLow = 0;
  uint64_t carryHigh = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint64_t r0 = results[0][i];
    // The primes are within a factor 2 of each other: one subtraction reduces.
    const uint64_t s1 = MulM(SubM(results[1][i], r0 >= q1.P ? r0 - q1.P : r0, q1.P), inv01, q1);
    uint64_t s2 = MulM(SubM(results[2][i], r0 >= q2.P ? r0 - q2.P : r0, q2.P), inv02, q2);
    s2 = MulM(SubM(s2, s1 >= q2.P ? s1 - q2.P : s1, q2.P), inv12, q2);
    // value = r0 + p0·s1 + p0·p1·s2
    const U128 p0p1 = static_cast<U128>(q0.P) * q1.P;
    const U128 lowPart = static_cast<U128>(q0.P) * s1 + r0;  // < 2^124
    const U128 a = static_cast<U128>(static_cast<uint64_t>(p0p1)) * s2;
    const U128 b = static_cast<U128>(static_cast<uint64_t>(p0p1 >> 64)) * s2;
    // Words of value: w0 + w1·2^64 + w2·2^128.
    U128 acc = static_cast<U128>(static_cast<uint64_t>(lowPart)) + static_cast<uint64_t>(a) +
               static_cast<uint64_t>(carryLow);
    const uint64_t w0 = static_cast<uint64_t>(acc);
    acc = (acc >> 64) + static_cast<uint64_t>(lowPart >> 64) + static_cast<uint64_t>(a >> 64) +
          static_cast<uint64_t>(b) + static_cast<uint64_t>(carryLow >> 64);
    const uint64_t w1 = static_cast<uint64_t>(acc);
    acc = (acc >> 64) + static_cast<uint64_t>(b >> 64) + carryHigh;
    sum[i] = w0;
    carryLow = (static_cast<U128>(static_cast<uint64_t>(acc)) << 64) | w1;
    carryHigh = static_cast<uint64_t>(acc >> 64);
  }
  sum[n] = static_cast<uint64_t>(carryLow);
  sum[n + 1] = static_cast<uint64_t>(carryLow >> 64);
  sum[n + 2] = carryHigh;
  const auto words = static_cast<int32_t>(2 * (n + 3));
  BigSetZero(z);
  BigGrow(z, words);
  for (size_t i = 0; i < n + 3; ++i) {
    z.Words[2 * i] = static_cast<Word>(sum[i]);
    z.Words[2 * i + 1] = static_cast<Word>(sum[i] >> 32);
  }
  z.Length = words;
  z.Sign = x.Sign ^ y.Sign;
  BigNormalize(z);
}

}  // namespace karvo
