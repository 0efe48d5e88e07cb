// The discriminant search of the curve step. Per discriminant it costs a
// few word Jacobi symbols; only a discriminant whose genus characters all
// agree costs a square root modulo N, Cornacchia's reduction and the split
// of its orders.

#include "certifs/CurveSearch.h"

#include <algorithm>
#include <array>
#include <vector>

#include "arith/BigMod.h"
#include "arith/PrimeTable.h"
#include "arith/SmallPrimes.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Poll.h"
#include "base/SaveTimer.h"
#include "base/Settings.h"
#include "certifs/CurveOrders.h"
#include "certifs/PreTests.h"
#include "classpolys/ClassStats.h"
#include "classpolys/DataFiles.h"

namespace karvo {

namespace {

constexpr uint32_t Level6Last = 33554431;
// Table entries are data: 4d must fit the signed 32-bit form arithmetic.
constexpr uint32_t FormIndexLimit = 1u << 29;
constexpr size_t MaxPrimeDiscriminants = 6;  // 32 genera
constexpr int32_t Level6MaxClassNumber = 5120;
constexpr int32_t Level6Factor = 160;
constexpr std::array<uint32_t, 9> SquareTestPrimes = {3, 5, 7, 11, 13, 17, 19, 23, 29};
constexpr Word SquareTestProduct = 3234846615u;  // their product

// Whether the character of the 2-part of -d' is +1 at N (and d ≢ 0 mod 4).
bool TwoCharacterPasses(uint32_t d, int32_t nMod8) {
  switch (d % 8) {
    case 1:
    case 5:
      return nMod8 % 4 == 1;  // (-1/N)
    case 2:
      return nMod8 == 1 || nMod8 == 3;  // (-2/N)
    case 6:
      return nMod8 == 1 || nMod8 == 7;  // (2/N)
    case 3:
    case 7:
      return true;
    default:
      return false;
  }
}

bool MaybeSquare(const BigInt& t) {
  static const auto masks = [] {
    std::array<uint64_t, 5> m{};  // squares mod 256
    std::array<uint32_t, SquareTestPrimes.size()> small{};
    for (uint32_t x = 0; x < 256; ++x) m[(x * x % 256) / 64] |= 1ULL << (x * x % 64);
    for (size_t i = 0; i < SquareTestPrimes.size(); ++i) {
      for (uint32_t x = 0; x < SquareTestPrimes[i]; ++x) {
        small[i] |= 1u << (x * x % SquareTestPrimes[i]);
      }
    }
    return std::make_pair(m, small);
  }();
  const Word low = t.Words[0] & 255;
  if ((masks.first[low / 64] >> (low % 64) & 1) == 0) {
    return false;
  }
  const Word r = BigModWord(t, SquareTestProduct);
  for (size_t i = 0; i < SquareTestPrimes.size(); ++i) {
    if ((masks.second[i] >> (r % SquareTestPrimes[i]) & 1) == 0) {
      return false;
    }
  }
  return true;
}

// Frees a level's table when the search at that level ends.
struct TTableHold {
  int32_t Level = 0;
  ~TTableHold() {
    if (Level > 1) {
      FreeDiscriminantTable(Level);
    }
  }
};

class TCurveSearcher {
 public:
  explicit TCurveSearcher(TCertifier& certifier);
  TCurveSearchResult Run(int32_t& position);

 private:
  bool NextIndex(int32_t& position, uint32_t& d) const;
  bool Level6Admissible(uint32_t d);
  bool Level6ClassNumberFits(uint32_t d);
  Word NModP(int32_t tableIndex, Word p) const;
  bool Characters(uint32_t d);
  bool Solve(uint32_t d);
  bool TryOrders(uint32_t d);
  bool TryPair(uint32_t d, const BigInt& w, const BigInt& v);
  void Record(uint32_t d, const TOrderPair& pair, int32_t side, const BigInt& w,
              const BigInt& v);

