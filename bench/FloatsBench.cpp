// karvo-bench-floats: the floating-point layer against MPFR, one CSV line per
// operation and precision:
//
//   operation,bits,karvo_ns,mpfr_ns
//
// Times follow bench/BestTime.h. Both sides get the same
// random operands in [1/2, 1); mul and div work in place on both sides (the
// value drifts, the cost does not); sqrt and exp copy the operand first on
// our side, whose routines work in place.

#include <mpfr.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "BestTime.h"
#include "classpolys/BigFloat.h"

namespace karvo {
namespace {


struct Operands {
  BigFloat x, y, r, s, c;
  mpfr_t mx, my, mr, ms, mc;

  explicit Operands(int32_t bits) {
    for (mpfr_ptr v : {mx, my, mr, ms, mc}) {
      mpfr_init2(v, bits);
    }
  }
  ~Operands() { mpfr_clears(mx, my, mr, ms, mc, nullptr); }
  Operands(const Operands&) = delete;
  Operands& operator=(const Operands&) = delete;
};

// The same value in [1/2, 1) with bits random bits on both sides.
void RandomValue(std::mt19937_64& engine, int32_t bits, BigFloat& x, mpfr_ptr mx) {
  std::vector<Word> words(static_cast<size_t>(bits / 32));
  for (Word& w : words) {
    w = static_cast<Word>(engine());
  }
  words.back() |= 0x80000000u;
  BigSetFromWords(x.Mantissa, words.data(), static_cast<int32_t>(words.size()) - 1, 0);
  x.Exponent = -bits;
  mpz_t z;
  mpz_init(z);
  mpz_import(z, words.size(), -1, sizeof(Word), 0, 0, words.data());
  mpfr_set_z_2exp(mx, z, -bits, MPFR_RNDN);
  mpz_clear(z);
}

struct Case {
  const char* operation;
  std::function<void(Operands&)> karvo;
  std::function<void(Operands&)> reference;
};

const Case cases[] = {
    {"mul", [](Operands& o) { Mul(o.r, o.y); }, [](Operands& o) { mpfr_mul(o.mr, o.mr, o.my, MPFR_RNDN); }},
    {"div", [](Operands& o) { Div(o.r, o.y); }, [](Operands& o) { mpfr_div(o.mr, o.mr, o.my, MPFR_RNDN); }},
    {"sqrt",
     [](Operands& o) {
       Assign(o.r, o.x);
       Sqrt(o.r);
     },
     [](Operands& o) { mpfr_sqrt(o.mr, o.mx, MPFR_RNDN); }},
    {"exp",
     [](Operands& o) {
       Assign(o.r, o.x);
       Exp(o.r);
     },
     [](Operands& o) { mpfr_exp(o.mr, o.mx, MPFR_RNDN); }},
    {"sincos", [](Operands& o) { SinCos(o.s, o.c, o.x, false); },
     [](Operands& o) { mpfr_sin_cos(o.ms, o.mc, o.mx, MPFR_RNDN); }},
};


}  // namespace
}  // namespace karvo

int main() {
  using namespace karvo;
  std::mt19937_64 engine(20261206);
  std::printf("operation,bits,karvo_ns,mpfr_ns\n");
  for (const Case& c : cases) {
    for (const int32_t bits : {256, 1024, 4096, 16384}) {
      SetPrecision(bits);
      Operands o(bits);
      RandomValue(engine, bits, o.x, o.mx);
      RandomValue(engine, bits, o.y, o.my);
      Assign(o.r, o.x);
      mpfr_set(o.mr, o.mx, MPFR_RNDN);
      const double karvoNs = bench::BestTimeNs([&] { c.karvo(o); });
      const double mpfrNs = bench::BestTimeNs([&] { c.reference(o); });
      std::printf("%s,%d,%.0f,%.0f\n", c.operation, bits, karvoNs, mpfrNs);
      std::fflush(stdout);
    }
  }
  FloatShutdown();
  return 0;
}
