// Polynomials modulo N against FLINT's fmpz_mod_poly, one CSV line per case:
// operation,degree,bits,karvo_ns,flint_ns.
//   powmod: x^N modulo a random monic f of degree d (FLINT:
//           fmpz_mod_poly_powmod_x_fmpz_preinv, its reciprocal included);
//   root:   one root of a random split polynomial of degree d (FLINT has no
//           single-root routine: fmpz_mod_poly_roots, which finds all).
// A powering with d·bits^2 above 2^27 is timed on the top KARVO_BENCH_PREFIX
// bits of N (default 256) on both sides and scaled to the full exponent,
// since every bit costs one squaring and one reduction; a root search with
// d·bits^2 above 2^KARVO_BENCH_ROOT_LIMIT (default 31) is left out. Both are
// listed on stderr. KARVO_BENCH_MAX_DEGREE (default 512) caps d.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "arith/BigMod.h"
#include "polys/FlintBridge.h"
#include "polys/ZPolyRoots.h"

using namespace karvo;
using namespace karvo::test;

namespace {

// Nanoseconds per run: at least one run and at least 0.3 s in all.
double TimeNs(const std::function<void()>& run) {
  const auto start = std::chrono::steady_clock::now();
  int runs = 0;
  std::chrono::duration<double> spent{};
  do {
    run();
    ++runs;
    spent = std::chrono::steady_clock::now() - start;
  } while (spent.count() < 0.3);
  return spent.count() * 1e9 / runs;
}

int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr ? std::atoi(text) : fallback;
}

void Powmod(RandomSource& random, int32_t d, int32_t bits, int32_t prefix) {
  BigInt N, e;
  random.Prime(N, bits);
  BigAssign(e, N);
  double scale = 1;
  if (static_cast<int64_t>(d) * bits * bits > (int64_t{1} << 27) && prefix < bits) {
    BigShiftRight(e, bits - prefix);
    scale = static_cast<double>(bits) / prefix;
    std::fprintf(stderr, "powmod,%d,%d: timed on %d bits of N, scaled\n", d, bits, prefix);
  }
  FlintModulus mod(N);
  ZPoly f, a;
  random.Poly(f, d, N, true);
  const double ours = TimeNs([&] {
    ZPolySetMonomial(a, 1);
    ZPolyPowMod(a, e, f, N);
  });
  FlintPoly ff(mod), reversed(mod), inverse(mod), result(mod);
  ff.Set(f);
  FmpzValue exponent(e);
  const double flint = TimeNs([&] {
    fmpz_mod_poly_reverse(reversed.get(), ff.get(), d + 1, mod.ctx());
    fmpz_mod_poly_inv_series(inverse.get(), reversed.get(), d + 1, mod.ctx());
    fmpz_mod_poly_powmod_x_fmpz_preinv(result.get(), exponent.get(), ff.get(), inverse.get(), mod.ctx());
  });
  // Both sides must agree before their times mean anything.
  ZPoly check;
  result.Get(check);
  bool same = check.Degree == a.Degree;
  for (int32_t i = 0; same && i <= a.Degree; ++i) {
    same = BigEqual(check.Coeffs[static_cast<size_t>(i)], a.Coeffs[static_cast<size_t>(i)]);
  }
  if (!same) {
    std::fprintf(stderr, "powmod,%d,%d: results differ\n", d, bits);
  }
  std::printf("powmod,%d,%d,%.0f,%.0f\n", d, bits, ours * scale, flint * scale);
  std::fflush(stdout);
}

void Root(RandomSource& random, int32_t d, int32_t bits) {
  BigInt N, c, r;
  random.Prime(N, bits);
  BigNonResidue(c, N);
  FlintModulus mod(N);
  FlintPoly product(mod);
  std::vector<fmpz> roots(static_cast<size_t>(d));
  for (fmpz& root : roots) {
    fmpz_init(&root);
    random.Below(r, N);
    fmpz_set(&root, FmpzValue(r).get());
  }
  fmpz_mod_poly_product_roots_fmpz_vec(product.get(), roots.data(), d, mod.ctx());
  ZPoly f, g;
  product.Get(f);
  const double ours = TimeNs([&] {
    ZPolyAssign(g, f);
    if (!ZPolyFindRoot(g, N, c)) {
      std::fprintf(stderr, "root,%d,%d: no root found\n", d, bits);
    }
  });
  fmpz_mod_poly_factor_t found;
  fmpz_mod_poly_factor_init(found, mod.ctx());
  const double flint = TimeNs([&] { fmpz_mod_poly_roots(found, product.get(), 0, mod.ctx()); });
  fmpz_mod_poly_factor_clear(found, mod.ctx());
  for (fmpz& root : roots) {
    fmpz_clear(&root);
  }
  std::printf("root,%d,%d,%.0f,%.0f\n", d, bits, ours, flint);
  std::fflush(stdout);
}

}  // namespace

int main() {
  RandomSource random(20261206);
  const int32_t prefix = EnvInt("KARVO_BENCH_PREFIX", 256);
  const int64_t rootLimit = int64_t{1} << EnvInt("KARVO_BENCH_ROOT_LIMIT", 31);
  const int32_t maxDegree = EnvInt("KARVO_BENCH_MAX_DEGREE", 512);
  std::printf("operation,degree,bits,karvo_ns,flint_ns\n");
  for (const char* op : {"powmod", "root"}) {
    for (int32_t d : {8, 32, 128, 512}) {
      for (int32_t bits : {512, 1024, 2048, 4096}) {
        if (d > maxDegree) {
          continue;
        }
        if (op[0] == 'p') {
          Powmod(random, d, bits, prefix);
        } else if (static_cast<int64_t>(d) * bits * bits <= rootLimit) {
          Root(random, d, bits);
        } else {
          std::fprintf(stderr, "root,%d,%d: left out\n", d, bits);
        }
      }
    }
  }
  return 0;
}