  TCertifier& k_;
  const std::vector<uint32_t>* table_ = nullptr;
  BigInt c_, bound_, fourN_, limit_, u_, v_, a_, b_, t_;
  std::vector<uint32_t> primes_;  // odd primes of d
  int32_t genera_ = 0;
  int32_t classNumber_ = 0;
};

TCurveSearcher::TCurveSearcher(TCertifier& certifier) : k_(certifier) {
  const BigInt& N = k_.N;
  if (k_.NMod8 == 1) {
    BigNonResidue(c_, N);
  }
  if (Settings.BHB == 0) {
    BigAssign(bound_, k_.SqrtN);
    BigIsqrt(bound_);
    BigShiftLeft1(bound_);
    BigAdd(bound_, k_.SqrtN);
    BigAddWord(bound_, 6);
  } else {
    BigAssign(bound_, k_.SqrtN);
    BigShiftLeft1(bound_);
    BigIncrement(bound_);
  }
  BigAssign(fourN_, N);
  BigShiftLeft(fourN_, 2);
  BigAssign(limit_, fourN_);
  BigIsqrt(limit_);
}

TCurveSearchResult TCurveSearcher::Run(int32_t& position) {
  TTableHold hold;
  if (k_.Level <= DiscriminantTableLevels) {
    std::vector<uint32_t>& table = DiscriminantTables[k_.Level - 1];
    if (table.empty()) {
      if (!LoadDiscriminantTable(k_.Level)) {
        InternalError(2, 16, 1);
      }
      hold.Level = k_.Level;
    }
    table_ = &table;
  }
  const int32_t stage = k_.Level == 1   ? StageCurveSearchLevel1
                        : table_ != nullptr ? StageCurveSearchLevels2To5
                                            : StageCurveSearchLevel6;
  k_.ReportStage(stage);
  uint32_t d = 0;
  for (;;) {
    CheckPoll();
    if (SaveRequested.exchange(0) != 0) {
      k_.SaveSearchState(position);
    }
    if (!NextIndex(position, d)) {
      return TCurveSearchResult::NotFound;
    }
    k_.DIndex = position;
    k_.D = static_cast<int32_t>(d);
    if (table_ == nullptr && !Level6Admissible(d)) {
      continue;
    }
    if (!Characters(d) || (table_ == nullptr && !Level6ClassNumberFits(d)) || !Solve(d)) {
      continue;
    }
    if (TryOrders(d)) {
      return TCurveSearchResult::Found;
    }
  }
}

bool TCurveSearcher::NextIndex(int32_t& position, uint32_t& d) const {
  if (table_ == nullptr) {
    d = NextLevel6Index(static_cast<uint32_t>(std::max(position, 1)), k_.NMod8);
    position = static_cast<int32_t>(std::min(d, Level6Last + 1));
    return d <= Level6Last;
  }
  // Position p is entry p - 1: the first positions stand for methods.
  while (static_cast<size_t>(position) < table_->size()) {
    d = (*table_)[static_cast<size_t>(position++)];
    if (d != 0 && d < FormIndexLimit) {
      return true;
    }
  }
  return false;
}

Word TCurveSearcher::NModP(int32_t tableIndex, Word p) const {
  if (tableIndex < k_.PrimeBound) {
    return (PrimeTable[tableIndex].Residue + p - 1) % p;
  }
  return BigModWord(k_.N, p);
}

bool TCurveSearcher::Level6Admissible(uint32_t d) {
  const Word n3 = NModP(1, 3);
  const Word n5 = NModP(2, 5);
  if ((d % 3 == 0 && n3 != 1) || (d % 5 == 0 && n5 != 1 && n5 != 4)) {
    return false;
  }
  genera_ = GenusCountIfFundamental(d);
  return genera_ >= 1 && genera_ <= 32;
}

bool TCurveSearcher::Level6ClassNumberFits(uint32_t d) {
  classNumber_ = ClassNumberUpTo(d, std::min(Level6Factor * genera_, Level6MaxClassNumber));
  const int32_t ratio = classNumber_ / genera_;
  return classNumber_ >= 1 && ratio > 80 && ratio < 161;
}

bool TCurveSearcher::Characters(uint32_t d) {
  primes_.clear();
  if (!TwoCharacterPasses(d, k_.NMod8)) {
    return false;
  }
  uint32_t rest = d % 2 == 0 ? d / 2 : d;
  const auto passes = [&](int32_t index, Word p) {
    primes_.push_back(p);
    // (p*/N) = (N/p) by reciprocity, p* ≡ 1 (mod 4).
    return WordJacobi(static_cast<int32_t>(NModP(index, p)), p) == 1;
  };
  for (int32_t i = 2; i <= SmallPrimeCount && SmallPrimes[i] * SmallPrimes[i] <= rest; ++i) {
    const Word p = SmallPrimes[i];
    if (rest % p == 0) {
      rest /= p;
      if (rest % p == 0 || !passes(i - 1, p)) {
        return false;  // a square factor: not a fundamental discriminant
      }
    }
  }
  if (rest > 1 && !passes(PrimeTableCount, rest)) {
    return false;
  }
  return primes_.size() + (d % 4 == 3 ? 0 : 1) <= MaxPrimeDiscriminants;
}

bool TCurveSearcher::Solve(uint32_t d) {
  const BigInt& N = k_.N;
  const Word dp = d % 4 == 3 ? d : 4 * d;
  BigAssign(b_, N);
  BigSubWord(b_, dp);
  BigAssign(t_, b_);
  BigSqrtMod(b_, N, c_);
  BigSqrTo(a_, b_);
  BigMod(a_, N);
  if (!BigEqual(a_, t_)) {
    return false;  // only for a composite N
  }
  if ((b_.Words[0] & 1) != (dp & 1)) {
    BigSubFrom(b_, N);
  }
  BigAssign(a_, N);
  BigShiftLeft1(a_);
  while (BigCompare(b_, limit_) > 0) {
    BigRem(a_, b_);
    BigSwap(a_, b_);
  }
  BigAssign(u_, b_);
  BigSqrTo(t_, u_);
  BigSubFrom(t_, fourN_);
  if (t_.Sign != 0 || BigIsZero(t_) || !BigDivWordExact(t_, dp) || !MaybeSquare(t_)) {
    return false;
  }
  BigAssign(v_, t_);
  return BigIsqrt(v_);
}

bool TCurveSearcher::TryOrders(uint32_t d) {
  if (TryPair(d, u_, v_)) {
    return true;
  }
  if (k_.Level != 1 || (d != 1 && d != 3)) {
    return false;
  }
  BigInt w, v;
  if (d == 1) {
    // 4N = (2v)^2 + 4(u/2)^2.
    BigAssign(w, v_);
    BigShiftLeft1(w);
    BigAssign(v, u_);
    BigShiftRight1(v);
    return TryPair(d, w, v);
  }
  // 4N = ((u ± 3v)/2)^2 + 3((u ∓ v)/2)^2.
  for (const int32_t sign : {1, -1}) {
    BigAssign(w, v_);
    BigMulWord(w, 3);
    sign > 0 ? BigAddTo(w, u_, w) : BigSubTo(w, u_, w);
    BigShiftRight(w, 1);
    BigAssign(v, v_);
    sign > 0 ? BigSubTo(v, u_, v) : BigAddTo(v, u_, v);
    BigShiftRight(v, 1);
    if (TryPair(d, w, v)) {
      return true;
    }
  }
  return false;
}

bool TCurveSearcher::TryPair(uint32_t d, const BigInt& w, const BigInt& v) {
  BigInt absW;
  BigAssign(absW, w);
  BigAbs(absW);
  TOrderSieve sieve(k_.NPlus1, bound_, d, k_.PrimeBound);
  TOrderPair pair;
  sieve.Split(pair, absW, v);
  int32_t order[2] = {0, 1};
  if (pair.Alive[0] && pair.Alive[1] && BigCompare(pair.K[1], pair.K[0]) > 0) {
    std::swap(order[0], order[1]);
  }
  const int32_t minimumGain = CurveMinimumGain(k_.Level, k_.Bits, k_.TestCount);
  for (const int32_t side : order) {
    const BigInt& q = pair.Q[side];
    if (pair.Alive[side] && k_.Bits - BigBitSize(q) >= minimumGain && BigIsOdd(q) &&
        IsCofactorProbablePrime(q)) {
      Record(d, pair, side, absW, v);
      return true;
    }
  }
  return false;
}

void TCurveSearcher::Record(uint32_t d, const TOrderPair& pair, int32_t side, const BigInt& w,
                            const BigInt& v) {
  BigAssign(k_.S, pair.K[side]);
  BigAssign(k_.R, pair.Q[side]);
  k_.FoundDiscriminant = static_cast<int32_t>(d);
  k_.FoundType = IsClassNumberOneIndex(d) ? -3 : -4;
  if (table_ != nullptr) {
    classNumber_ = ClassNumber(d);
    genera_ = GenusCount(d);
  }
  k_.FoundClassNumber = classNumber_;
  k_.FoundGenera = genera_;
  TXKeyValues& keys = k_.FoundKeys;
  keys.clear();
  if (!BigIsZero(c_)) {
    keys.emplace_back("G$", BigToHex(c_));
  }
  if (d == 1 || d == 3) {
    // The recorded order is N + 1 - U$.
    BigInt u;
    BigAssign(u, w);
    if (side == 1) {
      BigNegate(u);
    }
    keys.emplace_back("U$", BigToHex(u));
    keys.emplace_back("V$", BigToHex(v));
  }
  if (k_.FoundType == -4) {
    keys.emplace_back("rs", std::to_string(primes_.size()));
    BigInt root;
    for (size_t i = 0; i < primes_.size(); ++i) {
      const Word p = primes_[i];
      const int32_t qStar = p % 4 == 1 ? static_cast<int32_t>(p) : -static_cast<int32_t>(p);
      BigSetInt(root, qStar);
      BigMod(root, k_.N);
      BigSqrtMod(root, k_.N, c_);
      const std::string digit(1, static_cast<char>('0' + i));
      keys.emplace_back("f" + digit, std::to_string(qStar));
      keys.emplace_back(digit + "$", BigToHex(root));
    }
  }
}

}  // namespace

TCurveSearchResult SearchCurve(TCertifier& certifier, int32_t& position) {
  TCurveSearcher searcher(certifier);
  return searcher.Run(position);
}

int32_t CurveMinimumGain(int32_t level, int32_t bits, int32_t tests) {
  if (level == 1) {
    return bits > 896 ? 2 : 9 - (bits - 1) / 128;
  }
  if (level <= DiscriminantTableLevels && tests >= 5 && bits > 2048) {
    return bits > 3072 ? 4 : 3;
  }
  return 2;
}

bool IsClassNumberOneIndex(uint32_t d) {
  for (const uint32_t one : {1u, 2u, 3u, 7u, 11u, 19u, 43u, 67u, 163u}) {
    if (d == one) {
      return true;
    }
  }
  return false;
}

uint32_t NextLevel6Index(uint32_t d, int32_t nMod8) {
  do {
    ++d;
  } while (!TwoCharacterPasses(d, nMod8));
  return d;
}

}  // namespace karvo
