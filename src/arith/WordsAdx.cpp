// Multiply-accumulate rows with mulx, adcx and adox, for processors that
// have them; the portable loops in Words.cpp serve the others, and serve all
// of them when KARVO_PORTABLE_KERNEL is set (the tests run both).
//
// adcx and adox carry in two separate flags, so a row adds the high half of
// the previous product and the destination limb in two independent chains.
// The loop counter is stepped with lea and tested with jrcxz, which leave
// both flags alone; a row runs its n mod 4 odd limbs first, then blocks of
// four.

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

// The whole row: xor clears both flags and the running high limb; at the
// end both flags go into it, which cannot overflow because the row's value
// fits in n + 1 limbs.
#define KARVO_ADX_ROW(ADD)                                             \
  "xor %k[hp], %k[hp]\n"                                               \
  "1:\n\t"                                                             \
  "jrcxz 2f\n\t" KARVO_ADX_STEP("0", "l0", "hp", "h0", ADD)            \
  "mov %[h0], %[hp]\n\t"                                               \
  "lea 8(%[src]), %[src]\n\t"                                          \
  "lea 8(%[dst]), %[dst]\n\t"                                          \
  "lea 1(%%rcx), %%rcx\n\t"                                            \
  "jmp 1b\n"                                                           \
  "2:\n\t"                                                             \
  "mov %[blocks], %%rcx\n"                                             \
  "3:\n\t"                                                             \
  "jrcxz 4f\n\t" KARVO_ADX_STEP("0", "l0", "hp", "h0", ADD)            \
  KARVO_ADX_STEP("8", "l1", "h0", "hp", ADD)                           \
  KARVO_ADX_STEP("16", "l0", "hp", "h0", ADD)                          \
  KARVO_ADX_STEP("24", "l1", "h0", "hp", ADD)                          \
  "lea 32(%[src]), %[src]\n\t"                                         \
  "lea 32(%[dst]), %[dst]\n\t"                                         \
  "lea 1(%%rcx), %%rcx\n\t"                                            \
  "jmp 3b\n"                                                           \
  "4:\n\t"                                                             \
  "mov $0, %k[l0]\n\t"                                                 \
  "adcx %[l0], %[hp]\n\t"                                              \
  "adox %[l0], %[hp]\n\t"                                              \
  : [dst] "+r"(dst), [src] "+r"(src), [hp] "=&r"(hp), [l0] "=&r"(l0), \
    [l1] "=&r"(l1), [h0] "=&r"(h0), "+c"(odd)                          \
  : [blocks] "r"(blocks), "d"(k)                                       \
  : "cc", "memory"

template <bool AddToDst>
Limb AdxRow(Word* dst, const Word* src, int32_t limbCount, Limb k) {
  // Both counts negative, counted up to zero.
  int64_t odd = -(limbCount & 3);
  const int64_t blocks = -(limbCount >> 2);
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
