// Toom-3 product and square. The operands are cut into three pieces and
// evaluated at 0, 1/2, 1, 2 and infinity: every evaluation and every
// intermediate of the interpolation stays non-negative, so no signs are
// carried.

#include <algorithm>

#include "arith/Words.h"
#include "arith/WordsLimbs.h"

namespace karvo {

using limbs::Limb;
using limbs::Load64;
using limbs::Store64;
using limbs::SubBorrow;

namespace {

// Writes the values at 1/2 (times 4), 1 and 2 of a0 + a1·X + a2·X^2, with
// pieces of k words and a top piece of t words, at e, e + k + 1 and
// e + 2k + 2: k words each and a carry word of at most 6.
void Evaluate(Word* e, const Word* a, int32_t k, int32_t t) {
  Word* half = e;
  Word* one = e + k + 1;
  Word* two = one + k + 1;
  DWord cHalf = 0;
  DWord cOne = 0;
  DWord cTwo = 0;
  const auto step = [&](int32_t i, DWord x2) {
    const DWord x0 = a[i];
    const DWord x1 = a[k + i];
    cHalf += 4 * x0 + 2 * x1 + x2;
    cOne += x0 + x1 + x2;
    cTwo += x0 + 2 * x1 + 4 * x2;
    half[i] = static_cast<Word>(cHalf);
    one[i] = static_cast<Word>(cOne);
    two[i] = static_cast<Word>(cTwo);
    cHalf >>= 32;
    cOne >>= 32;
    cTwo >>= 32;
  };
  for (int32_t i = 0; i < t; ++i) {
    step(i, a[2 * k + i]);
  }
  for (int32_t i = t; i < k; ++i) {
    step(i, 0);
  }
  half[k] = static_cast<Word>(cHalf);
  one[k] = static_cast<Word>(cOne);
  two[k] = static_cast<Word>(cTwo);
}

// {v, 2k+2} := {ea, k+1}·{eb, k+1} (or the square of ea): the k-word product,
// then the carry words' share, so the recursion sees balanced k-word
// operands. All partial sums stay below the final value, < 49·B^(2k).
template <bool Square>
void EvaluationProduct(Word* v, const Word* ea, const Word* eb, int32_t k, Word* scratch) {
  const Word ca = ea[k];
  const Word cb = eb[k];
  v[2 * k + 1] = 0;
  if constexpr (Square) {
    limbs::SqrAnySize(v, ea, k, scratch);
    v[2 * k] = ca * ca;
    v[2 * k] += WordsAddMulWord(v + k, ea, k, 2 * ca);
  } else {
    limbs::MulAnySize(v, ea, eb, k, scratch);
    v[2 * k] = ca * cb;
    v[2 * k] += WordsAddMulWord(v + k, eb, k, ca);
    v[2 * k] += WordsAddMulWord(v + k, ea, k, cb);
  }
}

// One limb of an exact division by 3 from the low end, with its borrow:
// the high limb of 3q is 0, 1 or 2 and needs no multiplication.
inline Limb DivExact3Step(Limb x, Limb& borrow) {
  const Limb q = (x - borrow) * 0xAAAAAAAAAAAAAAABu;
  borrow =
      (x < borrow ? 1 : 0) + (q > 0x5555555555555555u ? 1 : 0) + (q > 0xAAAAAAAAAAAAAAAAu ? 1 : 0);
  return q;
}

// The product has coefficients c0..c4 (c0 = v0, c4 = vinf already in dst at
// words 0 and 4k). From
//   vh = 16c0 + 8c1 + 4c2 + 2c3 + c4,  v1 = c0 + c1 + c2 + c3 + c4,
//   v2 = c0 + 2c1 + 4c2 + 8c3 + 16c4
// the first pass forms r1 = v1 - c0 - c4, s2 = (v2 - c0 - 16c4)/2 and
// sh = (vh - 16c0 - c4)/2; the second c2 = 5r1 - s2 - sh,
// c3 = (s2 - r1 - c2)/3 and c1 = (sh - r1 - c2)/3. Each intermediate is a
// sum of coefficients with non-negative weights, so it never goes negative.
// Buffers are k + 1 limbs (2k + 2 words); c0 has k limbs, c4 t.
class Toom3Interpolation {
 public:
  Toom3Interpolation(Word* dst, Word* vh, Word* v1, Word* v2, int32_t k, int32_t t)
      : dst_(dst), vh_(vh), v1_(v1), v2_(v2), k_(k), t_(t) {}

  void Run() {
    FirstPass();
    SecondPass();
    AddIntoPlace();
  }

