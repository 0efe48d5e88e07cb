// Expressions at their limits: values near and beyond the size caps, huge
// requests that must end at once with -1, the abort poll, long texts, and
// random expressions evaluated against GMP.

#include <gmp.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "ExpressionSupport.h"
#include "GmpBridge.h"
#include "arith/BigTempPool.h"
#include "arith/Expression.h"
#include "base/Poll.h"

namespace karvo {
namespace {

using test::EvaluatesTo;
using test::FailsWith;
using test::MpzValue;
using test::Shown;

constexpr unsigned long Cap = ExpressionValueBitsCap;

TEST(ExpressionSizeTest, PowerAtTheCapIsComputed) {
  MpzValue expected;
  mpz_ui_pow_ui(expected, 2, Cap - 1);
  EXPECT_TRUE(EvaluatesTo("2^" + std::to_string(Cap - 1), expected));
  mpz_sub_ui(expected, expected, 1);
  EXPECT_TRUE(EvaluatesTo("2^" + std::to_string(Cap - 1) + "-1", expected));
  // 3^2646000 has 4193811 bits.
  mpz_ui_pow_ui(expected, 3, 2646000);
  EXPECT_TRUE(EvaluatesTo("3^2646000", expected));
}

TEST(ExpressionSizeTest, ValuesBeyondTheCapFail) {
  EXPECT_TRUE(FailsWith("2^" + std::to_string(Cap), ExprFailed));
  const std::string top = "2^" + std::to_string(Cap - 1);
  EXPECT_TRUE(FailsWith(top + "+" + top, ExprFailed));
  EXPECT_TRUE(FailsWith(top + "*2", ExprFailed));
  EXPECT_TRUE(FailsWith("3^2647000", ExprFailed));
  // A product is judged by the sum of its operands' sizes.
  MpzValue expected;
  mpz_ui_pow_ui(expected, 2, Cap - 2);
  const std::string half = "2^" + std::to_string(Cap / 2 - 1);
  EXPECT_TRUE(EvaluatesTo(half + "*" + half, expected));
}

// Each would take gigabytes or hours; each must be refused before any work.
TEST(ExpressionSizeTest, HugeRequestsFailAtOnce) {
  for (const char* text : {"2^(2^31)", "2^2147483647", "2^4294967295", "9^999999999", "99999999!", "4294967295!",
                           "4294967295!1", "4294967295!2", "(2^100000)^100000", "65521#^65521",
                           "300000!", "(2^4000000)*(2^4000000)", "10!3^4294967295"}) {
    EXPECT_TRUE(FailsWith(text, ExprFailed)) << text;
  }
}

TEST(ExpressionSizeTest, LargeFactorialWithinTheCapAgreesWithGmp) {
  MpzValue expected;
  mpz_fac_ui(expected, 200000);
  EXPECT_TRUE(EvaluatesTo("200000!", expected));
  mpz_mfac_uiui(expected, 4000000000ul, 40000000ul);
  EXPECT_TRUE(EvaluatesTo("4000000000!40000000", expected));
}

TEST(ExpressionSizeTest, LongLiteralsAgreeWithGmpUpToTheCap) {
  // 400000 digits (1.3 Mbit): converted by halves, checked against GMP.
  test::BigRandom random;
  std::string digits(400000, '0');
  for (char& c : digits) {
    c = static_cast<char>('0' + random.Between(0, 9));
  }
  digits[0] = '7';
  MpzValue expected(digits.c_str());
  EXPECT_TRUE(EvaluatesTo(digits, expected));
  EXPECT_TRUE(EvaluatesTo("(" + digits + ")-1+1", expected));
  // 1.3 million digits exceed 2^22 bits.
  EXPECT_TRUE(FailsWith(std::string(1300000, '9'), ExprFailed));
  // Leading zeros cost nothing.
  MpzValue five(5);
  EXPECT_TRUE(EvaluatesTo(std::string(5000000, '0') + "5", five));
}

// Values waiting on the stack count together: five pending values of the
// maximal size exceed 2^24 bits, although each is within the cap.
TEST(ExpressionSizeTest, PendingValuesShareOneBudget) {
  const std::string top = "2^" + std::to_string(Cap - 1);
  auto nested = [&top](int levels) {
    std::string text = "1";
    for (int level = 0; level < levels; ++level) {
      text = top + "-(" + text + ")";
    }
    return text;
  };
  // top-(top-(top-1)) = top-1.
  MpzValue expected;
  mpz_ui_pow_ui(expected, 2, Cap - 1);
  mpz_sub_ui(expected, expected, 1);
  EXPECT_TRUE(EvaluatesTo(nested(3), expected));
  EXPECT_TRUE(FailsWith(nested(8), ExprFailed));
  // Many small pending values are fine.
  std::string text = "1";
  for (int level = 0; level < 10000; ++level) {
    text = "1+(" + text + ")";
  }
  MpzValue many(10001);
  EXPECT_TRUE(EvaluatesTo(text, many));
}

TEST(ExpressionSizeTest, LongFlatTextsAgreeWithGmp) {
  std::string text = "0";
  for (int i = 0; i < 1000000; ++i) {
    text += i % 3 == 2 ? "-1" : "+1";
  }
  MpzValue expected(333334);
  EXPECT_TRUE(EvaluatesTo(text, expected));
  // Blanks alone between two numbers still separate them.
  EXPECT_TRUE(FailsWith("1" + std::string(1000000, ' ') + "2", ExprBadToken));
  EXPECT_TRUE(FailsWith(std::string(1000000, '(') + "1" + std::string(999999, ')'), ExprUnbalanced));
}

// The poll handler confirms an abort once the evaluator has polled more
// often than the text has characters, that is, inside the factorial.
class ExpressionAbortTest : public testing::Test {
 protected:
  void TearDown() override { ResetPolling(); }

