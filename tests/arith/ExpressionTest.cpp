// Expressions: values and error codes of the documented examples, the
// postfix and multifactorial operators against GMP, and deep nesting.

#include <gmp.h>
#include <gtest/gtest.h>

#include <string>

#include "ExpressionSupport.h"
#include "GmpBridge.h"
#include "arith/BigTempPool.h"
#include "arith/Expression.h"

namespace karvo {
namespace {

using test::EvaluatesTo;
using test::FailsWith;
using test::MpzValue;
using test::Shown;

struct ValueCase {
  std::string text;
  const char* value;  // decimal
  const char* why;
};

void PrintTo(const ValueCase& c, std::ostream* out) { *out << '"' << c.text << "\" (" << c.why << ")"; }

const ValueCase valueCases[] = {
    {"2^127-1", "170141183460469231731687303715884105727", "Mersenne number"},
    {"2^3^2", "64", "^ is left-associative"},
    {"2*(3+4)", "14", "parentheses group"},
    {" 7 ", "7", "blanks around"},
    {"\t7\t", "7", "TAB is blank"},
    {" ( 2 ^ 3 ) * 1 ", "8", "blanks between every token"},
    {"10!", "3628800", "factorial"},
    {"10!3", "280", "multifactorial 10*7*4*1"},
    {"7#", "210", "primorial"},
    {"7/2", "3", "quotient truncated"},
    {"0^0", "1", "zero exponent gives one, also for zero"},
    {"0^7", "0", "zero base"},
    {"1^4294967295", "1", "largest exponent of one is cheap"},
    {"(0-1)^4294967295", "-1", "odd power of minus one"},
    {"(0-1)^4294967294", "1", "even power of minus one"},
    {"1-5", "-4", "subtraction may go negative"},
    {"1-5*2", "-9", "* before -"},
    {"(1-8)/2", "-3", "negative quotient truncated toward zero"},
    {"(1-4)^3", "-27", "odd power of a negative value"},
    {"(1-4)^2", "9", "even power of a negative value"},
    {"(2-5)*(3-7)", "12", "product of two negative values"},
    {"3-3", "0", "zero result"},
    {"2+3*4^2", "50", "three precedence levels"},
    {"100-10-1", "89", "- is left-associative"},
    {"100/10/5", "2", "/ is left-associative"},
    {"1-(2-3)", "2", "parentheses override associativity"},
    {"2*3!2", "6", "a!b binds tighter than *"},
    {"2^3!2", "8", "a!b binds tighter than ^"},
    {"(3)!2", "3", "a!b after )"},
    {"6!3", "18", "multifactorial ending on b"},
    {"6!2", "48", "double factorial"},
    {"1!1", "1", "smallest multifactorial"},
    {"4294967295!4294967295", "4294967295", "single factor"},
    {"4294967295!4294967294", "4294967295", "second factor is one"},
    {"1!", "1", "smallest factorial"},
    {"5!+1", "121", "operator after postfix"},
    {"5#*2", "60", "operator after primorial"},
    {"2#", "2", "smallest primorial"},
    {"4#", "6", "primorial of a composite"},
    {"0005", "5", "leading zeros"},
    {"0", "0", "zero"},
    {"000", "0", "zeros"},
    {"0003!", "6", "factorial of a number with leading zeros"},
    {"((((7))))", "7", "redundant parentheses"},
    {"18446744073709551616-1", "18446744073709551615", "literal of three words"},
    {"12345678901234567890123456789*0", "0", "product with zero"},
    {"99999999999999999999/99999999999", "1000000000", "multi-word quotient"},
};

class ExpressionValueTest : public testing::TestWithParam<ValueCase> {};

TEST_P(ExpressionValueTest, MatchesTheExpectedValue) {
  const ValueCase& c = GetParam();
  MpzValue expected(c.value);
  EXPECT_TRUE(EvaluatesTo(c.text, expected));
}

INSTANTIATE_TEST_SUITE_P(Examples, ExpressionValueTest, testing::ValuesIn(valueCases));

struct CodeCase {
  std::string text;
  int code;
  const char* why;
};

void PrintTo(const CodeCase& c, std::ostream* out) {
  *out << '"' << Shown(c.text) << "\" -> " << c.code << " (" << c.why << ")";
}

const CodeCase codeCases[] = {
    {"", ExprBadFirstCharacter, "empty text"},
    {"-5", ExprBadFirstCharacter, "no unary minus"},
    {"+5", ExprBadFirstCharacter, "no unary plus"},
    {"!5", ExprBadFirstCharacter, "multifactorial first"},
    {")", ExprBadFirstCharacter, "closing parenthesis first"},
    {"x", ExprBadFirstCharacter, "letter first"},
    {"\n5", ExprBadFirstCharacter, "line feed is not blank"},
    {"@5", ExprBadFirstCharacter, "typed @ first"},
    {std::string("\0", 1), ExprBadFirstCharacter, "NUL first"},
    {"5+", ExprEndsAfterOperator, "ends after +"},
    {"5*", ExprEndsAfterOperator, "ends after *"},
    {"5!3^ \t", ExprEndsAfterOperator, "ends after ^ and blanks"},
    {" ", ExprEndsAfterOperator, "only a blank"},
    {"\t\t", ExprEndsAfterOperator, "only TABs"},
    {"(5", ExprUnbalanced, "unclosed"},
    {"5)", ExprUnbalanced, "closing without opening"},
    {"(5))", ExprUnbalanced, "one closing too many"},
    {"((5)", ExprUnbalanced, "one opening too many"},
    {"(", ExprUnbalanced, "lone opening: depth is checked before the last token"},
    {"5+(", ExprUnbalanced, "ends after ( with depth 1"},
    {"5/0", ExprDivisionByZero, "division by zero"},
    {"5/(3-3)", ExprDivisionByZero, "division by a computed zero"},
    {"(1-5)/0", ExprDivisionByZero, "negative dividend by zero"},
    {"2^(2^32)", ExprBadExponent, "exponent of two words"},
    {"2^(1-2)", ExprBadExponent, "negative exponent"},
    {"0^(1-2)", ExprBadExponent, "negative exponent of zero"},
    {"1^(1-2)", ExprBadExponent, "negative exponent of one"},
    {"2^(0-4294967295)", ExprBadExponent, "negative one-word exponent"},
    {"1#", ExprBadPrimorial, "primorial below 2"},
    {"65522#", ExprBadPrimorial, "primorial beyond the prime table"},
    {"4294967295#", ExprBadPrimorial, "largest one-word primorial"},
    {"3!5", ExprBadMultifactorial, "a < b"},
    {"0!5", ExprBadMultifactorial, "a = 0"},
    {"5!0", ExprBadMultifactorial, "b = 0"},
    {"(1-5)!2", ExprBadMultifactorial, "negative a"},
    {"9999999999!3", ExprBadMultifactorial, "a of two words"},
    {"5!4294967296", ExprBadMultifactorial, "b of two words"},
    {"(2^32)!2", ExprBadMultifactorial, "a of two words"},
    {"5!3!", ExprBadMultifactorial, "postfix binds to the digit run: 5!(3!) = 5!6"},
    {"0!", ExprMissingOperand, "factorial of zero"},
    {"4294967296!", ExprMissingOperand, "factorial of two words"},
    {"0#", ExprMissingOperand, "primorial of zero"},
    {"4294967296#", ExprMissingOperand, "primorial of two words"},
    {"5 5", ExprBadToken, "two numbers"},
    {"(5)(6)", ExprBadToken, "two groups"},
    {"5(6)", ExprBadToken, "number then group"},
    {"(5)6", ExprBadToken, "group then number"},
    {"5!!", ExprBadToken, "double postfix"},
    {"5##", ExprBadToken, "double primorial"},
    {"5#!", ExprBadToken, "factorial of a primorial"},
    {"(5)!", ExprBadToken, "postfix after )"},
    {"(5)#", ExprBadToken, "primorial after )"},
    {"5!(2)", ExprBadToken, "the step of a!b is a number, not a group"},
    {"5 !", ExprBadToken, "postfix after a blank"},
    {"5 #", ExprBadToken, "primorial after a blank"},
    {"7#3", ExprBadToken, "number after a primorial"},
    {"5+)", ExprBadToken, ") after an operator"},
    {"()", ExprBadToken, "empty group"},
    {"5++5", ExprBadToken, "two operators"},
    {"2^-1", ExprBadToken, "no unary minus after ^"},
    {"2,5", ExprBadToken, "comma"},
    {"2.5", ExprBadToken, "decimal point"},
    {"5@3", ExprBadToken, "typed @ is not the multifactorial"},
    {std::string("5\0+3", 4), ExprBadToken, "embedded NUL does not end the text"},
    {"5\n", ExprBadToken, "line feed"},
    {"5\r", ExprBadToken, "carriage return"},
    {"5x", ExprBadToken, "letter"},
    {"5\xff", ExprBadToken, "byte above 127"},
    {"10!3 4", ExprBadToken, "number after multifactorial operand"},
};

class ExpressionCodeTest : public testing::TestWithParam<CodeCase> {};

TEST_P(ExpressionCodeTest, ReturnsTheCodeAndLeavesZero) {
  const CodeCase& c = GetParam();
  const int32_t mark = BigTempPool::Instance().Mark();
  EXPECT_TRUE(FailsWith(c.text, c.code));
  EXPECT_EQ(BigTempPool::Instance().Mark(), mark);
}

INSTANTIATE_TEST_SUITE_P(Errors, ExpressionCodeTest, testing::ValuesIn(codeCases));

TEST(ExpressionPostfixTest, FactorialsAgreeWithGmp) {
  MpzValue expected;
  for (unsigned long n = 1; n <= 300; ++n) {
    mpz_fac_ui(expected, n);
    EXPECT_TRUE(EvaluatesTo(std::to_string(n) + "!", expected)) << n;
  }
  for (unsigned long n : {1000ul, 4096ul, 20000ul, 100000ul}) {
    mpz_fac_ui(expected, n);
    EXPECT_TRUE(EvaluatesTo(std::to_string(n) + "!", expected)) << n;
  }
}

TEST(ExpressionPostfixTest, MultifactorialsAgreeWithGmp) {
  test::BigRandom random;
  MpzValue expected;
  for (int32_t round = 0; round < test::Rounds(300); ++round) {
    const int32_t a = random.Between(1, round < 200 ? 60 : 5000);
    const int32_t b = random.Between(1, a);
    mpz_mfac_uiui(expected, static_cast<unsigned long>(a), static_cast<unsigned long>(b));
    const std::string text = std::to_string(a) + "!" + std::to_string(b);
    EXPECT_TRUE(EvaluatesTo(text, expected)) << text;
  }
  // The step may be larger than every factor but the first.
  mpz_set_ui(expected, 4000000000ul);
  mpz_mul_ui(expected, expected, 1000000000ul);
  EXPECT_TRUE(EvaluatesTo("4000000000!3000000000", expected));
  // A multifactorial of a postfix value: 5!!3 is 120!3.
  mpz_mfac_uiui(expected, 120, 3);
  EXPECT_TRUE(EvaluatesTo("5!!3", expected));
  mpz_mfac_uiui(expected, 280, 2);
  EXPECT_TRUE(EvaluatesTo("10!3!2", expected));
}

TEST(ExpressionPostfixTest, PrimorialsAgreeWithGmpUpToTheLastTablePrime) {
  MpzValue expected;
  for (unsigned long n = 2; n <= 1000; ++n) {
    mpz_primorial_ui(expected, n);
    EXPECT_TRUE(EvaluatesTo(std::to_string(n) + "#", expected)) << n;
  }
  for (unsigned long n : {65519ul, 65520ul, 65521ul}) {
    mpz_primorial_ui(expected, n);
    EXPECT_TRUE(EvaluatesTo(std::to_string(n) + "#", expected)) << n;
  }
  test::BigRandom random;
  for (int32_t round = 0; round < test::Rounds(20); ++round) {
    const auto n = static_cast<unsigned long>(random.Between(1001, 65521));
    mpz_primorial_ui(expected, n);
    EXPECT_TRUE(EvaluatesTo(std::to_string(n) + "#", expected)) << n;
  }
}

// An operator inside 256 or more parentheses must still wait for the ones
// outside: 2*(…(3+4)…) is 14, not 2*3+4.
TEST(ExpressionNestingTest, DeepParenthesesKeepPrecedence) {
  MpzValue fourteen(14);
  for (int depth : {1, 255, 256, 257, 511, 512, 1000, 65536, 100000}) {
    const std::string text = "2*" + std::string(static_cast<size_t>(depth), '(') + "3+4" +
                             std::string(static_cast<size_t>(depth), ')');
    EXPECT_TRUE(EvaluatesTo(text, fourteen)) << depth;
    const std::string lone = std::string(static_cast<size_t>(depth), '(') + "7" +
                             std::string(static_cast<size_t>(depth), ')');
    MpzValue seven(7);
    EXPECT_TRUE(EvaluatesTo(lone, seven)) << depth;
    EXPECT_TRUE(FailsWith(lone + ")", ExprUnbalanced)) << depth;
    EXPECT_TRUE(FailsWith("(" + lone, ExprUnbalanced)) << depth;
  }
}

// Right-nested groups keep one value per level waiting on the stack.
TEST(ExpressionNestingTest, RightNestedGroupsAgreeWithGmp) {
  for (int depth : {256, 1000, 5000}) {
    std::string text;
    MpzValue expected(0);
    // 3-(2*(3-(2*(…)))) built from the inside out.
    text = "1";
    mpz_set_ui(expected, 1);
    for (int level = 0; level < depth; ++level) {
      if (level % 2 == 0) {
        text = "3-(" + text + ")";
        mpz_ui_sub(expected, 3, expected);
      } else {
        text = "2*(" + text + ")";
        mpz_mul_ui(expected, expected, 2);
      }
    }
    EXPECT_TRUE(EvaluatesTo(text, expected)) << depth;
  }
}

TEST(ExpressionNestingTest, LeftNestedGroupsAgreeWithGmp) {
  for (int depth : {256, 1000}) {
    std::string text = std::string(static_cast<size_t>(depth), '(') + "1";
    MpzValue expected(1);
    for (int level = 0; level < depth; ++level) {
      text += "+" + std::to_string(level) + ")*3";
      mpz_add_ui(expected, expected, static_cast<unsigned long>(level));
      mpz_mul_ui(expected, expected, 3);
    }
    EXPECT_TRUE(EvaluatesTo(text, expected)) << depth;
  }
}

TEST(ExpressionResultTest, ResultIsReplacedEvenWhenItHeldAValue) {
  BigInt result;
  BigSetInt(result, -77);
  ASSERT_EQ(EvaluateExpression(result, "6*7"), ExprOk);
  MpzValue expected(42);
  EXPECT_TRUE(test::BigMatches(result, expected));
  // Evaluating into the same record again starts from zero.
  ASSERT_EQ(EvaluateExpression(result, "2-3"), ExprOk);
  MpzValue minusOne(-1);
  EXPECT_TRUE(test::BigMatches(result, minusOne));
}

}  // namespace
}  // namespace karvo
