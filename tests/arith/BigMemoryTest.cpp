// Steady-state arithmetic allocates nothing: storage grows in steps, is kept,
// and temporaries and scratch records are reused. The C allocator is wrapped
// for the whole test program (operator new ends there too), but it counts
// only while a test turns counting on.
//
// Under the sanitizers each temporary is its own allocation by design, and the
// sanitizer owns malloc, so there the wrappers are left out and the test skips.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <vector>

#include "GmpBridge.h"

#ifndef KARVO_SANITIZE

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void CountOne() {
  if (counting.load(std::memory_order_relaxed)) {
    allocations.fetch_add(1, std::memory_order_relaxed);
  }
}
}  // namespace

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void __libc_free(void* pointer);

void* malloc(size_t size) noexcept {
  CountOne();
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) noexcept {
  CountOne();
  return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size) noexcept {
  CountOne();
  return __libc_realloc(pointer, size);
}

void free(void* pointer) noexcept { __libc_free(pointer); }
}

#endif

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Shape;

struct Operands {
  BigInt x, y, wide, out, rest;
};

struct SteadyLoop {
  const char* name;
  int32_t words;
  void (*run)(Operands& o);
  // Calls allowed to allocate before the steady state.
  int warmUp = 1;
};

const SteadyLoop steadyLoops[] = {
    {"BigMulTo", 300, [](Operands& o) { BigMulTo(o.out, o.x, o.y); }},
    {"BigMulTo", 1000, [](Operands& o) { BigMulTo(o.out, o.x, o.y); }},
    {"BigMulToToom3", 200, [](Operands& o) { BigMulTo(o.out, o.x, o.y); }},
    {"BigMulInPlace", 300,
     [](Operands& o) {
       BigAssign(o.out, o.x);
       BigMul(o.out, o.y);
     }},
    {"BigMulUnbalanced", 1000,
     [](Operands& o) {
       BigTakeTopWords(o.rest, o.y, 40);
       BigMulTo(o.out, o.x, o.rest);
     }},
    {"BigSqrTo", 300, [](Operands& o) { BigSqrTo(o.out, o.x); }},
    {"BigSqrToToom3", 230, [](Operands& o) { BigSqrTo(o.out, o.x); }},
    {"BigSqrInPlace", 1000,
     [](Operands& o) {
       BigAssign(o.out, o.x);
       BigSqr(o.out);
     }},
    {"BigDivMod", 300, [](Operands& o) { BigDivMod(o.out, o.rest, o.wide, o.y); }},
    {"BigDivMod", 1000, [](Operands& o) { BigDivMod(o.out, o.rest, o.wide, o.y); }},
    {"BigRem", 300,
     [](Operands& o) {
       BigAssign(o.out, o.wide);
       BigRem(o.out, o.y);
     }},
    {"BigAdd", 1000,
     [](Operands& o) {
       BigAssign(o.out, o.x);
       BigAdd(o.out, o.y);
       BigSub(o.out, o.wide);
     }},
    // Each Newton level of the root divides with its own temporaries, and the
    // quotient is swapped in from the division's scratch record, so buffers of
    // different sizes travel between records for several calls before every
    // record owns one large enough. What must hold is that this settles.
    {"BigIsqrt", 300,
     [](Operands& o) {
       BigAssign(o.out, o.wide);
       BigIsqrt(o.out);
     },
     16},
    {"BigPower", 3,
     [](Operands& o) {
       BigAssign(o.out, o.x);
       BigPower(o.out, 200);
     }},
};

void PrintTo(const SteadyLoop& loop, std::ostream* out) { *out << loop.name << " at " << loop.words << " words"; }

class BigMemoryTest : public testing::TestWithParam<SteadyLoop> {};

// The counter itself: growing a record is seen, so a zero below means something.
TEST(BigMemoryCounterTest, SeesGrowth) {
#ifdef KARVO_SANITIZE
  GTEST_SKIP() << "no allocation counter under the sanitizers";
#else
  BigInt x;
  allocations = 0;
  counting = true;
  BigGrow(x, 100);
  counting = false;
  EXPECT_GE(allocations.load(), 1);
#endif
}

TEST_P(BigMemoryTest, AllocatesNothingAfterWarmUp) {
#ifdef KARVO_SANITIZE
  GTEST_SKIP() << "temporaries are separate allocations under the sanitizers";
#else
  BigRandom random;
  const SteadyLoop& loop = GetParam();
  Operands o;
  MpzValue ignored;
  random.Operand(o.x, ignored, loop.words, Shape::Uniform, 0);
  random.Operand(o.y, ignored, loop.words, Shape::Uniform, 1);
  random.Operand(o.wide, ignored, 2 * loop.words, Shape::Uniform, 0);
  // Results are built in scratch records and swapped in, so a destination
  // must already own storage of its steady size; a fresh one would hand an
  // empty array back to the scratch record on the first swap.
  BigGrow(o.out, 2 * loop.words + 1024);
  BigGrow(o.rest, 2 * loop.words + 1024);
  // Allocations of each iteration after the warm-up, for the failure message.
  std::vector<long> perIteration;
  for (int i = 0; i < loop.warmUp; ++i) {
    loop.run(o);
  }
  for (int i = 0; i < 10; ++i) {
    allocations = 0;
    counting = true;
    loop.run(o);
    counting = false;
    perIteration.push_back(allocations.load());
  }
  EXPECT_EQ(std::count(perIteration.begin(), perIteration.end(), 0L), 10)
      << loop.name << " at " << loop.words << " words allocated after " << loop.warmUp << " calls: "
      << testing::PrintToString(perIteration);
#endif
}

INSTANTIATE_TEST_SUITE_P(Loops, BigMemoryTest, testing::ValuesIn(steadyLoops),
                         [](const testing::TestParamInfo<SteadyLoop>& info) {
                           return std::string(info.param.name) + "_" + std::to_string(info.param.words);
                         });

}  // namespace
}  // namespace karvo
