#include "classpolys/QuadForms.h"

#include <numeric>

#include "arith/BigMod.h"
#include "arith/SmallPrimes.h"
#include "base/Errors.h"
#include "classpolys/QuadFormsInternal.h"

namespace karvo {

namespace {

constexpr int kUnit = 11;

// Odd, at least 3, prime to d and small enough for the M field.
bool UsableM(int64_t v, uint32_t d) {
  return v >= 3 && v <= INT32_MAX && (v & 1) != 0 && std::gcd(static_cast<uint64_t>(v), uint64_t{d}) == 1;
}

int32_t PrimeCode(uint64_t p) {
  return p % 4 == 1 ? static_cast<int32_t>(p) : -static_cast<int32_t>(p);
}

}  // namespace

void TQFormList::Clear() {
  *this = TQFormList();
}

void TQFormList::AddForm(int32_t a, int32_t b, int32_t c, bool single) {
  if (Count == Capacity) {
    Capacity = Capacity < 64 ? 64 : 2 * Capacity;
    Forms.resize(static_cast<size_t>(Capacity));
  }
  TQuadForm& f = Forms.at(static_cast<size_t>(Count++));
  f = TQuadForm{a, b, c, 0, 0, static_cast<uint8_t>(single ? 1 : 0)};
  if (single) {
    ++ClassNumber;
    ++GenusCount;
  } else {
    ClassNumber += 2;
  }
}

void TQFormList::Build(uint32_t d, int32_t invariantCode, bool withGenera) {
  if (d % 4 == 1 || d % 4 == 2) {
    InternalError(kUnit, 113, 1);
  }
  Clear();
  D = d;
  if (invariantCode <= 0 && d % 2 == 1) {
    FullB = false;
    EnumerateHalf();
  } else {
    FullB = true;
    EnumerateFull();
    if (invariantCode < 0) {
      FullB = false;
      D = d / 4;
      for (int32_t i = 0; i < Count; ++i) {
        Forms[static_cast<size_t>(i)].B /= 2;
      }
    }
  }
  if (withGenera) {
    ComputeGenera();
    ComputeGenusSigns();
  }
}

// No primitivity test: D is expected to be a fundamental discriminant's magnitude.
void TQFormList::EnumerateFull() {
  ForEachReducedForm(D, [this](uint64_t a, uint64_t b, uint64_t c, bool single) {
    AddForm(static_cast<int32_t>(a), static_cast<int32_t>(b), static_cast<int32_t>(c), single);
    return true;
  });
}

// Properly primitive forms only: gcd(a, 2b, c) = 1.
void TQFormList::EnumerateHalf() {
  const uint64_t delta = D;
  const auto add = [this](uint64_t a, uint64_t b, uint64_t c, bool single) {
    AddForm(static_cast<int32_t>(a), static_cast<int32_t>(b), static_cast<int32_t>(c), single);
  };
  for (uint64_t a = 1; a * a <= delta; ++a) {
    if (delta % a == 0 && std::gcd(a, delta / a) == 1) {
      add(a, 0, delta / a, true);
    }
  }
  const uint64_t bmax = Isqrt64(delta / 3);
  for (uint64_t b = 1; b <= bmax; ++b) {
    const uint64_t n = delta + b * b;
    if (n % (2 * b) == 0 && std::gcd(2 * b, n / (2 * b)) == 1) {
      add(2 * b, b, n / (2 * b), true);
    }
    uint64_t a = 2 * b + 1;
    for (; a * a < n; ++a) {
      if (n % a == 0 && std::gcd(std::gcd(a, 2 * b), n / a) == 1) {
        add(a, b, n / a, false);
      }
    }
    if (a * a == n && std::gcd(a, 2 * b) == 1) {
      add(a, b, a, true);
    }
  }
}

void TQFormList::FactorDiscriminant() {
  uint64_t d = D;
  if (!FullB && (D % 4 == 1 || D % 4 == 2)) {
    d *= 4;
  }
  int32_t negative[QFormMaxFactors];
  int32_t positive[QFormMaxFactors];
  int32_t negCount = 0;
  int32_t posCount = 0;
  const auto record = [&](int32_t code) {
    if (code < 0) {
      negative[negCount++] = code;
    } else {
      positive[posCount++] = code;
    }
  };
  if (d % 16 == 4) {
    record(-1);
    d /= 4;
  } else if (d % 32 == 8) {
    record(-2);
    d /= 8;
  } else if (d % 32 == 24) {
    record(2);
    d /= 8;
  }
  for (int32_t i = 2; i <= SmallPrimeCount; ++i) {
    const uint64_t p = SmallPrimes[static_cast<size_t>(i)];
    if (d / p < p) {
      break;
    }
    if (d % p == 0) {
      record(PrimeCode(p));
      d /= p;
    }
  }
  if (d > 1) {
    record(PrimeCode(d));
  }
  for (int32_t i = 0; i < negCount; ++i) {
    Factors[i] = negative[i];
  }
  for (int32_t i = 0; i < posCount; ++i) {
    Factors[negCount + i] = positive[i];
  }
  NegFactorCount = negCount;
  FactorCount = negCount + posCount;
}

int32_t TQFormList::RepresentedValue(const TQuadForm& f) const {
  const int64_t a = f.A;
  const int64_t c = f.C;
  if (UsableM(a, D)) {
    return f.A;
  }
  if (UsableM(c, D)) {
    return f.C;
  }
  if (FullB) {
    if (UsableM(a + f.B + c, D)) {
      return static_cast<int32_t>(a + f.B + c);
    }
    for (int64_t s = 3; s <= 1024; ++s) {
      for (int64_t x = 1; x < s; ++x) {
        const int64_t y = s - x;
        const int64_t v = a * x * x + f.B * x * y + c * y * y;
        if (UsableM(v, D)) {
          return static_cast<int32_t>(v);
        }
      }
    }
    InternalError(kUnit, 110, 1);
  }
  for (int64_t s = 2; s <= 1024; ++s) {
    for (int64_t x = 1; x < s; ++x) {
      const int64_t y = s - x;
      const int64_t w = a * x * x + 2 * f.B * x * y + c * y * y;
      if (w % 4 == 0 && UsableM(w / 4, D)) {
        return static_cast<int32_t>(w / 4);
      }
    }
  }
  InternalError(kUnit, 111, 1);
}

void TQFormList::ComputeGenera() {
  if (GeneraDone) {
    return;
  }
  FactorDiscriminant();
  int32_t chi[QFormMaxFactors];
  for (int32_t i = 0; i < Count; ++i) {
    TQuadForm& f = Forms[static_cast<size_t>(i)];
    f.M = RepresentedValue(f);
    for (int32_t j = 0; j < FactorCount; ++j) {
      chi[j] = IntJacobi(Factors[j], f.M);
    }
    // Pairs of negative codes: the characters of their positive products.
    if (chi[0] == -1) {
      for (int32_t j = 1; j < NegFactorCount; ++j) {
        chi[j] = -chi[j];
      }
    }
    f.Genus = 0;
    for (int32_t j = 1; j < FactorCount; ++j) {
      if (chi[j] == -1) {
        f.Genus |= 1u << (j - 1);
      }
    }
  }
  GeneraDone = true;
}

void TQFormList::ComputeGenusSigns() {
  if (SignsDone) {
    return;
  }
  if (!GeneraDone) {
    InternalError(kUnit, 101, 1);
  }
  // The tables hold 32 genera; more codes would write past them.
  if (FactorCount > 6 || GenusCount > QFormMaxGenera) {
    InternalError(kUnit, 101, 2);
  }
  GenusFieldValues[0] = 1;
  int32_t m = 1;
  const auto doubleBy = [&](int32_t code) {
    for (int32_t i = 0; i < m; ++i) {
      GenusFieldValues[m + i] = GenusFieldValues[i] * code;
    }
    m *= 2;
  };
  for (int32_t j = 1; j < NegFactorCount; ++j) {
    doubleBy(Factors[j]);
  }
  for (int32_t i = 1; i < m; ++i) {
    if (GenusFieldValues[i] < 0) {
      GenusFieldValues[i] *= Factors[0];
    }
  }
  for (int32_t j = std::max(NegFactorCount, 1); j < FactorCount; ++j) {
    doubleBy(Factors[j]);
  }
  GenusSigns[0][0] = 1;
  for (int32_t s = 1; s < GenusCount; s *= 2) {
    for (int32_t i = 0; i < s; ++i) {
      for (int32_t j = 0; j < s; ++j) {
        GenusSigns[s + i][j] = GenusSigns[i][j];
        GenusSigns[i][s + j] = GenusSigns[i][j];
        GenusSigns[s + i][s + j] = static_cast<int8_t>(-GenusSigns[i][j]);
      }
    }
  }
  SignsDone = true;
}

TQuadForm TQFormList::GetForm(int32_t index) const {
  if (index < 0 || index >= Count) {
    InternalError(kUnit, 103, 1);
  }
  return Forms[static_cast<size_t>(index)];
}

int32_t TQFormList::GetFactor(int32_t index) const {
  if (index < 0 || index >= FactorCount) {
    InternalError(kUnit, 102, 1);
  }
  return Factors[index];
}

int32_t TQFormList::GetGenusFieldValue(int32_t index) const {
  if (index < 0 || index >= GenusCount || index >= QFormMaxGenera) {
    InternalError(kUnit, 107, 1);
  }
  return GenusFieldValues[index];
}

int32_t TQFormList::GetGenusSign(int32_t row, int32_t column) const {
  if (!SignsDone || row < 0 || row >= GenusCount || column < 0 || column >= GenusCount) {
    InternalError(kUnit, 112, 1);
  }
  return GenusSigns[row][column];
}

}  // namespace karvo
