// The split of a pair of curve orders. The primes 3 .. 1621 come in groups
// whose product fits a word, so one division of w serves a whole group; up
// to 2^16 the primes go in twos; beyond, one division each. Once one order
// has dropped out, the other is tested alone by exact remainders, without
// any division.

#include "certifs/CurveOrders.h"

#include <algorithm>
#include <vector>

#include "arith/BigMod.h"
#include "arith/PrimeTable.h"
#include "arith/SmallPrimes.h"
#include "base/Errors.h"
#include "base/Poll.h"

namespace karvo {

namespace {

// From this size on the large-N rules apply (no pairing, square factors
// and quadratic characters first).
constexpr int32_t LargeWords = 65;
// Table index of 1621, the last grouped prime, plus one.
constexpr int32_t GroupedEnd = 257;
constexpr int32_t PollInterval = 8192;

struct TPrimeGroup {
  int32_t First;  // table index
  int32_t End;
  Word Product;
};

// Greedy groups of consecutive primes 3 .. 1621 with a product below 2^32.
const std::vector<TPrimeGroup>& PrimeGroups() {
  static const std::vector<TPrimeGroup> groups = [] {
    std::vector<TPrimeGroup> list;
    int32_t i = 1;
    while (i < GroupedEnd) {
      TPrimeGroup group{i, i, 1};
      uint64_t product = 1;
      while (group.End < GroupedEnd && product * SmallPrimes[group.End + 1] <= 0xFFFFFFFFULL) {
        product *= SmallPrimes[group.End + 1];
        ++group.End;
      }
      group.Product = static_cast<Word>(product);
      list.push_back(group);
      i = group.End;
    }
    return list;
  }();
  return groups;
}

}  // namespace

TOrderSieve::TOrderSieve(const BigInt& nPlus1, const BigInt& bound, uint32_t d,
                         int32_t primeBound)
    : nPlus1_(nPlus1),
      bound_(bound),
      d_(d),
      primeBound_(std::min(primeBound, PrimeTableCount)),
      large_(nPlus1.Length >= LargeWords) {}

void TOrderSieve::Split(TOrderPair& pair, const BigInt& w, const BigInt& v) {
  for (int32_t side = 0; side < 2; ++side) {
    StartOrder(pair, side, w);
    if (large_ && pair.Alive[side]) {
      RemoveSquareFactors(pair, side, w, v);
    }
  }
  int32_t next = 1;
  for (const TPrimeGroup& group : PrimeGroups()) {
    if (!pair.Alive[0] || !pair.Alive[1]) {
      break;
    }
    const Word r = BigModWord(w, group.Product);
    for (int32_t i = group.First; i < group.End && i < primeBound_; ++i) {
      const Word p = PrimeTable[i].Prime;
      if (!Skipped(p)) {
        Sieve(pair, p, r % p, PrimeTable[i].Residue);
      }
    }
    next = group.End;
  }
  const int32_t pairedEnd = std::min(primeBound_, SmallPrimeCount);
  for (; next < primeBound_ && pair.Alive[0] && pair.Alive[1]; ++next) {
    if ((next & (PollInterval - 1)) == 0) {
      CheckPoll();
    }
    const Word p = PrimeTable[next].Prime;
    if (!large_ && next + 1 < pairedEnd) {
      const Word p2 = PrimeTable[next + 1].Prime;
      const Word r = BigModWord(w, p * p2);
      Sieve(pair, p, r % p, PrimeTable[next].Residue);
      Sieve(pair, p2, r % p2, PrimeTable[next + 1].Residue);
      ++next;
    } else if (!Skipped(p)) {
      Sieve(pair, p, BigModWord(w, p), PrimeTable[next].Residue);
    }
  }
  if (pair.Alive[0] != pair.Alive[1]) {
    SieveSingle(pair, w, next);
  }
}

void TOrderSieve::StartOrder(TOrderPair& pair, int32_t side, const BigInt& w) {
  BigInt& q = pair.Q[side];
  BigAssign(q, nPlus1_);
  side == 0 ? BigSub(q, w) : BigAdd(q, w);
  BigSetOne(pair.K[side]);
  pair.Alive[side] = BigCompare(q, bound_) > 0;
  if (pair.Alive[side]) {
    BigShiftLeft(pair.K[side], BigRemoveTrailingZeros(q));
    pair.Alive[side] = BigCompare(q, bound_) > 0;
  }
}

void TOrderSieve::RemoveSquareFactors(TOrderPair& pair, int32_t side, const BigInt& w,
                                      const BigInt& v) {
  // N + 1 ∓ w = ((w ∓ 2)^2 + d'·v^2)/4: a factor shared by w ∓ 2 and v
  // divides the order squared.
  BigAssign(work_, v);
  BigAbs(work_);
  BigRemoveTrailingZeros(work_);
  BigInt g;
  BigAssign(g, w);
  side == 0 ? BigSubWord(g, 2) : BigAddWord(g, 2);
  if (BigGcd(g, work_)) {
    return;
  }
  BigSqr(g);
  BigInt& q = pair.Q[side];
  do {
    if (!BigDiv(q, g)) {
      InternalError(2, 7, side + 1);
    }
    BigMul(pair.K[side], g);
  } while (!BigGcd(g, q));
  pair.Alive[side] = BigCompare(q, bound_) > 0;
}

bool TOrderSieve::Skipped(Word p) const {
  // Where -d is not a square modulo p, p divides neither order.
  if (!large_ || d_ % p == 0) {
    return false;
  }
  return IntJacobi(static_cast<int32_t>(p - d_ % p), static_cast<int32_t>(p)) == -1;
}

void TOrderSieve::Sieve(TOrderPair& pair, Word p, Word r, Word residue) {
  if (pair.Alive[0] && r == residue) {
    DivideOut(pair, 0, p);
  }
  if (pair.Alive[1] && (r + residue) % p == 0) {
    DivideOut(pair, 1, p);
  }
}

void TOrderSieve::DivideOut(TOrderPair& pair, int32_t side, Word p) {
  BigInt& q = pair.Q[side];
  do {
    BigDivExactByWord(q, p);
    BigMulWord(pair.K[side], p);
  } while (BigIsDivisibleByWord(q, p));
  pair.Alive[side] = BigCompare(q, bound_) > 0;
}

void TOrderSieve::SieveSingle(TOrderPair& pair, const BigInt& w, int32_t from) {
  const int32_t side = pair.Alive[0] ? 0 : 1;
  for (int32_t i = from; i < primeBound_ && pair.Alive[side]; ++i) {
    if ((i & (PollInterval - 1)) == 0) {
      CheckPoll();
    }
    const TPrimeEntry& entry = PrimeTable[i];
    if (Skipped(entry.Prime)) {
      continue;
    }
    // w ≡ N + 1 (first order) or w ≡ -(N + 1) (second) modulo p.
    const Word c = side == 0 ? entry.Residue : (entry.Prime - entry.Residue) % entry.Prime;
    const bool divides =
        BigIsZero(w) ? c == 0
                     : WordsModExactOddInv(w.Words, w.Length, c, entry.Prime, entry.Inverse) == 0;
    if (divides) {
      DivideOut(pair, side, entry.Prime);
    }
  }
}

}  // namespace karvo
