// Multiply-accumulate rows with mulx, adcx and adox, for processors that
// have them; the portable loops in Words.cpp serve the others, and serve all
// of them when KARVO_PORTABLE_KERNEL is set (the tests run both).
//
// adcx and adox carry in two separate flags, so a row adds the high half of
// the previous product and the destination limb in two independent chains.
// The loop counter is stepped with lea and tested with jrcxz, which leave
// both flags alone.

#include <cpuid.h>

#include <cstdlib>

#include "arith/WordsLimbs.h"

namespace karvo::limbs {

namespace {

// CPUID leaf 7 directly: not every compiler's __builtin_cpu_supports knows adx.
bool Detect() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  constexpr unsigned kBmi2 = 1u << 8, kAdx = 1u << 19;
  return __get_cpuid_count(7, 0, &a, &b, &c, &d) != 0 && (b & kBmi2) != 0 && (b & kAdx) != 0 &&
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

// The blocks of four limbs of a row, entered at step (-n) mod 4 for a row
// of n limbs, with both pointers moved back to match, both high limbs that a
// step may take as carry zero and both flags clear. At the end both flags go
// into the high limb, which cannot overflow because the row's value fits in
// n + 1 limbs.
#define KARVO_ADX_BLOCKS(ADD)                                                \
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
  "adox %[l0], %[hp]\n\t"

// target := the address of the step that a row with skip steps enters at.
#define KARVO_ADX_ENTRY                                                      \
  "lea 10f(%%rip), %[target]\n\t"                                            \
  "lea 11f(%%rip), %[l1]\n\t"                                                \
  "cmpq $1, %[skip]\n\t"                                                     \
  "cmove %[l1], %[target]\n\t"                                               \
  "lea 12f(%%rip), %[l1]\n\t"                                                \
  "cmpq $2, %[skip]\n\t"                                                     \
  "cmove %[l1], %[target]\n\t"                                               \
  "lea 13f(%%rip), %[l1]\n\t"                                                \
  "cmpq $3, %[skip]\n\t"                                                     \
  "cmove %[l1], %[target]\n\t"

// Sets up one row that starts at the limbs row (destination) and from
// (source): the pointers moved back by skip limbs, the counter, the carries
// and flags, and enters it.
#define KARVO_ADX_START_ROW                                                  \
  "mov %[skip], %[l1]\n\t"                                                   \
  "shl $3, %[l1]\n\t"                                                        \
  "mov %[from], %[src]\n\t"                                                  \
  "sub %[l1], %[src]\n\t"                                                    \
  "mov %[row], %[dst]\n\t"                                                   \
  "sub %[l1], %[dst]\n\t"                                                    \
  "mov %[blocks], %%rcx\n\t"                                                 \
  "mov $0, %k[hp]\n\t"                                                       \
  "mov $0, %k[h0]\n\t"                                                       \
  "xor %k[l0], %k[l0]\n\t"                                                   \
  "jmp *%[target]\n"

#define KARVO_ADX_OPERANDS                                                      \
  [dst] "=&r"(regs.dst), [src] "=&r"(regs.src), [hp] "=&r"(regs.hp),            \
      [l0] "=&r"(regs.l0), [l1] "=&r"(regs.l1), [h0] "=&r"(regs.h0),             \
      [target] "=&r"(regs.target), "=&c"(regs.counter)

// The registers that the macros above name, as outputs of every loop.
struct AdxRegisters {
  Word* dst;
  const Word* src;
  Limb hp;
  Limb l0;
  Limb l1;
  Limb h0;
  uintptr_t target;
  int64_t counter;
};

// Rows of n limbs: the blocks, counted up from minus their number to zero,
// and the steps skipped in the first.
struct RowShape {
  explicit RowShape(int64_t n) : blocks(-((n + 3) >> 2)), skip(-n & 3) {}
  int64_t blocks;
  int64_t skip;
};

template <bool AddToDst>
Limb AdxRow(Word* row, const Word* from, int32_t limbCount, Limb k) {
  const RowShape shape(limbCount);
  AdxRegisters regs;
  if constexpr (AddToDst) {
    asm(KARVO_ADX_ENTRY KARVO_ADX_START_ROW KARVO_ADX_BLOCKS(KARVO_ADX_ADD_DST)
        : KARVO_ADX_OPERANDS
        : [skip] "m"(shape.skip), [from] "m"(from), [row] "m"(row),
          [blocks] "m"(shape.blocks), "d"(k)
        : "cc", "memory");
  } else {
    asm(KARVO_ADX_ENTRY KARVO_ADX_START_ROW KARVO_ADX_BLOCKS(KARVO_ADX_NO_ADD)
        : KARVO_ADX_OPERANDS
        : [skip] "m"(shape.skip), [from] "m"(from), [row] "m"(row),
          [blocks] "m"(shape.blocks), "d"(k)
        : "cc", "memory");
  }
  return regs.hp;
}

void AdxAddMulRows(Word* dst0, const Word* a, int32_t aLimbs, const Word* b, int32_t bLimbs) {
  const RowShape shape(aLimbs);
  const Word* from = a;
  Word* row = dst0;
  const Word* bEnd = b + 2 * bLimbs;
  AdxRegisters regs;
  // The entry is found once; each row loads its limb of b, runs, stores its
  // top limb where the next row starts its last block, and moves one limb on.
  asm(KARVO_ADX_ENTRY
      "1:\n\t"
      "mov (%[b]), %%rdx\n\t"
      "lea 8(%[b]), %[b]\n\t" KARVO_ADX_START_ROW KARVO_ADX_BLOCKS(KARVO_ADX_ADD_DST)
      "mov %[hp], (%[dst])\n\t"
      "addq $8, %[row]\n\t"
      "cmp %[bEnd], %[b]\n\t"
      "jne 1b\n\t"
      : KARVO_ADX_OPERANDS, [b] "+r"(b), [row] "+m"(row)
      : [skip] "m"(shape.skip), [from] "m"(from), [blocks] "m"(shape.blocks),
        [bEnd] "m"(bEnd)
      : "rdx", "cc", "memory");
}

void AdxSqrRows(Word* dst0, const Word* a, int32_t aLimbs, const Word* b) {
  int64_t length = aLimbs;
  RowShape shape(aLimbs);
  const Word* from = a;
  Word* row = dst0;
  AdxRegisters regs;
  // Each row finds its own entry and block count, as the rows shorten.
  asm("1:\n\t"
      "mov %[length], %[l0]\n\t"
      "neg %[l0]\n\t"
      "and $3, %[l0]\n\t"
      "mov %[l0], %[skip]\n\t"
      "mov %[length], %[l0]\n\t"
      "add $3, %[l0]\n\t"
      "shr $2, %[l0]\n\t"
      "neg %[l0]\n\t"
      "mov %[l0], %[blocks]\n\t"
      "mov (%[b]), %%rdx\n\t"
      "lea 8(%[b]), %[b]\n\t" KARVO_ADX_ENTRY KARVO_ADX_START_ROW
          KARVO_ADX_BLOCKS(KARVO_ADX_ADD_DST)
      "mov %[hp], (%[dst])\n\t"
      "addq $16, %[row]\n\t"
      "addq $8, %[from]\n\t"
      "decq %[length]\n\t"
      "jnz 1b\n\t"
      : KARVO_ADX_OPERANDS, [b] "+r"(b), [row] "+m"(row), [from] "+m"(from),
        [length] "+m"(length), [skip] "+m"(shape.skip), [blocks] "+m"(shape.blocks)
      :
      : "rdx", "cc", "memory");
}

void AdxSqrDiagonal(Word* dst, const Word* a, int32_t aLimbs) {
  int64_t counter = -static_cast<int64_t>(aLimbs);
  Limb lo;
  Limb hi;
  Limb x0;
  Limb x1;
  // adcx doubles each limb with the top bit of the one below as carry in,
  // while adox adds the square on the other flag: one pass, two chains.
  // Volatile: its only effect is on memory.
  asm volatile("xor %k[lo], %k[lo]\n\t"
               "1:\n\t"
               "mov (%[a]), %%rdx\n\t"
               "mulx %%rdx, %[lo], %[hi]\n\t"
               "mov (%[dst]), %[x0]\n\t"
               "mov 8(%[dst]), %[x1]\n\t"
               "adcx %[x0], %[x0]\n\t"
               "adox %[lo], %[x0]\n\t"
               "adcx %[x1], %[x1]\n\t"
               "adox %[hi], %[x1]\n\t"
               "mov %[x0], (%[dst])\n\t"
               "mov %[x1], 8(%[dst])\n\t"
               "lea 8(%[a]), %[a]\n\t"
               "lea 16(%[dst]), %[dst]\n\t"
               "lea 1(%%rcx), %%rcx\n\t"
               "jrcxz 2f\n\t"
               "jmp 1b\n"
               "2:\n\t"
               : [dst] "+r"(dst), [a] "+r"(a), "+c"(counter), [lo] "=&r"(lo), [hi] "=&r"(hi),
                 [x0] "=&r"(x0), [x1] "=&r"(x1)
               :
               : "rdx", "cc", "memory");
}

void AdxRedcRows(Word* t, const Word* n, int32_t nLimbs, int32_t rows, Limb minusInverse) {
  const RowShape shape(nLimbs);
  int64_t left = rows;
  const Word* from = n;
  Word* row = t;
  AdxRegisters regs;
  // Each row's multiplier clears its first limb; the row's top limb is
  // parked there.
  asm(KARVO_ADX_ENTRY
      "1:\n\t"
      "mov %[row], %[l1]\n\t"
      "mov (%[l1]), %%rdx\n\t"
      "imul %[inverse], %%rdx\n\t" KARVO_ADX_START_ROW KARVO_ADX_BLOCKS(KARVO_ADX_ADD_DST)
      "mov %[row], %[l1]\n\t"
      "mov %[hp], (%[l1])\n\t"
      "addq $8, %[row]\n\t"
      "decq %[left]\n\t"
      "jnz 1b\n\t"
      : KARVO_ADX_OPERANDS, [row] "+m"(row), [left] "+m"(left)
      : [skip] "m"(shape.skip), [from] "m"(from), [blocks] "m"(shape.blocks),
        [inverse] "m"(minusInverse)
      : "rdx", "cc", "memory");
}

#undef KARVO_ADX_OPERANDS
#undef KARVO_ADX_START_ROW
#undef KARVO_ADX_ENTRY
#undef KARVO_ADX_BLOCKS
#undef KARVO_ADX_NO_ADD
#undef KARVO_ADX_ADD_DST
#undef KARVO_ADX_STEP

template Limb AdxRow<false>(Word* dst, const Word* src, int32_t limbCount, Limb k);
template Limb AdxRow<true>(Word* dst, const Word* src, int32_t limbCount, Limb k);

}  // namespace karvo::limbs
