// karvo-bench-primes: the prime table and the small-prime routines, in the
// CSV of karvo-bench-arith:
//
//   operation,bits,karvo_ns,reference_ns
//
// prime_table: BuildPrimeTable for MSC = bits, against a plain sieve of
//   Eratosthenes (one byte per integer below 2^bits, crossing from p², then
//   collecting the primes); GMP has nothing like it. The reference computes no
//   inverses.
// word_is_prime: WordIsPrime per odd word of the given size, against GMP's
//   mpz_probab_prime_p with one round (ns per call).
// smallest_factor: BigSmallestFactor of a number without factors below 2^16,
//   against mpz_divisible_ui_p over the same primes (ns per call).
// Each time is the best of five runs.

#include <gmp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "arith/BigInt.h"
#include "arith/PrimeTable.h"
#include "arith/SmallFactors.h"
#include "arith/SmallPrimes.h"
#include "base/Globals.h"
#include "base/Settings.h"

namespace karvo {
namespace {

constexpr int runs = 5;

// Best of the runs of body, in nanoseconds, divided by calls.
double BestNs(const std::function<void()>& body, int64_t calls) {
  double best = 0;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    body();
    const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    best = run == 0 ? ns : std::min(best, ns);
  }
  return best / static_cast<double>(calls);
}

// The primes below 2^bits by the textbook sieve.
std::vector<uint32_t> NaiveSieve(int32_t bits) {
  const uint32_t limit = uint32_t{1} << bits;
  std::vector<uint8_t> composite(limit, 0);
  std::vector<uint32_t> primes;
  for (uint32_t n = 2; n < limit; ++n) {
    if (composite[n] != 0) {
      continue;
    }
    primes.push_back(n);
    for (uint64_t m = uint64_t{n} * n; m < limit; m += n) {
      composite[m] = 1;
    }
  }
  return primes;
}

// Keeps the compiler from dropping results.
volatile uint64_t sink;

void PrimeTableRows() {
  const int32_t savedMsc = Settings.MSC;
  for (int32_t bits : {20, 23, 26}) {
    Settings.MSC = bits;
    const double karvoNs = BestNs(
        [] {
          ReleasePrimeTable();
          BuildPrimeTable();
        },
        1);
    const double referenceNs = BestNs([bits] { sink = NaiveSieve(bits).size(); }, 1);
    std::printf("prime_table,%d,%.0f,%.0f\n", bits, karvoNs, referenceNs);
    std::fflush(stdout);
  }
  Settings.MSC = savedMsc;
  ReleasePrimeTable();
}

void WordIsPrimeRows(std::mt19937_64& engine) {
  for (int32_t bits : {16, 24, 32}) {
    std::vector<Word> words(1 << 16);
    for (Word& w : words) {
      w = (static_cast<Word>(engine()) >> (32 - bits)) | (Word{1} << (bits - 1)) | 1;
    }
    const double karvoNs = BestNs(
        [&] {
          uint64_t count = 0;
          for (Word w : words) {
            count += WordIsPrime(w) ? 1 : 0;
          }
          sink = count;
        },
        static_cast<int64_t>(words.size()));
    mpz_t n;
    mpz_init(n);
    const double referenceNs = BestNs(
        [&] {
          uint64_t count = 0;
          for (Word w : words) {
            mpz_set_ui(n, w);
            count += mpz_probab_prime_p(n, 1) != 0 ? 1 : 0;
          }
          sink = count;
        },
        static_cast<int64_t>(words.size()));
    mpz_clear(n);
    std::printf("word_is_prime,%d,%.0f,%.0f\n", bits, karvoNs, referenceNs);
    std::fflush(stdout);
  }
}

void SmallestFactorRows(std::mt19937_64& engine) {
  for (int32_t bits : {256, 1024, 4096, 16384}) {
    // A random odd number times nothing small: take the next prime above it.
    std::vector<Word> words(static_cast<size_t>(bits / 32));
    for (Word& w : words) {
      w = static_cast<Word>(engine());
    }
    words.back() |= 0x80000000u;
    mpz_t m;
    mpz_init(m);
    mpz_import(m, words.size(), -1, sizeof(Word), 0, 0, words.data());
    // Clear every small factor instead of a costly next prime: multiply
    // nothing in, divide everything out.
    for (int32_t i = 1; i <= SmallPrimeCount; ++i) {
      while (mpz_divisible_ui_p(m, SmallPrimes[i]) != 0) {
        mpz_divexact_ui(m, m, SmallPrimes[i]);
      }
    }
    std::vector<Word> magnitude(mpz_size(m) * sizeof(mp_limb_t) / sizeof(Word) + 1, 0);
    size_t count = 0;
    mpz_export(magnitude.data(), &count, -1, sizeof(Word), 0, 0, m);
    BigInt x;
    BigSetFromWords(x, magnitude.data(), static_cast<int32_t>(count) - 1, 0);
    const int64_t calls = 10;
    const double karvoNs = BestNs(
        [&] {
          for (int64_t i = 0; i < calls; ++i) {
            sink = BigSmallestFactor(x);
          }
        },
        calls);
    const double referenceNs = BestNs(
        [&] {
          for (int64_t i = 0; i < calls; ++i) {
            Word factor = 1;
            for (int32_t k = 1; k <= SmallPrimeCount && factor == 1; ++k) {
              if (mpz_divisible_ui_p(m, SmallPrimes[k]) != 0) {
                factor = SmallPrimes[k];
              }
            }
            sink = factor;
          }
        },
        calls);
    mpz_clear(m);
    std::printf("smallest_factor,%d,%.0f,%.0f\n", bits, karvoNs, referenceNs);
    std::fflush(stdout);
  }
}

}  // namespace
}  // namespace karvo

int main() {
  using namespace karvo;
  BaseStartup();
  BigStartup();
  std::mt19937_64 engine(20240601);
  std::printf("operation,bits,karvo_ns,reference_ns\n");
  PrimeTableRows();
  WordIsPrimeRows(engine);
  SmallestFactorRows(engine);
  BigShutdown();
  return 0;
}
