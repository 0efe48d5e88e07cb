// Euler's pentagonal series: ∏(1 - q^n) = 1 + Σ (-1)^n (q^(n(3n-1)/2) + q^(n(3n+1)/2)).

#include "classpolys/ClassInvariants.h"

namespace karvo {

namespace {

// The terms -q, -q², q⁵, q⁷, -q¹², ... come from t·u and t·v with u and v
// advanced by q² and q each round. With second, each term's square (signs
// -, -, +, +, ...) is summed too, which gives the series in q².
void Pentagonal(BigComplex& q, BigComplex* second) {
  ComplexTemps t(6);
  BigComplex& sum = t[0];
  BigComplex& term = t[1];
  BigComplex& u = t[2];
  BigComplex& v = t[3];
  BigComplex& w = t[4];
  BigComplex& squared = t[5];
  SetOne(term);
  Assign(u, q);
  Negate(u);
  Assign(v, q);
  Assign(w, q);
  Square(w);
  bool secondActive = second != nullptr;
  if (secondActive) {
    SetZero(*second);
  }
  for (int32_t round = 1;; ++round) {
    bool stop = false;
    for (BigComplex* factor : {&u, &v}) {
      Mul(term, *factor);
      if (secondActive) {
        Assign(squared, term);
        Square(squared);
        if (round % 2 == 1) {
          Negate(squared);
        }
        secondActive = AddTo(*second, squared);
      }
      if (!AddTo(sum, term)) {
        stop = true;
        break;
      }
    }
    if (stop) {
      break;
    }
    Mul(u, w);
    Mul(v, q);
  }
  Increment(sum.Re);
  Swap(q, sum);
  if (second != nullptr) {
    Increment(second->Re);
  }
}

}  // namespace

void EtaProduct(BigComplex& q) { Pentagonal(q, nullptr); }

void EtaProducts(BigComplex& q, BigComplex& q2) { Pentagonal(q, &q2); }

}  // namespace karvo