  static void ResetPolling() {
    ClearPollHandler();
    AbortRequested = 0;
    InPoll = 0;
    PollFlag = 0;
  }
};

TEST_F(ExpressionAbortTest, AbortDuringFactorialGivesMinusOne) {
  const int32_t mark = BigTempPool::Instance().Mark();
  int calls = 0;
  SetPollHandler([&calls] {
    ++calls;
    PollFlag = 1;  // poll again at the next check
    if (calls == 1000) {
      RequestAbort();
    }
  });
  PollFlag = 1;
  EXPECT_TRUE(FailsWith("100000!+1", ExprFailed));
  EXPECT_EQ(calls, 1000);
  EXPECT_EQ(BigTempPool::Instance().Mark(), mark);
  ResetPolling();

  // Nothing is left behind: the same text now evaluates correctly.
  MpzValue expected;
  mpz_fac_ui(expected, 100000);
  mpz_add_ui(expected, expected, 1);
  EXPECT_TRUE(EvaluatesTo("100000!+1", expected));
}

TEST_F(ExpressionAbortTest, AbortDuringPrimorialAndMultifactorialGivesMinusOne) {
  for (const char* text : {"65521#", "4000000000!40000000"}) {
    int calls = 0;
    SetPollHandler([&calls] {
      ++calls;
      PollFlag = 1;
      if (calls == 100) {
        RequestAbort();
      }
    });
    PollFlag = 1;
    EXPECT_TRUE(FailsWith(text, ExprFailed)) << text;
    EXPECT_EQ(calls, 100) << text;
    ResetPolling();
  }
}

TEST_F(ExpressionAbortTest, PollsWithoutAbortLeaveTheValueRight) {
  int calls = 0;
  SetPollHandler([&calls] {
    ++calls;
    PollFlag = 1;
  });
  PollFlag = 1;
  MpzValue expected;
  mpz_fac_ui(expected, 3000);
  mpz_mul_ui(expected, expected, 7);
  EXPECT_TRUE(EvaluatesTo(" 3000! * 7 ", expected));
  // At least once per factor.
  EXPECT_GE(calls, 3000);
}

// Random expression trees of + - * / ^, postfix !, # and a!b, with blanks
// and redundant parentheses, against the same tree evaluated with GMP. The
// first error in evaluation order (left operand, right operand, operator)
// gives the expected code.
class RandomExpression {
 public:
  struct Node {
    std::string text;
    int precedence = 9;  // of the top operator; 9 for numbers and groups
    MpzValue value;
    int code = ExprOk;
  };

  explicit RandomExpression(test::BigRandom& random) : random_(random) {}

