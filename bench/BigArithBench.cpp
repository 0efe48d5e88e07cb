// karvo-bench-arith: the big-integer layer against GMP's mpz, one CSV line
// per operation and size:
//
//   operation,bits,karvo_ns,reference_ns
//
// Each time is the best of three samples; a sample repeats the operation until
// at least 0.2 s have passed and divides by the count. Operands are the same
// random values for both sides. Add an operation by adding a row to the table.
//
//   karvo-bench-arith [operation ...]   (default: every operation)

#include <gmp.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "BestTime.h"
#include "arith/BigInt.h"
#include "arith/BigMod.h"
#include "base/Globals.h"

namespace karvo {
namespace {

// One operand pair in both representations, set up once per case.
struct Operands {
  BigInt x, y, q, r;
  mpz_t mx, my, mq, mr;
  std::string decimal;
  std::vector<char> buffer;

  Operands() { mpz_inits(mx, my, mq, mr, nullptr); }
  ~Operands() { mpz_clears(mx, my, mq, mr, nullptr); }
  Operands(const Operands&) = delete;
  Operands& operator=(const Operands&) = delete;
};

// Sets both x and mx to the same random value of exactly bits bits.
void RandomValue(std::mt19937_64& engine, int32_t bits, BigInt& x, mpz_ptr mx) {
  std::vector<Word> words(static_cast<size_t>((bits + 31) / 32));
  for (Word& w : words) {
    w = static_cast<Word>(engine());
  }
  const int top = bits % 32 == 0 ? 32 : bits % 32;
  words.back() &= top == 32 ? 0xFFFFFFFFu : (Word{1} << top) - 1;
  words.back() |= Word{1} << (top - 1);
  BigSetFromWords(x, words.data(), static_cast<int32_t>(words.size()) - 1, 0);
  mpz_import(mx, words.size(), -1, sizeof(Word), 0, 0, words.data());
}

struct Case {
  const char* operation;
  // Sets up the operands for a nominal size in bits.
  std::function<void(std::mt19937_64&, int32_t bits, Operands&)> setup;
  std::function<void(Operands&)> karvo;
  std::function<void(Operands&)> reference;
  // Sizes in bits; empty means the common sizes below.
  std::vector<int32_t> sizes = {};
};

// The modular cases: x the base or value, y the exponent or second operand,
// r an odd modulus of the nominal size, q the result.
const std::vector<int32_t> modularSizes = {256, 512, 1024, 2048, 4096, 8192, 16384};

void OddModulus(std::mt19937_64& e, int32_t bits, Operands& o) {
  RandomValue(e, bits, o.r, o.mr);
  o.r.Words[0] |= 1;
  mpz_setbit(o.mr, 0);
}

const Case cases[] = {
    {"mul",
     [](std::mt19937_64& e, int32_t bits, Operands& o) {
       RandomValue(e, bits, o.x, o.mx);
       RandomValue(e, bits, o.y, o.my);
     },
     [](Operands& o) { BigMulTo(o.q, o.x, o.y); }, [](Operands& o) { mpz_mul(o.mq, o.mx, o.my); }},
    {"sqr", [](std::mt19937_64& e, int32_t bits, Operands& o) { RandomValue(e, bits, o.x, o.mx); },
     [](Operands& o) { BigSqrTo(o.q, o.x); }, [](Operands& o) { mpz_mul(o.mq, o.mx, o.mx); }},
    // A 2n-bit dividend by an n-bit divisor.
    {"divmod",
     [](std::mt19937_64& e, int32_t bits, Operands& o) {
       RandomValue(e, 2 * bits, o.x, o.mx);
       RandomValue(e, bits, o.y, o.my);
     },
     [](Operands& o) { BigDivMod(o.q, o.r, o.x, o.y); }, [](Operands& o) { mpz_tdiv_qr(o.mq, o.mr, o.mx, o.my); }},
    {"from_dec",
     [](std::mt19937_64& e, int32_t bits, Operands& o) {
       RandomValue(e, bits, o.x, o.mx);
       o.decimal = BigToDecimal(o.x);
     },
     [](Operands& o) { BigFromString(o.q, o.decimal, 10); },
     [](Operands& o) { mpz_set_str(o.mq, o.decimal.c_str(), 10); }},
    {"to_dec",
     [](std::mt19937_64& e, int32_t bits, Operands& o) {
       RandomValue(e, bits, o.x, o.mx);
       o.buffer.resize(mpz_sizeinbase(o.mx, 10) + 2);
     },
     [](Operands& o) {
       const std::string text = BigToDecimal(o.x);
       o.buffer[0] = text[0];
     },
     [](Operands& o) { mpz_get_str(o.buffer.data(), 10, o.mx); }},
    {"to_hex",
     [](std::mt19937_64& e, int32_t bits, Operands& o) {
       RandomValue(e, bits, o.x, o.mx);
       o.buffer.resize(mpz_sizeinbase(o.mx, 16) + 2);
     },
     [](Operands& o) {
       const std::string text = BigToHex(o.x);
       o.buffer[0] = text[0];
     },
     [](Operands& o) { mpz_get_str(o.buffer.data(), 16, o.mx); }},
    // A full-size exponent; the automatic choice of reduction.
    {"powmod",
     [](std::mt19937_64& e, int32_t bits, Operands& o) {
       OddModulus(e, bits, o);
       RandomValue(e, bits - 1, o.x, o.mx);
       RandomValue(e, bits, o.y, o.my);
     },
     [](Operands& o) {
       BigAssign(o.q, o.x);
       BigPowMod(o.q, o.y, o.r);
     },
     [](Operands& o) { mpz_powm(o.mq, o.mx, o.my, o.mr); }, modularSizes},
    {"invmod",
     [](std::mt19937_64& e, int32_t bits, Operands& o) {
       OddModulus(e, bits, o);
       RandomValue(e, bits - 1, o.x, o.mx);
     },
     [](Operands& o) {
       BigAssign(o.q, o.x);
       BigInvMod(o.q, o.r);
     },
     [](Operands& o) { mpz_invert(o.mq, o.mx, o.mr); }, modularSizes},
    {"gcd",
     [](std::mt19937_64& e, int32_t bits, Operands& o) {
       RandomValue(e, bits, o.x, o.mx);
       RandomValue(e, bits, o.y, o.my);
     },
     [](Operands& o) {
       BigAssign(o.q, o.x);
       BigGcd(o.q, o.y);
     },
     [](Operands& o) { mpz_gcd(o.mq, o.mx, o.my); }, modularSizes},
};

constexpr int32_t sizes[] = {256, 1024, 4096, 16384, 131072};

}  // namespace
}  // namespace karvo

int main(int argc, char** argv) {
  using namespace karvo;
  BaseStartup();
  BigStartup();
  std::mt19937_64 engine(20240601);
  std::printf("operation,bits,karvo_ns,reference_ns\n");
  for (const Case& c : cases) {
    if (argc > 1 && std::find_if(argv + 1, argv + argc, [&](const char* name) {
                      return std::strcmp(name, c.operation) == 0;
                    }) == argv + argc) {
      continue;
    }
    const std::vector<int32_t> caseSizes =
        c.sizes.empty() ? std::vector<int32_t>(std::begin(sizes), std::end(sizes)) : c.sizes;
    for (int32_t bits : caseSizes) {
      auto operands = std::make_unique<Operands>();
      c.setup(engine, bits, *operands);
      // One untimed call each warms the caches and the kept storage.
      c.karvo(*operands);
      c.reference(*operands);
      const double karvoNs = bench::BestTimeNs([&] { c.karvo(*operands); });
      const double referenceNs = bench::BestTimeNs([&] { c.reference(*operands); });
      std::printf("%s,%d,%.0f,%.0f\n", c.operation, bits, karvoNs, referenceNs);
      std::fflush(stdout);
    }
  }
  BigShutdown();
  return 0;
}
