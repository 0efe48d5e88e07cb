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

// r[0 .. na+nb-2] := a·b; r distinct from the operands; s has room for
// 4·(na + nb) temporaries.
void MulInto(BigFloat* r, const BigFloat* a, int32_t na, const BigFloat* b, int32_t nb,
             BigFloat* s);

void Schoolbook(BigFloat* r, const BigFloat* a, int32_t na, const BigFloat* b, int32_t nb) {
  FloatTemps temps(1);
  BigFloat& t = temps[0];
  for (int32_t i = 0; i < na + nb - 1; ++i) {
    SetZero(r[i]);
  }
  for (int32_t i = 0; i < na; ++i) {
    for (int32_t j = 0; j < nb; ++j) {
      Assign(t, a[i]);
      Mul(t, b[j]);
      AddTo(r[i + j], t);
    }
  }
}

// na ≥ 2·nb: pieces of a of length nb, each multiplied and added in place.
void Unbalanced(BigFloat* r, const BigFloat* a, int32_t na, const BigFloat* b, int32_t nb,
                BigFloat* s) {
  BigFloat* piece = s;
  for (int32_t i = 0; i < na + nb - 1; ++i) {
    SetZero(r[i]);
  }
  for (int32_t offset = 0; offset < na; offset += nb) {
    const int32_t n = std::min(nb, na - offset);
    MulInto(piece, a + offset, n, b, nb, s + 2 * nb);
    AddInto(r + offset, piece, n + nb - 1);
  }
}

// a = a0 + x^k·a1, b = b0 + x^k·b1 with k = ⌈na/2⌉ < nb ≤ na.
void Karatsuba(BigFloat* r, const BigFloat* a, int32_t na, const BigFloat* b, int32_t nb,
               BigFloat* s) {
  const int32_t k = (na + 1) / 2;
  const int32_t na1 = na - k;
  const int32_t nb1 = nb - k;
  BigFloat* sa = s;
  BigFloat* sb = s + k;
  BigFloat* middle = s + 2 * k;
  s += 4 * k;
  for (int32_t i = 0; i < k; ++i) {
    Assign(sa[i], a[i]);
    Assign(sb[i], b[i]);
  }
  AddInto(sa, a + k, na1);
  AddInto(sb, b + k, nb1);
  MulInto(middle, sa, k, sb, k, s);
  // z0 in r[0 .. 2k-2], z2 in r[2k ..]; r[2k-1] is free.
  MulInto(r, a, k, b, k, s);
  MulInto(r + 2 * k, a + k, na1, b + k, nb1, s);
  SetZero(r[2 * k - 1]);
  SubInto(middle, r, 2 * k - 1);
  SubInto(middle, r + 2 * k, na1 + nb1 - 1);
  AddInto(r + k, middle, 2 * k - 1);
}

void MulInto(BigFloat* r, const BigFloat* a, int32_t na, const BigFloat* b, int32_t nb,
             BigFloat* s) {
  if (na < nb) {
    std::swap(a, b);
    std::swap(na, nb);
  }
  if (nb < kSchoolbookBelow) {
    Schoolbook(r, a, na, b, nb);
  } else if (nb <= (na + 1) / 2) {
    Unbalanced(r, a, na, b, nb, s);
  } else {
    Karatsuba(r, a, na, b, nb, s);
  }
}

}  // namespace

void XPolyMul(TXPoly& r, const TXPoly& a, const TXPoly& b, std::vector<BigFloat>& scratch) {
  const int64_t degree = int64_t{a.Degree} + b.Degree;
  if (degree > kMaxProductDegree) {
    InternalError(299, 2, 1);
  }
  const auto needed = static_cast<size_t>((degree + 8) / 8 * 8);
  if (r.Coeffs.size() < needed) {
    r.Coeffs.resize(needed);
  }
  r.Degree = static_cast<int32_t>(degree);
  const auto room = static_cast<size_t>(4 * (degree + 2));
  if (scratch.size() < room) {
    scratch.resize(room);
  }
  MulInto(r.Coeffs.data(), a.Coeffs.data(), a.Degree + 1, b.Coeffs.data(), b.Degree + 1,
          scratch.data());
}

}  // namespace karvo
