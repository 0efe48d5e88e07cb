// Long operations poll for the user's abort: with the poll flag raised and a
// handler that confirms the abort, each raises EKVAbort, gives its
// temporaries back, and the next run of the same operation is correct.

#include <gtest/gtest.h>

#include "GmpBridge.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "base/Poll.h"

namespace karvo {
namespace {

using test::BigRandom;
using test::MpzValue;
using test::Shape;

struct LongOperation {
  const char* name;
  int32_t xWords;
  int32_t yWords;
  void (*run)(BigInt& out, const BigInt& x, const BigInt& y);
  void (*reference)(mpz_ptr out, mpz_srcptr x, mpz_srcptr y);
};

const LongOperation longOperations[] = {
    {"BigDivMod", 2000, 1000,
     [](BigInt& out, const BigInt& x, const BigInt& y) {
       BigInt r;
       BigDivMod(out, r, x, y);
     },
     [](mpz_ptr out, mpz_srcptr x, mpz_srcptr y) { mpz_tdiv_q(out, x, y); }},
    {"BigDiv", 2000, 700,
     [](BigInt& out, const BigInt& x, const BigInt& y) {
       BigAssign(out, x);
       BigDiv(out, y);
     },
     [](mpz_ptr out, mpz_srcptr x, mpz_srcptr y) { mpz_tdiv_q(out, x, y); }},
    {"BigRem", 2000, 2,
     [](BigInt& out, const BigInt& x, const BigInt& y) {
       BigAssign(out, x);
       BigRem(out, y);
     },
     [](mpz_ptr out, mpz_srcptr x, mpz_srcptr y) { mpz_tdiv_r(out, x, y); }},
    {"BigMulOf32Words", 32, 32,
     [](BigInt& out, const BigInt& x, const BigInt& y) {
       BigAssign(out, x);
       BigMul(out, y);
     },
     mpz_mul},
    {"BigMulToUnbalanced", 1000, 40, [](BigInt& out, const BigInt& x, const BigInt& y) { BigMulTo(out, x, y); },
     mpz_mul},
    {"BigSqrOfTwoWords", 2, 1,
     [](BigInt& out, const BigInt& x, const BigInt&) {
       BigAssign(out, x);
       BigSqr(out);
     },
     [](mpz_ptr out, mpz_srcptr x, mpz_srcptr) { mpz_mul(out, x, x); }},
    {"BigSqrTo", 500, 1, [](BigInt& out, const BigInt& x, const BigInt&) { BigSqrTo(out, x); },
     [](mpz_ptr out, mpz_srcptr x, mpz_srcptr) { mpz_mul(out, x, x); }},
    {"BigPower", 3, 1,
     [](BigInt& out, const BigInt& x, const BigInt&) {
       BigAssign(out, x);
       BigPower(out, 300);
     },
     [](mpz_ptr out, mpz_srcptr x, mpz_srcptr) { mpz_pow_ui(out, x, 300); }},
    {"BigIsqrt", 400, 1,
     [](BigInt& out, const BigInt& x, const BigInt&) {
       BigAssign(out, x);
       BigIsqrt(out);
     },
     [](mpz_ptr out, mpz_srcptr x, mpz_srcptr) { mpz_sqrt(out, x); }},
};

void PrintTo(const LongOperation& op, std::ostream* out) { *out << op.name; }

class BigAbortTest : public testing::TestWithParam<LongOperation> {
 protected:
  void TearDown() override { ResetPolling(); }

  static void ResetPolling() {
    ClearPollHandler();
    AbortRequested = 0;
    InPoll = 0;
    PollFlag = 0;
  }
};

TEST_P(BigAbortTest, RaisesAbortAndLeavesThePoolUsable) {
  BigRandom random;
  const LongOperation& op = GetParam();
  BigInt x;
  BigInt y;
  MpzValue a;
  MpzValue b;
  random.Operand(x, a, op.xWords, Shape::Uniform, 0);
  random.Operand(y, b, op.yWords, Shape::Uniform, 1);
  BigTempPool& pool = BigTempPool::Instance();
  const int32_t mark = pool.Mark();

  int calls = 0;
  SetPollHandler([&calls] {
    ++calls;
    RequestAbort();
  });
  PollFlag = 1;
  BigInt out;
  EXPECT_THROW(op.run(out, x, y), EKVAbort);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(pool.Mark(), mark);
  ResetPolling();

  // Operands intact, and the same operation now completes correctly.
  EXPECT_TRUE(test::BigMatches(x, a));
  EXPECT_TRUE(test::BigMatches(y, b));
  op.run(out, x, y);
  MpzValue expected;
  op.reference(expected, a, b);
  EXPECT_TRUE(test::BigMatches(out, expected));
  EXPECT_EQ(pool.Mark(), mark);
}

// A handler that does not confirm an abort lets the operation finish.
TEST_P(BigAbortTest, PollWithoutAbortCompletes) {
  BigRandom random;
  const LongOperation& op = GetParam();
  BigInt x;
  BigInt y;
  MpzValue a;
  MpzValue b;
  random.Operand(x, a, op.xWords, Shape::Uniform, 0);
  random.Operand(y, b, op.yWords, Shape::Uniform, 1);
  int calls = 0;
  SetPollHandler([&calls] { ++calls; });
  PollFlag = 1;
  BigInt out;
  op.run(out, x, y);
  EXPECT_GE(calls, 1);
  MpzValue expected;
  op.reference(expected, a, b);
  EXPECT_TRUE(test::BigMatches(out, expected));
}

INSTANTIATE_TEST_SUITE_P(
    Operations, BigAbortTest, testing::ValuesIn(longOperations),
    [](const testing::TestParamInfo<LongOperation>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace karvo
