// Finding a tower record: a basis of the class group walked from small-a
// generators, chains of level degrees that fit the walk, a coefficient index
// per level, the least precision that reproduces the tower's integers, and
// a check on primes that split completely that the descent ends at a root
// of the class polynomial.

#include "TowerRecords.h"

#include "TowerCost.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>
#include <tuple>

#include "arith/BigMod.h"
#include "arith/ProbablePrime.h"
#include "base/Errors.h"
#include "classpolys/ClassInvariants.h"
#include "classpolys/ClassPolynomial.h"
#include "classpolys/ClassStats.h"
#include "classpolys/TowerInternal.h"
#include "polys/InvariantToJ.h"

namespace karvo {

namespace {

constexpr int32_t kMaxUnit = 255;       // precision byte
constexpr int32_t kSafeMargin = 24;     // bits of every rounding at the written precision
constexpr int32_t kTrustedMargin = 40;  // bits of the reference build
constexpr size_t kChainsTried = 8;
constexpr int32_t kTuplesTried = 4;
constexpr int32_t kCheckPrimes = 4;
constexpr int32_t kFailed = INT32_MIN;
constexpr int32_t kReferenceRounds = 6;
constexpr int32_t kFirstReferenceBits = 256;
constexpr int32_t kMaxFinestCosets = 32;

struct TBasis {
  TDynSInt32Array Orders, Generators;
};

// The walk's forms and discriminant, as BuildOrderedForms lists them.
TDynQuadForm32Array WalkForms(uint32_t m, int32_t h, uint32_t& d) {
  if (m % 8 == 3) {
    d = m;
    return ListForms(m, h, true);
  }
  TDynQuadForm32Array forms = ListHalfForms(m, h, true);
  for (TQuadForm32& f : forms) {
    f.B *= 2;
  }
  d = 4 * m;
  return forms;
}

// Greedy basis: each generator the smallest-a element of largest order
// whose cyclic group meets the span so far only in the identity. Empty when
// three do not span the group.
TBasis FindBasis(uint32_t m, int32_t h) {
  uint32_t d = 0;
  const TDynQuadForm32Array forms = WalkForms(m, h, d);
  std::map<std::tuple<int32_t, int32_t, int32_t>, int32_t> index;
  for (size_t i = 0; i < forms.size(); ++i) {
    index[{forms[i].A, forms[i].B, forms[i].C}] = static_cast<int32_t>(i);
  }
  const auto indexOf = [&](const TQuadForm32& f) { return index.at({f.A, f.B, f.C}); };
  std::vector<int32_t> byA(forms.size());
  for (size_t i = 0; i < byA.size(); ++i) {
    byA[i] = static_cast<int32_t>(i);
  }
  std::stable_sort(byA.begin(), byA.end(),
                   [&](int32_t x, int32_t y) { return forms[size_t(x)].A < forms[size_t(y)].A; });
  std::vector<bool> span(forms.size(), false);
  span[0] = true;
  int32_t spanSize = 1;
  TBasis basis;
  while (spanSize < h && basis.Orders.size() < 3) {
    int32_t best = -1, bestOrder = 1;
    for (const int32_t x : byA) {
      TQuadForm32 power = forms[size_t(x)];
      int32_t order = 1;
      while (!span[size_t(indexOf(power))]) {
        power = ComposeForms(power, forms[size_t(x)], d);
        ++order;
      }
      if (order > bestOrder && indexOf(power) == 0) {
        best = x, bestOrder = order;
      }
    }
    if (best < 0) {
      return {};
    }
    std::vector<bool> grown(span);
    for (size_t e = 0; e < forms.size(); ++e) {
      if (!span[e]) {
        continue;
      }
      TQuadForm32 f = forms[e];
      for (int32_t k = 1; k < bestOrder; ++k) {
        f = ComposeForms(f, forms[size_t(best)], d);
        grown[size_t(indexOf(f))] = true;
      }
    }
    span = std::move(grown);
    spanSize *= bestOrder;
    basis.Orders.push_back(bestOrder);
    basis.Generators.push_back(best);
  }
  if (spanSize != h || std::count(span.begin(), span.end(), true) != h) {
    return {};
  }
  return basis;
}

using TChain = std::vector<int32_t>;

void ExtendChains(std::vector<TChain>& chains, TChain& chain, int32_t done, int32_t h,
                  const TDynSInt32Array& orders) {
  const int32_t rest = h / done;
  if (!chain.empty() && rest >= 2 && chain.size() + 1 <= TowerMaxLevels) {
    chain.push_back(rest);
    chains.push_back(chain);
    chain.pop_back();
  }
  if (chain.size() + 2 > TowerMaxLevels) {
    return;
  }
  for (int32_t degree = 2; degree < rest; ++degree) {
    if (rest % degree == 0 && CosetsOfSubgroup(orders, done * degree)) {
      chain.push_back(degree);
      ExtendChains(chains, chain, done * degree, h, orders);
      chain.pop_back();
    }
  }
}

// The chains whose largest degree stays below bound, cheapest root finding
// first, then the largest last degree: the fewer cosets the finest level
// has, the lower the precision its interpolation needs. Beyond
// kMaxFinestCosets no precision the record can hold suffices, and the exact
// discriminant of such a level takes minutes.
std::vector<TChain> Chains(int32_t h, const TDynSInt32Array& orders, int32_t bound) {
  std::vector<TChain> all;
  TChain chain;
  ExtendChains(all, chain, 1, h, orders);
  std::vector<std::tuple<double, int32_t, TChain>> ranked;
  for (const TChain& c : all) {
    if (*std::max_element(c.begin(), c.end()) < bound && h / c.back() <= kMaxFinestCosets) {
      ranked.emplace_back(TowerMs(h, 0, c), -c.back(), c);
    }
  }
  std::sort(ranked.begin(), ranked.end());
  std::vector<TChain> chains;
  for (size_t i = 0; i < ranked.size() && i < kChainsTried; ++i) {
    chains.push_back(std::get<2>(ranked[i]));
  }
  return chains;
}

std::vector<uint8_t> RecordBytes(const TBasis& basis, const TChain& chain, uint8_t type,
                                 const std::vector<int32_t>& indices, int32_t unit) {
  std::vector<uint8_t> bytes{uint8_t(basis.Orders.size())};
  for (const int32_t o : basis.Orders) bytes.push_back(uint8_t(o));
  for (const int32_t g : basis.Generators) bytes.push_back(uint8_t(g));
  bytes.push_back(uint8_t(chain.size()));
  for (const int32_t degree : chain) bytes.push_back(uint8_t(degree));
  bytes.push_back(type);
  for (const int32_t i : indices) bytes.push_back(uint8_t(i));
  bytes.push_back(uint8_t(unit));
  return bytes;
}

bool Decode(TGaloisDat& record, const std::vector<uint8_t>& bytes, uint32_t m) {
  uint8_t buffer[ClassGroupRecordMax] = {};
  std::copy(bytes.begin(), bytes.end(), buffer);
  return DecodeGaloisRecord(buffer, uint32_t(bytes.size()), m, record);
}

bool SameIntegers(const TGaloisRec& x, const TGaloisRec& y) {
  const auto same = [](const ZPoly& a, const ZPoly& b) {
    if (a.Degree != b.Degree) return false;
    for (int32_t i = 0; i <= a.Degree; ++i) {
      if (!BigEqual(a.Coeffs[size_t(i)], b.Coeffs[size_t(i)])) return false;
    }
    return true;
  };
  if (!same(x.LevelPolynomial, y.LevelPolynomial)) return false;
  for (size_t l = 0; l < x.CoefficientPolynomials.size(); ++l) {
    for (size_t j = 0; j < x.CoefficientPolynomials[l].size(); ++j) {
      if (!same(x.CoefficientPolynomials[l][j], y.CoefficientPolynomials[l][j]) ||
          !BigEqual(x.Denominators[l][j], y.Denominators[l][j])) {
        return false;
      }
    }
  }
  return true;
}

// The tower of bytes with precision unit p; its rounding margin, or kFailed
// when it cannot be built (θ not distinct, discriminant not of the form).
int32_t TryBuild(TGaloisRec& tower, std::vector<uint8_t>& bytes, int32_t unit, uint32_t m) {
  bytes.back() = uint8_t(unit);
  TGaloisDat record;
  if (!Decode(record, bytes, m)) {
    return kFailed;
  }
  try {
    return BuildTower(tower, record, m);
  } catch (const EKV&) {
    return kFailed;
  }
}

// Primes N = u² + m, which split completely in the ring class field.
std::vector<BigInt> CheckPrimes(uint32_t m) {
  std::vector<BigInt> primes;
  BigInt N;
  for (uint32_t j = 1; primes.size() < kCheckPrimes; ++j) {
    BigSetOne(N);
    BigShiftLeft(N, 96);
    BigAddWord(N, 2 * j + (m % 2 == 0 ? 1 : 0));
    BigSqr(N);
    BigAddWord(N, m);
    if (BigIsProbablePrime(N, 8)) {
      primes.emplace_back();
      BigAssign(primes.back(), N);
    }
  }
  return primes;
}

// The descent on every check prime ends at a root of the class polynomial
// of the record's invariant (built on first use), and that root gives a j.
bool Validates(const TGaloisRec& tower, uint32_t m, ZPoly& classPolynomial) {
  if (classPolynomial.Degree < 0) {
    const uint32_t disc = m % 4 == 3 ? m : 4 * m;
    TQFormList forms;
    forms.Build(disc, tower.Code, false);
    BuildClassPolynomial(classPolynomial, forms, disc, tower.Code, m);
  }
  ZPoly f;
  BigInt c, value, slots[4];
  for (const BigInt& N : CheckPrimes(m)) {
    BigNonResidue(c, N);
    if (!DescendTower(f, tower, N, c) || f.Degree != 1) {
      return false;
    }
    BigAssign(slots[0], N);
    BigSub(slots[0], f.Coeffs[0]);
    BigMod(slots[0], N);
    ZPolyEval(value, slots[0], N, classPolynomial);
    if (!BigIsZero(value) ||
        InvariantToJ(slots, N, c, tower.Code, tower.Code < 0 && m % 2 == 1) < 1) {
      return false;
    }
  }
  return true;
}

// The least unit whose tower equals the reference and rounds with margin;
// tower and bytes are left at it.
int32_t LeastUnit(TGaloisRec& tower, std::vector<uint8_t>& bytes, const TGaloisRec& reference,
                  int32_t high, uint32_t m) {
  int32_t low = 0;  // [low, high]: high passes
  while (low < high) {
    const int32_t mid = (low + high) / 2;
    const int32_t margin = TryBuild(tower, bytes, mid, m);
    if (margin >= 1 && SameIntegers(tower, reference)) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  for (int32_t unit = high; unit <= kMaxUnit; ++unit) {
    if (TryBuild(tower, bytes, unit, m) >= kSafeMargin && SameIntegers(tower, reference)) {
      return unit;
    }
  }
  return -1;
}

// The coefficient indices to try: the trace first, then the norm, then the
// next coefficients, as an odometer over the levels.
std::vector<std::vector<int32_t>> IndexTuples(const TChain& chain) {
  std::vector<std::vector<int32_t>> tuples;
  std::vector<int32_t> digit(chain.size() - 1, 0);
  for (int32_t n = 0; n < kTuplesTried; ++n) {
    std::vector<int32_t> tuple;
    for (size_t l = 0; l < digit.size(); ++l) {
      const int32_t size = chain[l + 1];
      tuple.push_back(digit[l] == 0 ? size - 1 : (digit[l] - 1) % (size - 1));
    }
    tuples.push_back(tuple);
    for (size_t l = 0; l < digit.size(); ++l) {
      if (++digit[l] < std::min(chain[l + 1], 3)) break;
      digit[l] = 0;
    }
  }
  std::sort(tuples.begin(), tuples.end());
  tuples.erase(std::unique(tuples.begin(), tuples.end()), tuples.end());
  return tuples;
}

// The bits the genus or direct route works at.
int32_t RouteBits(uint32_t m, int32_t h, int32_t g) {
  const uint32_t disc = m % 4 == 3 ? m : 4 * m;
  const int32_t code = ChooseInvariant(m, h < 32 ? 1 : 4);
  TQFormList forms;
  forms.Build(disc, code, g > 1);
  return g > 1 ? EstimateGenusPrecision(forms, m, disc, code, g, h)
               : EstimatePrecision(forms, m, disc, code);
}

std::vector<uint8_t> InvariantTypes(uint32_t m) {
  if (m % 8 != 3 || m % 3 != 0) {
    return {0};
  }
  // γ2 is no class invariant here; the eta quotients of the key's primes.
  std::vector<uint8_t> types;
  for (const uint8_t p : {3, 5, 7, 13}) {
    if (m % p == 0) types.push_back(p);
  }
  return types;
}

// The least precision unit whose words give at least bits.
int32_t UnitFor(int32_t bits) { return std::min(kMaxUnit, (bits / 32 + 1) / 2); }

// A build whose integers are trusted (rounded with kTrustedMargin bits to
// spare) at no more than budget bits; its unit, or -1. Each too short build
// says by its margin how far the largest integer outgrew the precision.
int32_t BuildReference(TGaloisRec& reference, std::vector<uint8_t>& bytes, int32_t budget,
                       uint32_t m) {
  int32_t unit = UnitFor(std::min(budget, kFirstReferenceBits));
  for (int32_t round = 0; round < kReferenceRounds; ++round) {
    const int32_t margin = TryBuild(reference, bytes, unit, m);
    if (margin >= kTrustedMargin) {
      return unit;
    }
    const int32_t bits = 64 * unit;
    const int32_t needed = margin == kFailed ? budget : bits - margin + kTrustedMargin;
    const int32_t next = UnitFor(std::min(budget, needed + kTrustedMargin));
    if (needed > budget || next <= unit) {
      return -1;
    }
    unit = next;
  }
  return -1;
}

std::string ChainText(const TChain& chain, const std::vector<int32_t>& indices) {
  std::string text = "degrees";
  for (const int32_t d : chain) {
    text.append(" ").append(std::to_string(d));
  }
  text.append(" indices");
  for (const int32_t i : indices) {
    text.append(" ").append(std::to_string(i));
  }
  return text;
}

}  // namespace

TTowerOutcome FindTowerRecord(uint32_t m) {
  const int32_t h = ClassNumber(m);
  const int32_t g = GenusCount(m);
  if (!TowerApplies(h, g)) {
    return {{}, "not tried"};
  }
  const TBasis basis = FindBasis(m, h);
  if (basis.Orders.empty()) {
    return {{}, "rank above 3"};
  }
  std::vector<TChain> chains = Chains(h, basis.Orders, g > 1 ? h / g : h);
  if (chains.empty()) {
    return {{}, "no chain below h/g"};
  }
  // The modelled cheapest validated tower: each later chain must beat the
  // best so far, which bounds its precision.
  const int32_t routeBits = RouteBits(m, h, g);
  TTowerOutcome best{{}, "no chain beats the route"};
  double bestMs = RouteMs(h, g, routeBits);
  for (const uint8_t type : InvariantTypes(m)) {
    ZPoly classPolynomial;  // of the type's invariant
    for (const TChain& chain : chains) {
      const int32_t budget = std::min(BreakEvenBits(h, chain, bestMs), 64 * kMaxUnit);
      // The reciprocal search needs an even last degree.
      if ((type != 0 && chain.back() % 2 != 0) || budget < 64) {
        continue;
      }
      for (const std::vector<int32_t>& indices : IndexTuples(chain)) {
        std::vector<uint8_t> bytes = RecordBytes(basis, chain, type, indices, 0);
        TGaloisRec reference;
        const int32_t high = BuildReference(reference, bytes, budget, m);
        TGaloisRec tower;
        if (high < 0 || LeastUnit(tower, bytes, reference, high, m) < 0) {
          best.Note = best.Bytes.empty() ? "no tower within the break-even precision" : best.Note;
          continue;
        }
        TGaloisDat record;
        Decode(record, bytes, m);
        const int32_t bits = 32 * record.PrecisionWords;
        const double ms = TowerMs(h, bits, chain);
        const std::string note = ChainText(chain, indices) + " bits " + std::to_string(bits) +
                                 " route " + std::to_string(routeBits);
        if (ms >= bestMs) {
          best.Note = best.Bytes.empty() ? "slower than the route " + note : best.Note;
          continue;
        }
        if (!Validates(tower, m, classPolynomial)) {
          best.Note = best.Bytes.empty() ? "fails validation " + note : best.Note;
          continue;
        }
        best = {bytes, note};
        bestMs = ms;
        break;  // the next chain
      }
    }
  }
  return best;
}

std::string TowerLine(uint32_t m, const TTowerOutcome& outcome) {
  std::string hex;
  char digits[3];
  for (const uint8_t b : outcome.Bytes) {
    std::snprintf(digits, sizeof digits, "%02x", b);
    hex += digits;
  }
  return std::to_string(m) + "\t" + (hex.empty() ? "-" : hex) + "\t" + outcome.Note;
}

bool ParseTowerLine(const std::string& line, uint32_t& m, std::vector<uint8_t>& bytes) {
  const size_t tab = line.find('\t');
  const size_t end = line.find('\t', tab + 1);
  if (tab == std::string::npos || end == std::string::npos) {
    return false;
  }
  m = uint32_t(std::stoul(line.substr(0, tab)));
  bytes.clear();
  const std::string hex = line.substr(tab + 1, end - tab - 1);
  if (hex == "-") {
    return true;
  }
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return hex.size() % 2 == 0 && bytes.size() <= ClassGroupRecordMax;
}

}  // namespace karvo
