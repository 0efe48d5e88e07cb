#include "polys/ZPoly.h"

#include <memory>
#include <utility>

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"

namespace karvo {

namespace {

// The unit's polynomials handed out by ZPolyTemps, by mark as the BigInt
// pool does; pointers keep them in place while the vector grows.
std::vector<std::unique_ptr<ZPoly>> PolyPool;
int32_t PolyPoolMark = 0;

void Reserve(ZPoly& a, int32_t d) {
  if (static_cast<int32_t>(a.Coeffs.size()) <= d) {
    ZPolySetCapacity(a, d);
  }
}

}  // namespace

void ZPolySetCapacity(ZPoly& a, int32_t d) {
  if (d < 0) {
    a.Coeffs = std::vector<BigInt>();
    a.Degree = -1;
    return;
  }
  a.Coeffs.resize(static_cast<size_t>((d + 8) / 8 * 8));
  if (a.Degree > d) {
    a.Degree = d;
    ZPolyNormalise(a);
  }
}

void ZPolyClear(ZPoly& a) {
  for (BigInt& c : a.Coeffs) {
    BigClear(c);
  }
  a.Degree = -1;
}

void ZPolySetZeroDegree(ZPoly& a, int32_t d) {
  Reserve(a, d);
  for (int32_t i = 0; i <= d; ++i) {
    BigSetZero(a.Coeffs[i]);
  }
  a.Degree = d;
}

void ZPolyNormalise(ZPoly& a) {
  while (a.Degree >= 0 && BigIsZero(a.Coeffs[a.Degree])) {
    --a.Degree;
  }
}

void ZPolyAssign(ZPoly& a, const ZPoly& b) {
  if (&a == &b) {
    return;
  }
  Reserve(a, b.Degree);
  for (int32_t i = 0; i <= b.Degree; ++i) {
    BigAssign(a.Coeffs[i], b.Coeffs[i]);
  }
  a.Degree = b.Degree;
}

void ZPolySwap(ZPoly& a, ZPoly& b) {
  std::swap(a.Coeffs, b.Coeffs);
  std::swap(a.Degree, b.Degree);
}

void ZPolySetOne(ZPoly& a) { ZPolySetMonomial(a, 0); }

void ZPolySetMonomial(ZPoly& a, int32_t k) {
  ZPolySetZeroDegree(a, k);
  BigSetOne(a.Coeffs[k]);
}

void ZPolySetInts(ZPoly& a, const std::vector<int64_t>& coeffs) {
  ZPolySetZeroDegree(a, static_cast<int32_t>(coeffs.size()) - 1);
  for (size_t i = 0; i < coeffs.size(); ++i) {
    BigSetInt64(a.Coeffs[i], coeffs[i]);
  }
  ZPolyNormalise(a);
}

void ZPolyReduce(ZPoly& a, const BigInt& N) {
  for (int32_t i = 0; i <= a.Degree; ++i) {
    BigMod(a.Coeffs[i], N);
  }
  ZPolyNormalise(a);
}

void ZPolySub(ZPoly& a, const ZPoly& b, const BigInt& N) {
  if (b.Degree > a.Degree) {
    Reserve(a, b.Degree);
    for (int32_t i = a.Degree + 1; i <= b.Degree; ++i) {
      BigSetZero(a.Coeffs[i]);
    }
    a.Degree = b.Degree;
  }
  for (int32_t i = 0; i <= b.Degree; ++i) {
    BigSub(a.Coeffs[i], b.Coeffs[i]);
    BigMod(a.Coeffs[i], N);
  }
  ZPolyNormalise(a);
}

void ZPolySubConstant(ZPoly& a, const BigInt& c, const BigInt& N) {
  if (a.Degree < 0) {
    ZPolySetZeroDegree(a, 0);
  }
  BigSub(a.Coeffs[0], c);
  BigMod(a.Coeffs[0], N);
  ZPolyNormalise(a);
}

void ZPolySubOne(ZPoly& a, const BigInt& N) {
  BigTemps t(1);
  BigSetOne(t[0]);
  ZPolySubConstant(a, t[0], N);
}

void ZPolySubX(ZPoly& a, const BigInt& N) {
  ZPolyTemps t(1);
  ZPoly& x = t[0];
  ZPolySetMonomial(x, 1);
  ZPolySub(a, x, N);
}

void ZPolyMulXk(ZPoly& a, int32_t k) {
  if (k < 0) {
    InternalError(300, 6, 1);
  }
  if (a.Degree < 0 || k == 0) {
    return;
  }
  Reserve(a, a.Degree + k);
  for (int32_t i = a.Degree; i >= 0; --i) {
    BigSwap(a.Coeffs[i + k], a.Coeffs[i]);
  }
  for (int32_t i = 0; i < k; ++i) {
    BigSetZero(a.Coeffs[i]);
  }
  a.Degree += k;
}

void ZPolyDivXk(ZPoly& a, int32_t k) {
  if (k < 0) {
    InternalError(300, 2, 1);
  }
  if (k > a.Degree) {
    a.Degree = -1;
    return;
  }
  for (int32_t i = k; i <= a.Degree; ++i) {
    BigSwap(a.Coeffs[i - k], a.Coeffs[i]);
  }
  a.Degree -= k;
}

void ZPolyTruncate(ZPoly& a, int32_t k) {
  if (a.Degree >= k) {
    a.Degree = k - 1;
    ZPolyNormalise(a);
  }
}

bool ZPolyMakeMonic(ZPoly& a, const BigInt& N) {
  if (a.Degree < 0 || BigIsOne(a.Coeffs[a.Degree])) {
    return true;
  }
  BigTemps t(1);
  BigInt& inverse = t[0];
  BigAssign(inverse, a.Coeffs[a.Degree]);
  if (!BigInvMod(inverse, N)) {
    return false;
  }
  for (int32_t i = 0; i < a.Degree; ++i) {
    BigMul(a.Coeffs[i], inverse);
    BigMod(a.Coeffs[i], N);
  }
  BigSetOne(a.Coeffs[a.Degree]);
  return true;
}

void ZPolyEval(BigInt& v, const BigInt& x, const BigInt& N, const ZPoly& a) {
  BigTemps t(1);
  BigInt& acc = t[0];
  BigSetZero(acc);
  for (int32_t i = a.Degree; i >= 0; --i) {
    BigMul(acc, x);
    BigAdd(acc, a.Coeffs[i]);
    BigMod(acc, N);
  }
  BigSwap(v, acc);
}

void ZPolyDerivative(ZPoly& a) {
  for (int32_t i = 1; i <= a.Degree; ++i) {
    BigSwap(a.Coeffs[i - 1], a.Coeffs[i]);
    BigMulInt(a.Coeffs[i - 1], i);
  }
  a.Degree = a.Degree <= 0 ? -1 : a.Degree - 1;
  ZPolyNormalise(a);
}

void ZPolyContent(BigInt& c, const ZPoly& a) {
  if (a.Degree < 0) {
    BigSetZero(c);
    return;
  }
  BigAssign(c, a.Coeffs[a.Degree]);
  for (int32_t i = a.Degree - 1; i >= 0 && !BigIsOne(c); --i) {
    BigGcd(c, a.Coeffs[i]);
  }
  BigAbs(c);
  if (BigIsNegative(a.Coeffs[a.Degree])) {
    BigNegate(c);
  }
}

namespace {

void DivideByContent(ZPoly& a, BigInt& content) {
  ZPolyContent(content, a);
  for (int32_t i = 0; i <= a.Degree; ++i) {
    BigDiv(a.Coeffs[i], content);
  }
}

// a := lc(b)^(deg a - deg b + 1)·a mod b over the integers.
void PseudoRemainder(ZPoly& a, const ZPoly& b) {
  BigTemps t(1);
  const BigInt& lead = b.Coeffs[b.Degree];
  int32_t unused = a.Degree - b.Degree + 1;
  while (a.Degree >= b.Degree) {
    BigSwap(t[0], a.Coeffs[a.Degree]);
    const int32_t shift = a.Degree - b.Degree;
    for (int32_t i = 0; i < a.Degree; ++i) {
      BigMul(a.Coeffs[i], lead);
    }
    for (int32_t j = 0; j < b.Degree; ++j) {
      BigInt& target = a.Coeffs[j + shift];
      BigTemps p(1);
      BigMulTo(p[0], t[0], b.Coeffs[j]);
      BigSub(target, p[0]);
    }
    --a.Degree;
    ZPolyNormalise(a);
    --unused;
  }
  for (; unused > 0; --unused) {
    for (int32_t i = 0; i <= a.Degree; ++i) {
      BigMul(a.Coeffs[i], lead);
    }
  }
}

void PowerTo(BigInt& z, const BigInt& x, int32_t e) {
  BigAssign(z, x);
  BigPower(z, static_cast<Word>(e));
}

}  // namespace

// Subresultant remainder sequence on the primitive parts of a and a'.
void ZPolyDiscriminant(const ZPoly& a, BigInt& d) {
  const int32_t n = a.Degree;
  if (n < 1) {
    InternalError(300, 9, 1);
  }
  ZPolyTemps polys(2);
  ZPoly& f = polys[0];
  ZPoly& g = polys[1];
  ZPolyAssign(f, a);
  ZPolyAssign(g, a);
  ZPolyDerivative(g);
  BigTemps t(6);
  BigInt& scale = t[0];
  BigInt& gg = t[1];
  BigInt& h = t[2];
  BigInt& x = t[3];
  BigInt& y = t[4];
  DivideByContent(f, x);
  DivideByContent(g, y);
  PowerTo(scale, x, g.Degree);
  PowerTo(t[5], y, f.Degree);
  BigMul(scale, t[5]);
  BigSetOne(gg);
  BigSetOne(h);
  bool negative = false;
  while (g.Degree > 0) {
    const int32_t delta = f.Degree - g.Degree;
    negative ^= (f.Degree & 1) && (g.Degree & 1);
    PseudoRemainder(f, g);
    ZPolySwap(f, g);
    if (g.Degree < 0) {
      BigSetZero(d);
      return;
    }
    PowerTo(x, h, delta);
    BigMul(x, gg);
    for (int32_t i = 0; i <= g.Degree; ++i) {
      BigDiv(g.Coeffs[i], x);
    }
    BigAssign(gg, f.Coeffs[f.Degree]);
    PowerTo(x, gg, delta);
    PowerTo(y, h, delta - 1);
    BigDiv(x, y);
    BigSwap(h, x);
  }
  PowerTo(x, g.Coeffs[0], f.Degree);
  PowerTo(y, h, f.Degree - 1);
  BigDiv(x, y);
  BigMul(x, scale);
  if (negative != ((n % 4) >= 2)) {
    BigNegate(x);
  }
  BigDiv(x, a.Coeffs[n]);
  BigSwap(d, x);
}

ZPolyTemps::ZPolyTemps(int32_t count) : mark_(PolyPoolMark) {
  while (static_cast<int32_t>(PolyPool.size()) < mark_ + count) {
    PolyPool.push_back(std::make_unique<ZPoly>());
  }
  PolyPoolMark += count;
  for (int32_t i = mark_; i < PolyPoolMark; ++i) {
    PolyPool[static_cast<size_t>(i)]->Degree = -1;
  }
}

ZPolyTemps::~ZPolyTemps() { PolyPoolMark = mark_; }

ZPoly& ZPolyTemps::operator[](int32_t i) { return *PolyPool[static_cast<size_t>(mark_ + i)]; }

void ZPolyReleaseScratch() {
  for (size_t i = static_cast<size_t>(PolyPoolMark); i < PolyPool.size(); ++i) {
    ZPolySetCapacity(*PolyPool[i], -1);
  }
}

}  // namespace karvo