 private:
  void FirstPass() {
    const Word* c0 = dst_;
    const Word* c4 = dst_ + 4 * k_;
    Limb c0Below = 0;
    Limb c4Below = 0;
    Limb r2Below = 0;
    Limb rhBelow = 0;
    unsigned char b1a = 0, b1b = 0, b2a = 0, b2b = 0, bha = 0, bhb = 0;
    // Sixteen times c0 and c4 are limb shifts taking four bits from below;
    // the halvings store each limb once the next one is known.
    const auto step = [&](int32_t i, Limb z0, Limb z4) {
      const Limb z0x16 = (z0 << 4) | (c0Below >> 60);
      const Limb z4x16 = (z4 << 4) | (c4Below >> 60);
      c0Below = z0;
      c4Below = z4;
      Word* p1 = v1_ + 2 * i;
      Store64(p1, SubBorrow(SubBorrow(Load64(p1), z0, b1a), z4, b1b));
      const Limb r2 = SubBorrow(SubBorrow(Load64(v2_ + 2 * i), z0, b2a), z4x16, b2b);
      const Limb rh = SubBorrow(SubBorrow(Load64(vh_ + 2 * i), z0x16, bha), z4, bhb);
      if (i > 0) {
        Store64(v2_ + 2 * i - 2, (r2Below >> 1) | (r2 << 63));
        Store64(vh_ + 2 * i - 2, (rhBelow >> 1) | (rh << 63));
      }
      r2Below = r2;
      rhBelow = rh;
    };
    int32_t i = 0;
    for (; i < t_; ++i) {
      step(i, Load64(c0 + 2 * i), Load64(c4 + 2 * i));
    }
    for (; i < k_; ++i) {
      step(i, Load64(c0 + 2 * i), 0);
    }
    step(k_, 0, 0);
    Store64(v2_ + 2 * k_, r2Below >> 1);
    Store64(vh_ + 2 * k_, rhBelow >> 1);
  }

  // c2 goes straight to its place at word 2k (free until now) but for its
  // top limb; c3 replaces s2 and c1 replaces sh.
  void SecondPass() {
    Limb r1Below = 0;
    Limb div3a = 0;
    Limb div3b = 0;
    unsigned char c5 = 0, b2a = 0, b2b = 0, b3a = 0, b3b = 0, b1a = 0, b1b = 0;
    for (int32_t i = 0; i <= k_; ++i) {
      const Limb r1 = Load64(v1_ + 2 * i);
      const Limb s2 = Load64(v2_ + 2 * i);
      const Limb sh = Load64(vh_ + 2 * i);
      const Limb r1x5 = limbs::AddCarry(r1, (r1 << 2) | (r1Below >> 62), c5);
      r1Below = r1;
      const Limb c2 = SubBorrow(SubBorrow(r1x5, s2, b2a), sh, b2b);
      const Limb c3 = DivExact3Step(SubBorrow(SubBorrow(s2, r1, b3a), c2, b3b), div3a);
      const Limb c1 = DivExact3Step(SubBorrow(SubBorrow(sh, r1, b1a), c2, b1b), div3b);
      if (i < k_) {
        Store64(dst_ + 2 * k_ + 2 * i, c2);
      } else {
        c2Top_ = c2;
      }
      Store64(v2_ + 2 * i, c3);
      Store64(vh_ + 2 * i, c1);
    }
  }

  // c1 at word k, c3 at 3k and the top of c2 at 4k; carries past the end
  // vanish, as the product fits. c3 < 2·B^(k+t) ends below word 2n.
  void AddIntoPlace() {
    const int32_t n2 = 4 * k_ + 2 * t_;
    const int32_t c1Words = 2 * k_ + 2;
    Word carry = limbs::AddN(dst_ + k_, dst_ + k_, vh_, c1Words);
    WordsAddWord(carry, dst_ + k_ + c1Words, n2 - k_ - c1Words);
    const int32_t c3Words = std::min(2 * k_ + 2, n2 - 3 * k_);
    carry = limbs::AddN(dst_ + 3 * k_, dst_ + 3 * k_, v2_, c3Words);
    WordsAddWord(carry, dst_ + 3 * k_ + c3Words, n2 - 3 * k_ - c3Words);
    WordsAddWord(static_cast<Word>(c2Top_), dst_ + 4 * k_, 2 * t_);
  }

  Word* dst_;
  Word* vh_;
  Word* v1_;
  Word* v2_;
  int32_t k_;
  int32_t t_;
  Limb c2Top_ = 0;
};

template <bool Square>
void Toom3(Word* dst, const Word* a, const Word* b, int32_t n, Word* scratch) {
  const int32_t k = limbs::Toom3PieceWords(n);
  const int32_t t = n - 2 * k;
  const int32_t e = k + 1;
  Word* ea = scratch;
  Word* eb = Square ? ea : scratch + 3 * e;
  Word* vh = scratch + 6 * e;
  Word* v1 = vh + 2 * e;
  Word* v2 = v1 + 2 * e;
  Word* below = scratch + limbs::Toom3OwnScratch(n);
  Evaluate(ea, a, k, t);
  if constexpr (!Square) {
    Evaluate(eb, b, k, t);
  }
  EvaluationProduct<Square>(vh, ea, eb, k, below);
  EvaluationProduct<Square>(v1, ea + e, eb + e, k, below);
  EvaluationProduct<Square>(v2, ea + 2 * e, eb + 2 * e, k, below);
  if constexpr (Square) {
    limbs::SqrAnySize(dst, a, k, below);
    limbs::SqrAnySize(dst + 4 * k, a + 2 * k, t, below);
  } else {
    limbs::MulAnySize(dst, a, b, k, below);
    limbs::MulAnySize(dst + 4 * k, a + 2 * k, b + 2 * k, t, below);
  }
  Toom3Interpolation(dst, vh, v1, v2, k, t).Run();
}

}  // namespace

void WordsMulToom3(Word* dst, const Word* a, const Word* b, Word* scratch, int32_t n) {
  Toom3<false>(dst, a, b, n, scratch);
}

void WordsSqrToom3(Word* dst, const Word* a, int32_t n, Word* scratch) {
  Toom3<true>(dst, a, a, n, scratch);
}

}  // namespace karvo
