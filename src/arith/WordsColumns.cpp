// Products, squares and REDC by columns (product scanning) on mulx, fully
// unrolled for each length: every column's products are summed in three
// registers and only the finished limb is stored. Short rows spend more on their set-up
// and on passing partial results through memory than on their products;
// columns have neither, at the price of code that grows with the square of
// the length, so they serve the short lengths only.

#include <array>
#include <utility>

#include "arith/WordsLimbs.h"
#include "arith/WordsThresholds.h"

namespace karvo::limbs {

namespace {

// The sums of a column are three local limbs (s2, s1, s0), changed by these
// statements. Written out because g++ parks the carries of its own
// add-with-carry chains in memory here; macros because references to the
// sums would keep the sanitizer builds from holding them in registers, and
// swell those builds tenfold.
//
// (s2, s1, s0) += x·y.
#define KARVO_ADD_PRODUCT(X, Y, S0, S1, S2)                                  \
  do {                                                                       \
    Limb lo;                                                                 \
    Limb hi;                                                                 \
    asm("mulx %[y], %[lo], %[hi]\n\t"                                        \
        "add %[lo], %[s0]\n\t"                                               \
        "adc %[hi], %[s1]\n\t"                                               \
        "adc $0, %[s2]"                                                      \
        : [s0] "+r"(S0), [s1] "+r"(S1), [s2] "+r"(S2), [lo] "=&r"(lo),       \
          [hi] "=&r"(hi)                                                     \
        : "d"(X), [y] "rm"(Y)                                                \
        : "cc");                                                             \
  } while (false)

// (s2, s1, s0) += (c1, c0).
#define KARVO_ADD_CARRY(C0, C1, S0, S1, S2)             \
  asm("add %[c0], %[s0]\n\t"                            \
      "adc %[c1], %[s1]\n\t"                            \
      "adc $0, %[s2]"                                   \
      : [s0] "+r"(S0), [s1] "+r"(S1), [s2] "+r"(S2)     \
      : [c0] "r"(C0), [c1] "r"(C1)                      \
      : "cc")

// (s2, s1, s0) *= 2.
#define KARVO_DOUBLE(S0, S1, S2)                        \
  asm("add %[s0], %[s0]\n\t"                            \
      "adc %[s1], %[s1]\n\t"                            \
      "adc %[s2], %[s2]"                                \
      : [s0] "+r"(S0), [s1] "+r"(S1), [s2] "+r"(S2)     \
      :                                                 \
      : "cc")

// Column k of a product: a_i·b_(k-i), then the carry (c1, c0) of column
// k-1. For a square (b = a) the cross products a_i·a_(k-i), i < k - i, are
// formed once and doubled before the carry, then the square of the middle
// limb is added.
template <int32_t M, bool Square>
void ColumnProduct(Word* dst, const Word* a, const Word* b) {
  Limb c0 = 0;
  Limb c1 = 0;
#pragma GCC unroll 64
  for (int32_t k = 0; k < 2 * M - 1; ++k) {
    Limb s0 = 0;
    Limb s1 = 0;
    Limb s2 = 0;
#pragma GCC unroll 32
    for (int32_t i = k < M ? 0 : k - M + 1; Square ? i < k - i : i <= k && i < M; ++i) {
      KARVO_ADD_PRODUCT(Load64(a + 2 * i), Load64(b + 2 * (k - i)), s0, s1, s2);
    }
    if constexpr (Square) {
      KARVO_DOUBLE(s0, s1, s2);
    }
    KARVO_ADD_CARRY(c0, c1, s0, s1, s2);
    if (Square && k % 2 == 0) {
      const Limb x = Load64(a + k);
      KARVO_ADD_PRODUCT(x, x, s0, s1, s2);
    }
    Store64(dst + 2 * k, s0);
    c0 = s1;
    c1 = s2;
  }
  Store64(dst + 4 * M - 2, c0);
}

// Column i of REDC adds t_i, the products u_j·n_(i-j) and the carry of
// column i-1; below M it then picks u_i to clear the column's low limb,
// from M on the low limb is limb i-M of the result. Each column sums into
// fresh registers and takes the carry last, so its products need not wait
// for the chain of u through the column before.
template <int32_t M>
Limb ColumnRedc(Word* r, const Word* t, const Word* n, Limb minusInverse) {
  Limb u[M];
  Limb c0 = 0;
  Limb c1 = 0;
#pragma GCC unroll 64
  for (int32_t i = 0; i < 2 * M; ++i) {
    Limb s0 = Load64(t + 2 * i);
    Limb s1 = 0;
    Limb s2 = 0;
#pragma GCC unroll 32
    for (int32_t j = i < M ? 0 : i - M + 1; j < i && j < M; ++j) {
      KARVO_ADD_PRODUCT(u[j], Load64(n + 2 * (i - j)), s0, s1, s2);
    }
    KARVO_ADD_CARRY(c0, c1, s0, s1, s2);
    if (i < M) {
      u[i] = s0 * minusInverse;
      KARVO_ADD_PRODUCT(u[i], Load64(n), s0, s1, s2);
    } else {
      Store64(r + 2 * (i - M), s0);
    }
    c0 = s1;
    c1 = s2;
  }
  return c0;
}

#undef KARVO_DOUBLE
#undef KARVO_ADD_CARRY
#undef KARVO_ADD_PRODUCT

template <bool Square, int32_t... M>
constexpr auto ProductTable(std::integer_sequence<int32_t, M...>) {
  return std::array<void (*)(Word*, const Word*, const Word*), sizeof...(M)>{
      &ColumnProduct<M + 1, Square>...};
}

template <int32_t... M>
constexpr auto RedcTable(std::integer_sequence<int32_t, M...>) {
  return std::array<Limb (*)(Word*, const Word*, const Word*, Limb), sizeof...(M)>{
      &ColumnRedc<M + 1>...};
}

constexpr auto Squares = ProductTable<true>(std::make_integer_sequence<int32_t, ColumnLimbsTo>());
constexpr auto Products = ProductTable<false>(std::make_integer_sequence<int32_t, ColumnLimbsTo>());
constexpr auto Reductions = RedcTable(std::make_integer_sequence<int32_t, ColumnLimbsTo>());

}  // namespace

void ColumnSqr(Word* dst, const Word* a, int32_t m) { Squares[m - 1](dst, a, a); }

void ColumnMul(Word* dst, const Word* a, const Word* b, int32_t m) { Products[m - 1](dst, a, b); }

Limb ColumnRedc(Word* r, const Word* t, const Word* n, int32_t m, Limb minusInverse) {
  return Reductions[m - 1](r, t, n, minusInverse);
}

}  // namespace karvo::limbs
