#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "WordsTestSupport.h"
#include "arith/Words.h"
#include "arith/WordsThresholds.h"

// Counts calls of the global allocation functions. Not in the sanitizer
// build, which keeps its own allocator with its new/delete pairing checks for
// the whole test program; the allocation test is skipped there. The
// replacements are weak, so that another replacement in this test program
// wins without a clash; the test first checks that the counter counts. All
// of them, the nothrow forms too, go to malloc and free.
namespace {
std::atomic<int64_t> allocationCount{0};
}  // namespace

#if !defined(KARVO_SANITIZE)
namespace {
void* CountedAllocation(std::size_t size) noexcept {
  allocationCount.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}

void* CountedAllocationOrThrow(std::size_t size) {
  if (void* p = CountedAllocation(size)) {
    return p;
  }
  throw std::bad_alloc();
}
}  // namespace

__attribute__((weak)) void* operator new(std::size_t size) {
  return CountedAllocationOrThrow(size);
}
__attribute__((weak)) void* operator new[](std::size_t size) {
  return CountedAllocationOrThrow(size);
}
__attribute__((weak)) void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return CountedAllocation(size);
}
__attribute__((weak)) void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return CountedAllocation(size);
}
__attribute__((weak)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((weak)) void operator delete[](void* p) noexcept { std::free(p); }
__attribute__((weak)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }
__attribute__((weak)) void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
__attribute__((weak)) void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
__attribute__((weak)) void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
#endif

namespace karvo::wordstest {
namespace {

bool CounterCounts() {
  const int64_t before = allocationCount.load();
  void* volatile p = ::operator new(64);
  ::operator delete(p);
  return allocationCount.load() != before;
}

// Below the Toom-3 thresholds the scratch is on the stack; above them the
// dispatchers keep one buffer, so only the first product of a size may
// allocate.
TEST(WordsScratchTest, SteadyStateProductsDoNotAllocate) {
  if (!CounterCounts()) {
    GTEST_SKIP() << "allocations are not counted in this build";
  }
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n : {MulToom3Threshold - 1, SqrToom3Threshold, 700, 2000}) {
    const WordVector a = RandomWords(rng, n, WordShape::Uniform);
    const WordVector b = RandomWords(rng, n, WordShape::Uniform);
    WordVector dst(2 * static_cast<size_t>(n));
    WordsMul(dst.data(), a.data(), b.data(), n);
    WordsSqr(dst.data(), a.data(), n);
    const int64_t before = allocationCount.load();
    for (int round = 0; round < 20; ++round) {
      WordsMul(dst.data(), a.data(), b.data(), n);
      WordsSqr(dst.data(), b.data(), n);
    }
    EXPECT_EQ(allocationCount.load(), before) << "n = " << n;
  }
  // Smaller sizes reuse the larger buffer.
  const WordVector a = RandomWords(rng, 300, WordShape::Uniform);
  WordVector dst(600);
  const int64_t before = allocationCount.load();
  WordsMul(dst.data(), a.data(), a.data(), 300);
  EXPECT_EQ(allocationCount.load(), before);
}

TEST(WordsScratchTest, ProductsStayRightAfterRelease) {
  SCOPED_TRACE(SeedTrace());
  auto rng = WordsRandom();
  for (int32_t n : {1000, 250, 1000}) {
    const WordVector a = RandomWords(rng, n, WordShape::Uniform);
    const WordVector b = RandomWords(rng, n, WordShape::AllOnes);
    WordVector dst(2 * static_cast<size_t>(n));
    WordsMul(dst.data(), a.data(), b.data(), n);
    EXPECT_EQ(dst, GmpProduct(a.data(), n, b.data(), n)) << "n = " << n;
    WordsReleaseScratch();
    WordsSqr(dst.data(), a.data(), n);
    EXPECT_EQ(dst, GmpSquare(a.data(), n)) << "n = " << n;
    WordsReleaseScratch();
  }
}

// The scratch size covers the words every entry point touches, which the
// guard words of the product tests check; here only that it never shrinks as
// n grows, so callers may size once for the largest operand.
TEST(WordsScratchTest, ScratchSizeGrowsWithLength) {
  int32_t previous = 0;
  for (int32_t n = 1; n <= 5000; ++n) {
    const int32_t size = WordsScratchSize(n);
    ASSERT_GE(size, previous) << "n = " << n;
    previous = size;
  }
}

}  // namespace
}  // namespace karvo::wordstest
