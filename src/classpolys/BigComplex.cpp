#include <cstdlib>

#include "base/Errors.h"
#include "classpolys/BigFloat.h"

namespace karvo {

void Assign(BigComplex& a, const BigComplex& b) {
  Assign(a.Re, b.Re);
  Assign(a.Im, b.Im);
}

void SetZero(BigComplex& a) {
  SetZero(a.Re);
  SetZero(a.Im);
}

void SetOne(BigComplex& a) {
  SetOne(a.Re);
  SetZero(a.Im);
}

void Negate(BigComplex& a) {
  Negate(a.Re);
  Negate(a.Im);
}

void Halve(BigComplex& a) {
  MulPow2(a.Re, -1);
  MulPow2(a.Im, -1);
}

void MulPow2(BigComplex& a, int32_t k) {
  if (k < 0) {
    InternalError(1001, 105, 1);
  }
  MulPow2(a.Re, k);
  MulPow2(a.Im, k);
}

void Mul(BigComplex& a, const BigFloat& r) {
  FloatTemps t(1);
  Assign(t[0], r);  // r may be a part of a
  Mul(a.Re, t[0]);
  Mul(a.Im, t[0]);
}

void MulInt(BigComplex& a, int32_t k) {
  MulInt(a.Re, k);
  MulInt(a.Im, k);
}

bool AddTo(BigComplex& a, const BigComplex& b) {
  const bool re = AddTo(a.Re, b.Re);
  return AddTo(a.Im, b.Im) || re;
}

bool SubFrom(BigComplex& a, const BigComplex& b) {
  const bool re = SubFrom(a.Re, b.Re);
  return SubFrom(a.Im, b.Im) || re;
}

// Re·Re′ − Im·Im′ and (Re + Im)(Re′ + Im′) − Re·Re′ − Im·Im′.
void Mul(BigComplex& a, const BigComplex& b) {
  FloatTemps t(4);
  Assign(t[0], a.Re);
  Mul(t[0], b.Re);
  Assign(t[1], a.Im);
  Mul(t[1], b.Im);
  Add(t[2], a.Re, a.Im);
  Add(t[3], b.Re, b.Im);
  Mul(t[2], t[3]);
  Sub(a.Re, t[0], t[1]);
  SubFrom(t[2], t[0]);
  Sub(a.Im, t[2], t[1]);
}

// (Re + Im)(Re − Im) and 2·Re·Im.
void Square(BigComplex& a) {
  FloatTemps t(2);
  Add(t[0], a.Re, a.Im);
  Sub(t[1], a.Re, a.Im);
  Mul(a.Im, a.Re);
  MulPow2(a.Im, 1);
  Mul(t[0], t[1]);
  Swap(a.Re, t[0]);
}

void SquaredModulus(BigFloat& r, const BigComplex& a) {
  FloatTemps t(1);
  SquareOf(t[0], a.Im);
  SquareOf(r, a.Re);
  AddTo(r, t[0]);
}

namespace {

// c ← conj(b)/|b|², b non-zero.
void Invert(BigComplex& c, const BigComplex& b) {
  FloatTemps t(1);
  SquaredModulus(t[0], b);
  Assign(c, b);
  Div(c.Re, t[0]);
  Div(c.Im, t[0]);
  Negate(c.Im);
}

bool IsZero(const BigComplex& a) { return IsZero(a.Re) && IsZero(a.Im); }

}  // namespace

void Reciprocal(BigComplex& a) {
  if (IsZero(a)) {
    InternalError(1001, 102, 1);
  }
  Invert(a, a);
}

void InverseOf(BigComplex& c, const BigComplex& b) {
  if (IsZero(b)) {
    InternalError(1001, 103, 1);
  }
  Invert(c, b);
}

void Div(BigComplex& a, const BigComplex& b) {
  if (IsZero(b)) {
    InternalError(1001, 100, 1);
  }
  ComplexTemps t(1);
  Invert(t[0], b);
  Mul(a, t[0]);
}

void Power(BigComplex& a, int32_t n) {
  if (n < 0) {
    Reciprocal(a);
  }
  auto e = static_cast<uint32_t>(std::llabs(int64_t{n}));
  ComplexTemps t(1);
  BigComplex& base = t[0];
  Assign(base, a);
  SetOne(a);
  for (; e != 0; e >>= 1) {
    if ((e & 1) != 0) {
      Mul(a, base);
    }
    if (e > 1) {
      Square(base);
    }
  }
}

// e^Re·(cos Im + i·sin Im).
void Exp(BigComplex& a) {
  FloatTemps t(2);
  SinCos(t[0], t[1], a.Im, false);
  Exp(a.Re);
  Assign(a.Im, a.Re);
  Mul(a.Re, t[1]);
  Mul(a.Im, t[0]);
}

void Swap(BigComplex& a, BigComplex& b) {
  Swap(a.Re, b.Re);
  Swap(a.Im, b.Im);
}

}  // namespace karvo