  Node Make(int depth) {
    if (depth == 0 || random_.Between(0, 3) == 0) {
      return Atom();
    }
    static const char ops[] = "+-*/^";
    const char op = ops[random_.Between(0, 4)];
    const int precedence = op == '^' ? 3 : (op == '*' || op == '/') ? 2 : 1;
    Node left = Make(depth - 1);
    Node right = op == '^' ? Exponent() : Make(depth - 1);
    Node out;
    out.precedence = precedence;
    out.text = Joined({Grouped(left, left.precedence < precedence), Blanks(), std::string(1, op), Blanks(),
                       Grouped(right, right.precedence <= precedence)});
    out.code = left.code != ExprOk ? left.code : right.code;
    if (out.code != ExprOk) {
      return out;
    }
    switch (op) {
      case '+':
        mpz_add(out.value, left.value, right.value);
        break;
      case '-':
        mpz_sub(out.value, left.value, right.value);
        break;
      case '*':
        mpz_mul(out.value, left.value, right.value);
        break;
      case '/':
        if (mpz_sgn(right.value) == 0) {
          out.code = ExprDivisionByZero;
        } else {
          mpz_tdiv_q(out.value, left.value, right.value);
        }
        break;
      default:
        if (mpz_sgn(right.value) < 0) {
          out.code = ExprBadExponent;
        } else {
          mpz_pow_ui(out.value, left.value, mpz_get_ui(right.value));
        }
        break;
    }
    return out;
  }

  std::string Blanks() {
    static const char* const choices[] = {"", "", "", " ", "\t", "  "};
    return choices[random_.Between(0, 5)];
  }

 private:
  // Appending piece by piece; chains of operator+ on temporaries trip a false
  // -Wrestrict of g++ 12.
  static std::string Joined(std::initializer_list<std::string> pieces) {
    std::string out;
    for (const std::string& piece : pieces) {
      out += piece;
    }
    return out;
  }

  std::string Grouped(const Node& node, bool needed) {
    if (needed || random_.Between(0, 5) == 0) {
      return Joined({"(", Blanks(), node.text, Blanks(), ")"});
    }
    return node.text;
  }

  Node Atom() {
    Node out;
    switch (random_.Between(0, 9)) {
      case 0: {
        const int n = random_.Between(0, 25);
        out.text = std::to_string(n) + "!";
        if (n == 0) {
          out.code = ExprMissingOperand;
        } else {
          mpz_fac_ui(out.value, static_cast<unsigned long>(n));
        }
        return out;
      }
      case 1: {
        const int n = random_.Between(0, 60);
        out.text = std::to_string(n) + "#";
        if (n == 0) {
          out.code = ExprMissingOperand;
        } else if (n == 1) {
          out.code = ExprBadPrimorial;
        } else {
          mpz_primorial_ui(out.value, static_cast<unsigned long>(n));
        }
        return out;
      }
      case 2: {
        const int a = random_.Between(0, 30);
        const int b = random_.Between(0, 35);
        out.text = std::to_string(a) + "!" + std::to_string(b);
        out.precedence = 4;
        if (a == 0 || b == 0 || a < b) {
          out.code = ExprBadMultifactorial;
        } else {
          mpz_mfac_uiui(out.value, static_cast<unsigned long>(a), static_cast<unsigned long>(b));
        }
        return out;
      }
      default: {
        // Up to 30 digits, sometimes with leading zeros, often small.
        const int digits = random_.Between(0, 2) == 0 ? random_.Between(1, 30) : random_.Between(1, 2);
        for (int i = 0; i < digits; ++i) {
          out.text += static_cast<char>('0' + random_.Between(0, 9));
        }
        mpz_set_str(out.value, out.text.c_str(), 10);
        return out;
      }
    }
  }

  // Small exponents keep the values small: a number 0..4 or a difference of
  // two, which may be negative.
  Node Exponent() {
    Node out;
    const int a = random_.Between(0, 4);
    if (random_.Between(0, 3) != 0) {
      out.text = std::to_string(a);
      mpz_set_si(out.value, a);
      return out;
    }
    const int b = random_.Between(0, 4);
    out.text = Joined({"(", std::to_string(a), Blanks(), "-", Blanks(), std::to_string(b), ")"});
    mpz_set_si(out.value, a - b);
    return out;
  }

  test::BigRandom& random_;
};

TEST(ExpressionRandomTest, RandomTreesAgreeWithGmp) {
  test::BigRandom random;
  RandomExpression generator(random);
  int valid = 0;
  for (int32_t round = 0; round < test::Rounds(3000); ++round) {
    RandomExpression::Node node = generator.Make(random.Between(1, 5));
    const std::string text = generator.Blanks() + node.text + generator.Blanks();
    SCOPED_TRACE(Shown(text));
    if (node.code == ExprOk) {
      ++valid;
      EXPECT_TRUE(EvaluatesTo(text, node.value));
    } else {
      EXPECT_TRUE(FailsWith(text, node.code));
    }
  }
  // Most trees must be valid, or the comparison tests little.
  EXPECT_GT(valid, test::Rounds(3000) / 2);
}

}  // namespace
}  // namespace karvo
