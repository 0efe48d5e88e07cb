// karvo-bench-pretests: the pre-tests of a candidate (trial division, strong
// base-2 test, Lucas parameter and strong Lucas test) on primes of 1000,
// 3000 and 10000 decimal digits, against GMP's mpz_probab_prime_p with one
// round (its Baillie–PSW test) on the same numbers, in CSV:
//
//   digits,karvo_ms,gmp_ms,ratio
//
// digits is the size of the prime actually used. The 1000- and 3000-digit
// primes are the next primes after random numbers of that size; a random
// 10000-digit prime would take mpz_nextprime hours, so that row uses the
// known prime 10^9999 + 33603, or 2^44497 - 1 (13395 digits) should GMP
// not confirm it. A comment line
// before the CSV names the primes. Each time is the best of a few runs.

#include <gmp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "arith/BigInt.h"
#include "base/Globals.h"
#include "certifs/PreTests.h"
#include "support/MpzValue.h"

namespace karvo {
namespace {

// Best of the runs of body, in milliseconds.
double BestMs(const std::function<void()>& body, int runs) {
  double best = 0;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    body();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const double ms = std::chrono::duration<double, std::milli>(elapsed).count();
    best = run == 0 ? ms : std::min(best, ms);
  }
  return best;
}

// mpz_sizeinbase may count one digit too many.
size_t DecimalDigits(mpz_srcptr v) {
  std::vector<char> text(mpz_sizeinbase(v, 10) + 2);
  mpz_get_str(text.data(), 10, v);
  return std::string(text.data()).size();
}

struct TCase {
  mpz_t n;
  std::string source;
};

// The next prime after a random number of the given number of digits.
void RandomPrime(TCase& c, gmp_randstate_t state, unsigned long digits) {
  mpz_t low;
  mpz_init(low);
  mpz_ui_pow_ui(low, 10, digits - 1);
  mpz_urandomm(c.n, state, low);
  mpz_mul_ui(c.n, c.n, 9);
  mpz_fdiv_q_2exp(c.n, c.n, 1);  // below 4.5·10^(digits-1): the next prime keeps the size
  mpz_add(c.n, c.n, low);
  mpz_nextprime(c.n, c.n);
  mpz_clear(low);
  c.source = "nextprime(random " + std::to_string(digits) + "-digit number)";
}

void TenThousandDigitPrime(TCase& c) {
  mpz_ui_pow_ui(c.n, 10, 9999);
  mpz_add_ui(c.n, c.n, 33603);
  c.source = "10^9999+33603";
  if (mpz_probab_prime_p(c.n, 1) == 0) {
    mpz_set_ui(c.n, 0);
    mpz_setbit(c.n, 44497);
    mpz_sub_ui(c.n, c.n, 1);
    c.source = "2^44497-1 (10^9999+33603 not confirmed)";
  }
}

}  // namespace
}  // namespace karvo

int main() {
  using namespace karvo;
  BaseStartup();
  BigStartup();
  gmp_randstate_t state;
  gmp_randinit_mt(state);
  gmp_randseed_ui(state, 20240601);

  std::vector<TCase> cases(3);
  for (TCase& c : cases) {
    mpz_init(c.n);
  }
  RandomPrime(cases[0], state, 1000);
  RandomPrime(cases[1], state, 3000);
  TenThousandDigitPrime(cases[2]);

  std::printf("# primes:");
  for (const TCase& c : cases) {
    std::printf(" %s;", c.source.c_str());
  }
  std::printf(" best of 5/3/1 runs\n");
  std::printf("digits,karvo_ms,gmp_ms,ratio\n");
  const int runs[] = {5, 3, 1};
  for (size_t i = 0; i < cases.size(); ++i) {
    BigInt N;
    test::BigFromMpz(N, cases[i].n);
    std::string outcome;
    const double karvoMs = BestMs([&] { outcome = CandidatePreTests(N); }, runs[i]);
    int gmpOutcome = 0;
    const double gmpMs = BestMs([&] { gmpOutcome = mpz_probab_prime_p(cases[i].n, 1); }, runs[i]);
    if (!outcome.empty() || gmpOutcome == 0) {
      std::fprintf(stderr, "unexpected verdict: \"%s\", GMP %d\n", outcome.c_str(), gmpOutcome);
      return 1;
    }
    std::printf("%zu,%.1f,%.1f,%.2f\n", DecimalDigits(cases[i].n), karvoMs, gmpMs, karvoMs / gmpMs);
    std::fflush(stdout);
  }
  for (TCase& c : cases) {
    mpz_clear(c.n);
  }
  gmp_randclear(state);
  BigShutdown();
  return 0;
}
