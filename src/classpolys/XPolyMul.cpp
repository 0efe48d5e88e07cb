// Products of real polynomials: schoolbook below degree 4, Karatsuba above,
// and unbalanced operands cut into pieces of the shorter one's length.

#include <algorithm>
#include <vector>

#include "base/Errors.h"
#include "classpolys/XPolyBuilder.h"

namespace karvo {

namespace {

constexpr int32_t kMaxProductDegree = 8388607;
constexpr int32_t kSchoolbookBelow = 5;  // lengths, i.e. degree below 4

using TFloats = std::vector<BigFloat>;

void AddInto(BigFloat* r, const BigFloat* a, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    AddTo(r[i], a[i]);
  }
}

void SubInto(BigFloat* r, const BigFloat* a, int32_t n) {
  for (int32_t i = 0; i < n; ++i) {
    SubFrom(r[i], a[i]);
  }
}

// r[0 .. na+nb-2] := a·b; r distinct from the operands.
void MulInto(BigFloat* r, const BigFloat* a, int32_t na, const BigFloat* b, int32_t nb);

void Schoolbook(BigFloat* r, const BigFloat* a, int32_t na, const BigFloat* b, int32_t nb) {
  FloatTemps t(1);
  for (int32_t i = 0; i < na + nb - 1; ++i) {
    SetZero(r[i]);
  }
  for (int32_t i = 0; i < na; ++i) {
    for (int32_t j = 0; j < nb; ++j) {
      Assign(t[0], a[i]);
      Mul(t[0], b[j]);
      AddTo(r[i + j], t[0]);
    }
  }
}

// na ≥ 2·nb: pieces of a of length nb, each multiplied and added in place.
void Unbalanced(BigFloat* r, const BigFloat* a, int32_t na, const BigFloat* b, int32_t nb) {
  TFloats piece(static_cast<size_t>(2 * nb - 1));
  for (int32_t i = 0; i < na + nb - 1; ++i) {
    SetZero(r[i]);
  }
  for (int32_t offset = 0; offset < na; offset += nb) {
    const int32_t n = std::min(nb, na - offset);
    MulInto(piece.data(), a + offset, n, b, nb);
    AddInto(r + offset, piece.data(), n + nb - 1);
  }
}

// a = a0 + x^k·a1, b = b0 + x^k·b1 with k = ⌈na/2⌉ < nb ≤ na.
void Karatsuba(BigFloat* r, const BigFloat* a, int32_t na, const BigFloat* b, int32_t nb) {
  const int32_t k = (na + 1) / 2;
  const int32_t na1 = na - k;
  const int32_t nb1 = nb - k;
  TFloats sums(static_cast<size_t>(2 * k));
  TFloats middle(static_cast<size_t>(2 * k - 1));
  BigFloat* sa = sums.data();
  BigFloat* sb = sums.data() + k;
  for (int32_t i = 0; i < k; ++i) {
    Assign(sa[i], a[i]);
    Assign(sb[i], b[i]);
  }
  AddInto(sa, a + k, na1);
  AddInto(sb, b + k, nb1);
  MulInto(middle.data(), sa, k, sb, k);
  // z0 in r[0 .. 2k-2], z2 in r[2k ..]; r[2k-1] is free.
  MulInto(r, a, k, b, k);
  MulInto(r + 2 * k, a + k, na1, b + k, nb1);
  SetZero(r[2 * k - 1]);
  SubInto(middle.data(), r, 2 * k - 1);
  SubInto(middle.data(), r + 2 * k, na1 + nb1 - 1);
  AddInto(r + k, middle.data(), 2 * k - 1);
}

void MulInto(BigFloat* r, const BigFloat* a, int32_t na, const BigFloat* b, int32_t nb) {
  if (na < nb) {
    std::swap(a, b);
    std::swap(na, nb);
  }
  if (nb < kSchoolbookBelow) {
    Schoolbook(r, a, na, b, nb);
  } else if (nb <= (na + 1) / 2) {
    Unbalanced(r, a, na, b, nb);
  } else {
    Karatsuba(r, a, na, b, nb);
  }
}

}  // namespace

void XPolyMul(TXPoly& r, const TXPoly& a, const TXPoly& b) {
  const int64_t degree = int64_t{a.Degree} + b.Degree;
  if (degree > kMaxProductDegree) {
    InternalError(299, 2, 1);
  }
  const auto needed = static_cast<size_t>((degree + 8) / 8 * 8);
  if (r.Coeffs.size() < needed) {
    r.Coeffs.resize(needed);
  }
  r.Degree = static_cast<int32_t>(degree);
  MulInto(r.Coeffs.data(), a.Coeffs.data(), a.Degree + 1, b.Coeffs.data(), b.Degree + 1);
}

}  // namespace karvo
