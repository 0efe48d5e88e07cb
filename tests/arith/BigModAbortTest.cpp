// The long modular routines poll for the user's abort, on entry and inside
// their loops: each raises EKVAbort, gives its temporaries back, leaves the
// registered modulus as it was, and runs correctly afterwards.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "BigModTestSupport.h"
#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "arith/ProbablePrime.h"
#include "base/Errors.h"
#include "base/Poll.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Pair;

// Operands shared by every case: an odd modulus N of 40 words, a residue x
// that is a square modulo the prime p, and an exponent e.
struct Operands {
  Pair N;
  Pair x;
  Pair e;
  Pair p;
  Pair square;
  BigInt c;
};

struct LongOperation {
  const char* name;
  // Runs the operation and returns its result as an mpz value.
  void (*run)(Operands& in, mpz_ptr out);
};

void Result(mpz_ptr out, const BigInt& x) { test::MpzFromBig(out, x); }

const LongOperation longOperations[] = {
    {"BigPowModMontgomery",
     [](Operands& in, mpz_ptr out) {
       BigInt y;
       BigAssign(y, in.x.big);
       BigPowMod(y, in.e.big, in.N.big, PowModMontgomery);
       Result(out, y);
     }},
    {"BigPowModPlain",
     [](Operands& in, mpz_ptr out) {
       BigInt y;
       BigAssign(y, in.x.big);
       BigPowMod(y, in.e.big, in.N.big, PowModPlain);
       Result(out, y);
     }},
    {"BigPowModBarrett",
     [](Operands& in, mpz_ptr out) {
       BigInt y;
       BigAssign(y, in.x.big);
       BigPowMod(y, in.e.big, in.N.big, PowModBarrett);
       Result(out, y);
     }},
    {"BigInvMod",
     [](Operands& in, mpz_ptr out) {
       BigInt y;
       BigAssign(y, in.x.big);
       BigInvMod(y, in.N.big);
       Result(out, y);
     }},
    {"BigGcd",
     [](Operands& in, mpz_ptr out) {
       BigInt y;
       BigAssign(y, in.x.big);
       BigGcd(y, in.N.big);
       Result(out, y);
     }},
    {"BigJacobi", [](Operands& in, mpz_ptr out) { mpz_set_si(out, BigJacobi(in.x.big, in.N.big)); }},
    {"BigLucasV",
     [](Operands& in, mpz_ptr out) {
       BigInt v;
       BigLucasV(v, in.e.big, in.x.big, in.N.big, in.e.big);
       Result(out, v);
     }},
    {"BigLucasUV",
     [](Operands& in, mpz_ptr out) {
       BigInt u;
       BigInt v;
       BigLucasUV(u, v, in.e.big, -7, in.N.big);
       BigMul(u, v);
       Result(out, u);
     }},
    {"BigSqrtMod",
     [](Operands& in, mpz_ptr out) {
       BigInt y;
       BigAssign(y, in.square.big);
       BigSqrtMod(y, in.p.big, in.c);
       BigSqr(y);
       BigMod(y, in.p.big);
       Result(out, y);
     }},
    {"BigBarrettReduce",
     [](Operands& in, mpz_ptr out) {
       BigInt mu;
       BigReciprocal(mu, in.N.big);
       BigInt y;
       BigAssign(y, in.e.big);
       BigSqr(y);
       BigBarrettReduce(y, in.N.big, mu);
       Result(out, y);
     }},
    {"BigIsProbablePrime",
     [](Operands& in, mpz_ptr out) { mpz_set_si(out, BigIsProbablePrime(in.p.big, 7) ? 1 : 0); }},
};

void PrintTo(const LongOperation& op, std::ostream* out) { *out << op.name; }

class BigModAbortTest : public testing::TestWithParam<LongOperation> {
 protected:
  void SetUp() override {
    BigRandom random;
    test::RandomModulus(random, in_.N, 40, true);
    test::RandomResidue(random, in_.x, in_.N.ref);
    test::RandomValue(random, in_.e, 40);
    MpzValue prime;
    test::PrimeWithTwoPower(random, prime, 300, 20);
    in_.p.Set(prime);
    BigNonResidue(in_.c, in_.p.big);
    Pair r;
    test::RandomResidue(random, r, prime);
    MpzValue s;
    mpz_mul(s, r.ref, r.ref);
    mpz_mod(s, s, prime);
    in_.square.Set(s);
    BigClearModulus();
  }
  void TearDown() override {
    ResetPolling();
    BigClearModulus();
  }

  static void ResetPolling() {
    ClearPollHandler();
    AbortRequested = 0;
    InPoll = 0;
    PollFlag = 0;
  }

  // Raises the poll flag and confirms an abort at the given poll (1 = the
  // first one, on entry); every poll before it raises the flag again.
  testing::AssertionResult AbortsAtPoll(int32_t at) {
    BigTempPool& pool = BigTempPool::Instance();
    const int32_t mark = pool.Mark();
    int32_t calls = 0;
    SetPollHandler([&calls, at] {
      if (++calls == at) {
        RequestAbort();
      } else {
        PollFlag = 1;
      }
    });
    PollFlag = 1;
    MpzValue out;
    bool aborted = false;
    try {
      BigModulusScope scope(in_.p.big);
      GetParam().run(in_, out);
    } catch (const EKVAbort&) {
      aborted = true;
    }
    ResetPolling();
    if (pool.Mark() != mark) {
      const int32_t left = pool.Mark();
      pool.Release(mark);
      return testing::AssertionFailure() << "pool mark " << left << ", was " << mark;
    }
    if (BigHasModulus()) {
      return testing::AssertionFailure() << "the modulus stayed registered";
    }
    if (!aborted) {
      return testing::AssertionFailure() << "no abort at poll " << at << " (" << calls << " polls)";
    }
    return testing::AssertionSuccess();
  }

  Operands in_;
};

TEST_P(BigModAbortTest, AbortsOnEntryAndInsideTheLoop) {
  MpzValue expected;
  GetParam().run(in_, expected);
  EXPECT_TRUE(AbortsAtPoll(1));
  EXPECT_TRUE(AbortsAtPoll(3));
  MpzValue again;
  GetParam().run(in_, again);
  EXPECT_EQ(mpz_cmp(again, expected), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, BigModAbortTest, testing::ValuesIn(longOperations),
    [](const testing::TestParamInfo<LongOperation>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace karvo
