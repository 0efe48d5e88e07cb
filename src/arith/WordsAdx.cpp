// Multiply-accumulate rows with mulx, adcx and adox, for processors that
// have them; the portable loops in Words.cpp serve the others, and serve all
// of them when KARVO_PORTABLE_KERNEL is set (the tests run both).
//
// adcx and adox carry in two separate flags, so a row adds the high half of
// the previous product and the destination limb in two independent chains.
// The loop counter is stepped with lea and tested with jrcxz, which leave
// both flags alone.

#include <cstdlib>

#include "arith/WordsLimbs.h"

namespace karvo::limbs {

namespace {

bool Detect() {
  return __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("adx") &&
         std::getenv("KARVO_PORTABLE_KERNEL") == nullptr;
}

}  // namespace

// Until this is set at start-up every row takes the portable loops, which
// give the same results.
bool UseAdxRows = Detect();

// One limb: lo:hi := src[off]·k, lo += previous hi (CF chain), then ADD
// (the destination limb on the OF chain, or nothing), and the store.
#define KARVO_ADX_STEP(off, lo, hiIn, hiOut, ADD)          \
  "mulx " off "(%[src]), %[" lo "], %[" hiOut "]\n\t"      \
  "adcx %[" hiIn "], %[" lo "]\n\t" ADD(off, lo)           \
  "mov %[" lo "], " off "(%[dst])\n\t"
#define KARVO_ADX_ADD_DST(off, lo) "adox " off "(%[dst]), %[" lo "]\n\t"
#define KARVO_ADX_NO_ADD(off, lo)

// The whole row, in blocks of four limbs: a row of n limbs enters the first
// block at step (-n) mod 4, with both pointers moved back to match and
// both high limbs that a step may take as carry zero. xor clears both flags
// on the way in; at the end both flags go into the high limb, which cannot
// overflow because the row's value fits in n + 1 limbs.
#define KARVO_ADX_ROW(ADD)                                                   \
  "mov $0, %k[hp]\n\t"                                                       \
  "mov $0, %k[h0]\n\t"                                                       \
  "lea (,%[skip],8), %[l1]\n\t"                                              \
  "sub %[l1], %[src]\n\t"                                                    \
  "sub %[l1], %[dst]\n\t"                                                    \
  "cmp $2, %k[skip]\n\t"                                                     \
  "jb 5f\n\t"                                                                \
  "je 6f\n\t"                                                                \
  "xor %k[l0], %k[l0]\n\t"                                                   \
  "jmp 13f\n"                                                                \
  "6:\n\t"                                                                   \
  "xor %k[l0], %k[l0]\n\t"                                                   \
  "jmp 12f\n"                                                                \
  "5:\n\t"                                                                   \
  "cmp $1, %k[skip]\n\t"                                                     \
  "je 7f\n\t"                                                                \
  "xor %k[l0], %k[l0]\n\t"                                                   \
  "jmp 10f\n"                                                                \
  "7:\n\t"                                                                   \
  "xor %k[l0], %k[l0]\n\t"                                                   \
  "jmp 11f\n"                                                                \
  "10:\n\t" KARVO_ADX_STEP("0", "l0", "hp", "h0", ADD)                       \
  "11:\n\t" KARVO_ADX_STEP("8", "l1", "h0", "hp", ADD)                       \
  "12:\n\t" KARVO_ADX_STEP("16", "l0", "hp", "h0", ADD)                      \
  "13:\n\t" KARVO_ADX_STEP("24", "l1", "h0", "hp", ADD)                      \
  "lea 32(%[src]), %[src]\n\t"                                               \
  "lea 32(%[dst]), %[dst]\n\t"                                               \
  "lea 1(%%rcx), %%rcx\n\t"                                                  \
  "jrcxz 4f\n\t"                                                             \
  "jmp 10b\n"                                                                \
  "4:\n\t"                                                                   \
  "mov $0, %k[l0]\n\t"                                                       \
  "adcx %[l0], %[hp]\n\t"                                                    \
  "adox %[l0], %[hp]\n\t"                                                    \
  : [dst] "+r"(dst), [src] "+r"(src), [hp] "=&r"(hp), [l0] "=&r"(l0),       \
    [l1] "=&r"(l1), [h0] "=&r"(h0), "+c"(blocks)                             \
  : [skip] "r"(skip), "d"(k)                                                 \
  : "cc", "memory"

template <bool AddToDst>
Limb AdxRow(Word* dst, const Word* src, int32_t limbCount, Limb k) {
  // Blocks counted up from minus their number to zero.
  int64_t blocks = -((limbCount + 3) >> 2);
  const int64_t skip = -limbCount & 3;
  Limb hp;
  Limb l0;
  Limb l1;
  Limb h0;
  if constexpr (AddToDst) {
    asm(KARVO_ADX_ROW(KARVO_ADX_ADD_DST));
  } else {
    asm(KARVO_ADX_ROW(KARVO_ADX_NO_ADD));
  }
  return hp;
}

#undef KARVO_ADX_ROW
#undef KARVO_ADX_NO_ADD
#undef KARVO_ADX_ADD_DST
#undef KARVO_ADX_STEP

template Limb AdxRow<false>(Word* dst, const Word* src, int32_t limbCount, Limb k);
template Limb AdxRow<true>(Word* dst, const Word* src, int32_t limbCount, Limb k);

}  // namespace karvo::limbs
