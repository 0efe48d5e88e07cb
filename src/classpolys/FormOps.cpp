#include <algorithm>
#include <functional>
#include <numeric>
#include <utility>

#include "base/Errors.h"
#include "classpolys/QuadForms.h"
#include "classpolys/QuadFormsInternal.h"

namespace karvo {

namespace {

constexpr int kUnit = 11;
using Int128 = __int128;

}  // namespace

TGcdResult ExtendedGcd(int32_t a, int32_t b) {
  int64_t r0 = a, x0 = 1, y0 = 0;
  int64_t r1 = b, x1 = 0, y1 = 1;
  while (r1 != 0) {
    const int64_t q = r0 / r1;
    r0 = std::exchange(r1, r0 - q * r1);
    x0 = std::exchange(x1, x0 - q * x1);
    y0 = std::exchange(y1, y0 - q * y1);
  }
  if (r0 < 0) {
    r0 = -r0;
    x0 = -x0;
    y0 = -y0;
  }
  return {static_cast<int32_t>(r0), static_cast<int32_t>(x0), static_cast<int32_t>(y0)};
}

TQuadForm32 ReduceForm(int64_t a, int64_t b, int64_t c) {
  bool normalise = true;
  if (-a < b && b <= a) {
    if (a <= c) {
      normalise = false;
    } else {
      std::swap(a, c);
      b = -b;
    }
  }
  // Alternate normalising b into (−a, a] and swapping until a ≤ c.
  while (normalise) {
    int64_t q = b / (2 * a);
    int64_t r = b - 2 * a * q;
    if (r < 0) {
      --q;
      r += 2 * a;
    }
    if (r > a) {
      ++q;
      r -= 2 * a;
    }
    c -= static_cast<int64_t>(static_cast<Int128>(q) * ((b + r) / 2));
    b = r;
    normalise = a > c;
    if (normalise) {
      std::swap(a, c);
      b = -b;
    }
  }
  if (a == c && b < 0) {
    b = -b;
  }
  return {static_cast<int32_t>(a), static_cast<int32_t>(b), static_cast<int32_t>(c)};
}

TQuadForm32 ComposeForms(const TQuadForm32& f1, const TQuadForm32& f2, uint32_t d) {
  const TGcdResult g1 = ExtendedGcd(f1.A, f2.A);
  const int32_t s = static_cast<int32_t>((int64_t{f1.B} + f2.B) / 2);
  const TGcdResult g = ExtendedGcd(g1.G, s);
  const int64_t a1d = f1.A / g.G;
  const int64_t a2d = f2.A / g.G;
  const int64_t a3 = a1d * a2d;
  int64_t r = int64_t{g1.Y} * g.X * ((int64_t{f1.B} - f2.B) / 2) - int64_t{g.Y} * f2.C;
  // Moving r by a1/d moves b3 by 2·a3: the same class, but an unreduced r
  // lets b3² leave 64 bits once D reaches a few million.
  r %= a1d;
  if (r < 0) {
    r += a1d;
  }
  const int64_t b3 = f2.B + 2 * a2d * r;
  const auto c3 = static_cast<int64_t>((static_cast<Int128>(b3) * b3 + d) / 4 / a3);
  return ReduceForm(a3, b3, c3);
}

namespace {

// Appends a form, refusing the (h+1)-th with code 11.routine.place.
void AppendForm(TDynQuadForm32Array& forms, int32_t h, int routine, int place, uint64_t a,
                int64_t b, uint64_t c) {
  if (static_cast<int64_t>(forms.size()) >= h) {
    InternalError(kUnit, routine, place);
  }
  forms.push_back({static_cast<int32_t>(a), static_cast<int32_t>(b), static_cast<int32_t>(c)});
}

}  // namespace

// No primitivity test.
TDynQuadForm32Array ListForms(uint32_t d, int32_t h, bool bothSigns) {
  uint64_t dd = d;
  if (dd % 4 == 1 || dd % 4 == 2) {
    dd *= 4;
  }
  TDynQuadForm32Array forms;
  forms.reserve(static_cast<size_t>(std::max(h, 0)));
  const uint64_t bmax = Isqrt64(dd / 3);
  for (uint64_t b = dd % 2; b <= bmax; b += 2) {
    const uint64_t n = (b * b + dd) / 4;
    for (uint64_t a = std::max<uint64_t>(b, 1); a * a <= n; ++a) {
      if (n % a != 0) {
        continue;
      }
      AppendForm(forms, h, 1, 1, a, static_cast<int64_t>(b), n / a);
      if (bothSigns && b != 0 && a != b && a != n / a) {
        AppendForm(forms, h, 1, 2, a, -static_cast<int64_t>(b), n / a);
      }
    }
  }
  if (static_cast<int64_t>(forms.size()) != h) {
    InternalError(kUnit, 1, 3);
  }
  return forms;
}

TDynQuadForm32Array ListHalfForms(uint32_t delta, int32_t h, bool bothSigns) {
  TDynQuadForm32Array forms;
  forms.reserve(static_cast<size_t>(std::max(h, 0)));
  const uint64_t bmax = Isqrt64(delta / 3);
  for (uint64_t b = 0; b <= bmax; ++b) {
    const uint64_t n = b * b + delta;
    const uint64_t amax = Isqrt64(n);
    for (uint64_t a = std::max<uint64_t>(2 * b, 1); a <= amax; ++a) {
      if (n % a != 0 || std::gcd(std::gcd(a, 2 * b), n / a) != 1) {
        continue;
      }
      AppendForm(forms, h, 3, 1, a, static_cast<int64_t>(b), n / a);
      if (bothSigns && b >= 1 && 2 * b < a && a < n / a) {
        AppendForm(forms, h, 3, 2, a, -static_cast<int64_t>(b), n / a);
      }
    }
  }
  if (static_cast<int64_t>(forms.size()) != h) {
    InternalError(kUnit, 3, 3);
  }
  return forms;
}

TDynSInt32Array BuildOrderedForms(uint32_t m, int32_t h, const int32_t generators[3],
                                  int32_t generatorCountCode, const int32_t orders[3]) {
  TDynQuadForm32Array forms;
  uint32_t d = m;
  if (m % 8 != 3) {
    forms = ListHalfForms(m, h, true);
    for (TQuadForm32& f : forms) {
      f.B *= 2;
    }
    d = 4 * m;
  } else {
    forms = ListForms(m, h, true);
  }
  if (generatorCountCode < 0 || generatorCountCode > 2) {
    InternalError(kUnit, 5, 1);
  }
  const int32_t levels = generatorCountCode + 1;
  for (int32_t k = 0; k < levels; ++k) {
    if (generators[k] < 0 || generators[k] >= h) {
      InternalError(kUnit, 5, 3);
    }
  }
  TDynSInt32Array position(static_cast<size_t>(h), -1);
  TQuadForm32 current = forms[0];
  int32_t p = 0;
  // g1 is the outermost loop, the last generator the innermost.
  const std::function<void(int32_t)> walk = [&](int32_t level) {
    const TQuadForm32& g = forms[static_cast<size_t>(generators[level])];
    for (int32_t step = 0; step < orders[level]; ++step) {
      if (level + 1 < levels) {
        walk(level + 1);
      } else {
        const auto it = std::find(forms.begin(), forms.end(), current);
        // A composition outside the class group: the generators or orders are wrong.
        if (it == forms.end()) {
          InternalError(kUnit, 5, 2);
        }
        position[static_cast<size_t>(it - forms.begin())] = p++;
      }
      current = ComposeForms(current, g, d);
    }
  };
  walk(0);
  return position;
}

}  // namespace karvo
