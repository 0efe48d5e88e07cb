#include "arith/SmallFactors.h"

#include <array>

#include "arith/SmallPrimes.h"
#include "base/Poll.h"

namespace karvo {

namespace {

// Inverses modulo 2^32 of the odd small primes, for division-free
// divisibility tests; computed once, on first use.
const std::array<Word, OddSmallPrimeCount>& OddSmallPrimeInverses() {
  static const std::array<Word, OddSmallPrimeCount> inverses = [] {
    std::array<Word, OddSmallPrimeCount> table{};
    for (int32_t k = 0; k < OddSmallPrimeCount; ++k) {
      table[k] = WordInverse(SmallPrimes[k + 2]);
    }
    return table;
  }();
  return inverses;
}

// Montgomery arithmetic modulo an odd word n with R = 2^32: residues are
// kept as x·R mod n, and a product needs two word multiplications instead of
// a 64-bit division.
class TWordMontgomery {
 public:
  explicit TWordMontgomery(Word n)
      : n_(n), nInverse_(WordInverse(n)), one_(static_cast<Word>((uint64_t{1} << 32) % n)) {}

  Word From(Word x) const { return static_cast<Word>((uint64_t{x} << 32) % n_); }
  Word One() const { return one_; }
  Word MinusOne() const { return n_ - one_; }

  // a·b/R mod n for a, b < n. t - m·n is a multiple of R, so its value over
  // R is the difference of the high words, which lies in (-n, n).
  Word Mul(Word a, Word b) const {
    const uint64_t t = uint64_t{a} * b;
    const Word m = static_cast<Word>(t) * nInverse_;
    const Word tHigh = static_cast<Word>(t >> 32);
    const Word mnHigh = static_cast<Word>((uint64_t{m} * n_) >> 32);
    const Word r = tHigh - mnHigh;
    return tHigh < mnHigh ? r + n_ : r;
  }

  Word Pow(Word base, Word e) const {
    Word result = one_;
    while (e != 0) {
      if ((e & 1) != 0) {
        result = Mul(result, base);
      }
      base = Mul(base, base);
      e >>= 1;
    }
    return result;
  }

 private:
  Word n_;
  Word nInverse_;
  Word one_;
};

// Strong probable-prime test of the odd n > b to the base b.
bool WordIsStrongProbablePrime(const TWordMontgomery& mont, Word n, Word b) {
  Word d = n - 1;
  int s = 0;
  while ((d & 1) == 0) {
    d >>= 1;
    ++s;
  }
  Word x = mont.Pow(mont.From(b), d);
  if (x == mont.One() || x == mont.MinusOne()) {
    return true;
  }
  for (int i = 1; i < s; ++i) {
    x = mont.Mul(x, x);
    if (x == mont.MinusOne()) {
      return true;
    }
    if (x == mont.One()) {
      return false;
    }
  }
  return false;
}

// Bit n set for the primes n below 64.
constexpr uint64_t PrimesBelow64 = 0x28208A20A08A28ACull;
// The least strong pseudoprime to both bases 2 and 3.
constexpr Word Bases23Limit = 1373653;

}  // namespace

Word BigSmallestFactor(const BigInt& N) {
  CheckPoll();
  if (N.Length == 0 || (N.Length == 1 && N.Words[0] == 1)) {
    return 1;
  }
  if ((N.Words[0] & 1) == 0) {
    return 2;
  }
  const auto& inverses = OddSmallPrimeInverses();
  for (int32_t k = 0; k < OddSmallPrimeCount; ++k) {
    if (WordsModExactOddInv(N.Words, N.Length, 0, SmallPrimes[k + 2], inverses[k]) == 0) {
      return SmallPrimes[k + 2];
    }
  }
  return 1;
}

bool WordIsPrime(Word n) {
  if (n < 64) {
    return ((PrimesBelow64 >> n) & 1) != 0;
  }
  if (n <= 66 || (n & 1) == 0) {
    return false;
  }
  if (n < Bases23Limit) {
    if (n % 3 == 0) {
      return false;
    }
    const TWordMontgomery mont(n);
    return WordIsStrongProbablePrime(mont, n, 2) && WordIsStrongProbablePrime(mont, n, 3);
  }
  if (n % 7 == 0 || n % 61 == 0) {
    return false;
  }
  const TWordMontgomery mont(n);
  return WordIsStrongProbablePrime(mont, n, 2) && WordIsStrongProbablePrime(mont, n, 7) &&
         WordIsStrongProbablePrime(mont, n, 61);
}

}  // namespace karvo
