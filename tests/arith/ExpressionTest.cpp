// Expressions: one table of texts with their value or code, the size caps at their
// edges, the abort inside n!, a!b and n#, and random trees evaluated by GMP.

#include <gmp.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "GmpBridge.h"
#include "arith/BigTempPool.h"
#include "arith/Expression.h"
#include "base/Poll.h"

namespace karvo {
namespace {

using test::MpzValue;
using Ref = std::function<void(mpz_ptr)>;

// Joined piece by piece: chains of operator+ trip a false -Wrestrict of g++ 12.
template <typename... T>
std::string Cat(const T&... parts) {
  std::string out;
  ((out += parts), ...);
  return out;
}

// Code ExprOk and the value, or the code with the result set back to zero;
// the pool of temporaries is left as found either way.
testing::AssertionResult Evaluates(const std::string& text, int code, mpz_srcptr expected) {
  const int32_t mark = BigTempPool::Instance().Mark();
  BigInt result;
  BigSetInt(result, 12345);
  const int got = EvaluateExpression(result, text);
  const std::string shown = text.size() > 80 ? Cat(text.substr(0, 60), "... ", std::to_string(text.size())) : text;
  if (got != code) {
    return testing::AssertionFailure() << shown << ": code " << got << ", expected " << code;
  }
  if (BigTempPool::Instance().Mark() != mark) {
    return testing::AssertionFailure() << shown << ": pool mark moved";
  }
  MpzValue zero;
  const testing::AssertionResult value = test::BigMatches(result, code == ExprOk ? expected : zero);
  return value ? value : testing::AssertionFailure() << shown << ": " << value.message();
}

struct Row {
  std::string text;
  int code;  // ExprOk: the value is literal, or ref's when literal is empty
  std::string literal;
  Ref ref;
};

Row V(std::string text, std::string value) { return {std::move(text), ExprOk, std::move(value), nullptr}; }
Row G(std::string text, Ref ref) { return {std::move(text), ExprOk, "", std::move(ref)}; }
Row E(std::string text, int code) { return {std::move(text), code, "", nullptr}; }
std::string Rep(size_t n, char c) { return std::string(n, c); }

constexpr unsigned long Cap = ExpressionValueBitsCap;
const std::string Top = Cat("2^", std::to_string(Cap - 1));

std::vector<Row> Rows() {
  std::vector<Row> rows = {
      V("2^127-1", "170141183460469231731687303715884105727"), V("2^3^2", "64"), V("2*(3+4)", "14"),
      V(" 7 ", "7"), V("\t7\t", "7"), V(" ( 2 ^ 3 ) * 1 ", "8"), V("10!", "3628800"), V("10!3", "280"),
      V("7#", "210"), V("7/2", "3"), V("0^0", "1"), V("0^7", "0"), V("1^4294967295", "1"),
      V("(0-1)^4294967295", "-1"), V("(0-1)^4294967294", "1"), V("1-5*2", "-9"), V("(1-8)/2", "-3"),
      V("(1-4)^3", "-27"), V("(1-4)^2", "9"), V("(2-5)*(3-7)", "12"), V("3-3", "0"), V("2+3*4^2", "50"),
      V("100-10-1", "89"), V("100/10/5", "2"), V("1-(2-3)", "2"), V("2*3!2", "6"), V("2^3!2", "8"),
      V("(3)!2", "3"), V("6!3", "18"), V("6!2", "48"), V("1!1", "1"), V("4294967295!4294967295", "4294967295"),
      V("4294967295!4294967294", "4294967295"), V("1!", "1"), V("5!+1", "121"), V("5#*2", "60"), V("2#", "2"),
      V("4#", "6"), V("0005", "5"), V("000", "0"), V("0003!", "6"), V("((((7))))", "7"),
      V("18446744073709551616-1", "18446744073709551615"), V("12345678901234567890123456789*0", "0"),
      V("99999999999999999999/99999999999", "1000000000"),
      V("4000000000!3000000000", "4000000000000000000"),
      E("", ExprBadFirstCharacter), E("-5", ExprBadFirstCharacter), E("+5", ExprBadFirstCharacter),
      E("!5", ExprBadFirstCharacter), E(")", ExprBadFirstCharacter), E("x", ExprBadFirstCharacter),
      E("\n5", ExprBadFirstCharacter), E("@5", ExprBadFirstCharacter), E("5+", ExprEndsAfterOperator),
      E("5*", ExprEndsAfterOperator), E("5!3^ \t", ExprEndsAfterOperator), E(" ", ExprEndsAfterOperator),
      E("\t\t", ExprEndsAfterOperator), E("(5", ExprUnbalanced), E("5)", ExprUnbalanced), E("(5))", ExprUnbalanced),
      E("((5)", ExprUnbalanced), E("(", ExprUnbalanced), E("5+(", ExprUnbalanced), E("5/0", ExprDivisionByZero),
      E("5/(3-3)", ExprDivisionByZero), E("(1-5)/0", ExprDivisionByZero), E("2^(2^32)", ExprBadExponent),
      E("2^(1-2)", ExprBadExponent), E("0^(1-2)", ExprBadExponent), E("1^(1-2)", ExprBadExponent),
      E("2^(0-4294967295)", ExprBadExponent), E("1#", ExprBadPrimorial), E("65522#", ExprBadPrimorial),
      E("4294967295#", ExprBadPrimorial), E("3!5", ExprBadMultifactorial), E("0!5", ExprBadMultifactorial),
      E("5!0", ExprBadMultifactorial), E("(1-5)!2", ExprBadMultifactorial), E("9999999999!3", ExprBadMultifactorial),
      E("5!4294967296", ExprBadMultifactorial), E("(2^32)!2", ExprBadMultifactorial),
      E("5!3!", ExprBadMultifactorial),  // postfix binds to the digit run: 5!(3!) = 5!6
      E("0!", ExprMissingOperand), E("4294967296!", ExprMissingOperand), E("0#", ExprMissingOperand),
      E("4294967296#", ExprMissingOperand), E("5 5", ExprBadToken), E("(5)(6)", ExprBadToken),
      E("5(6)", ExprBadToken), E("(5)6", ExprBadToken), E("5!!", ExprBadToken), E("5##", ExprBadToken),
      E("5#!", ExprBadToken), E("(5)!", ExprBadToken), E("(5)#", ExprBadToken), E("5!(2)", ExprBadToken),
      E("5 !", ExprBadToken), E("5 #", ExprBadToken), E("7#3", ExprBadToken), E("5+)", ExprBadToken),
      E("()", ExprBadToken), E("5++5", ExprBadToken), E("2^-1", ExprBadToken), E("2,5", ExprBadToken),
      E("2.5", ExprBadToken), E("5@3", ExprBadToken), E(std::string("5\0", 2), ExprBadToken), E("5\n", ExprBadToken),
      E("5\r", ExprBadToken), E("5x", ExprBadToken), E("5\xff", ExprBadToken), E("10!3 4", ExprBadToken),
      G("5!!3", [](mpz_ptr v) { mpz_mfac_uiui(v, 120, 3); }),
      G("10!3!2", [](mpz_ptr v) { mpz_mfac_uiui(v, 280, 2); }),
      // At and beyond the size caps: refused before any work, or computed.
      G(Top, [](mpz_ptr v) { mpz_ui_pow_ui(v, 2, Cap - 1); }),
      G(Top + "-1", [](mpz_ptr v) { mpz_ui_pow_ui(v, 2, Cap - 1), mpz_sub_ui(v, v, 1); }),
      G("3^2646000", [](mpz_ptr v) { mpz_ui_pow_ui(v, 3, 2646000); }),  // 4193811 bits
      G(Cat("2^", std::to_string(Cap / 2 - 1), "*2^", std::to_string(Cap / 2 - 1)),
        [](mpz_ptr v) { mpz_ui_pow_ui(v, 2, Cap - 2); }),  // a product by the sum of its operands' sizes
      G("200000!", [](mpz_ptr v) { mpz_fac_ui(v, 200000); }),
      G("4000000000!40000000", [](mpz_ptr v) { mpz_mfac_uiui(v, 4000000000ul, 40000000ul); }),
      G(Cat(Top, "-(", Top, "-(", Top, "-1))"), [](mpz_ptr v) { mpz_ui_pow_ui(v, 2, Cap - 1), mpz_sub_ui(v, v, 1); }),
      E(Cat("2^", std::to_string(Cap)), ExprFailed), E(Cat(Top, "+", Top), ExprFailed), E(Cat(Top, "*2"), ExprFailed),
      E("3^2647000", ExprFailed), E(Rep(1300000, '9'), ExprFailed), E("2^(2^31)", ExprFailed),
      E("2^2147483647", ExprFailed), E("2^4294967295", ExprFailed), E("9^999999999", ExprFailed),
      E("99999999!", ExprFailed), E("4294967295!", ExprFailed), E("4294967295!1", ExprFailed),
      E("4294967295!2", ExprFailed), E("(2^100000)^100000", ExprFailed), E("65521#^65521", ExprFailed),
      E("300000!", ExprFailed), E("(2^4000000)*(2^4000000)", ExprFailed), E("10!3^4294967295", ExprFailed),
      // Values waiting on the stack share one budget: 8 pending maximal values exceed it.
      E(Cat(Top, "-(", Top, "-(", Top, "-(", Top, "-(", Top, "-(", Top, "-(", Top, "-(", Top, "-1)))))))"),
        ExprFailed),
      V(Cat(Rep(5000000, '0'), "5"), "5"), E(Cat("1", Rep(1000000, ' '), "2"), ExprBadToken),
      E(Cat(Rep(1000000, '('), "1", Rep(999999, ')')), ExprUnbalanced),
  };
  for (unsigned long n : {1ul, 2ul, 3ul, 12ul, 13ul, 20ul, 21ul, 34ul, 35ul, 100ul, 300ul, 1000ul, 20000ul}) {
    rows.push_back(G(Cat(std::to_string(n), "!"), [n](mpz_ptr v) { mpz_fac_ui(v, n); }));
  }
  for (unsigned long n = 2; n <= 1000; n += n < 100 ? 1 : 37) {
    rows.push_back(G(Cat(std::to_string(n), "#"), [n](mpz_ptr v) { mpz_primorial_ui(v, n); }));
  }
  for (unsigned long n : {65519ul, 65520ul, 65521ul}) {
    rows.push_back(G(Cat(std::to_string(n), "#"), [n](mpz_ptr v) { mpz_primorial_ui(v, n); }));
  }
  // An operator inside 256 or more parentheses still waits for those outside.
  for (size_t depth : {1u, 255u, 256u, 257u, 1000u, 100000u}) {
    rows.push_back(V(Cat("2*", Rep(depth, '('), "3+4", Rep(depth, ')')), "14"));
    rows.push_back(E(Cat(Rep(depth, '('), "7", Rep(depth + 1, ')')), ExprUnbalanced));
    rows.push_back(E(Cat(Rep(depth + 1, '('), "7", Rep(depth, ')')), ExprUnbalanced));
  }
  std::string right = "1", left = Rep(1000, '(') + "1", flat = "0", literal(400000, '0');
  MpzValue r(1), l(1);
  for (int level = 0; level < 5000; ++level) {
    right = Cat(level % 2 == 0 ? "3-(" : "2*(", right, ")");
    level % 2 == 0 ? mpz_ui_sub(r, 3, r) : mpz_mul_ui(r, r, 2);
  }
  for (int level = 0; level < 1000; ++level) {
    left += Cat("+", std::to_string(level), ")*3");
    mpz_add_ui(l, l, static_cast<unsigned long>(level));
    mpz_mul_ui(l, l, 3);
  }
  for (int i = 0; i < 1000000; ++i) {
    flat += i % 3 == 2 ? "-1" : "+1";
  }
  test::BigRandom random;
  for (char& c : literal) {
    c = static_cast<char>('0' + random.Between(c == literal[0] ? 1 : 0, 9));
  }
  rows.push_back(G(right, [r](mpz_ptr v) { mpz_set(v, r); }));
  rows.push_back(G(left, [l](mpz_ptr v) { mpz_set(v, l); }));
  rows.push_back(V(flat, "333334"));
  rows.push_back(V(literal, literal));
  rows.push_back(V(Cat("(", literal, ")-1+1"), literal));
  for (int32_t round = 0; round < test::Rounds(100); ++round) {
    const int32_t a = random.Between(1, round < 70 ? 60 : 5000);
    const int32_t b = random.Between(1, a);
    rows.push_back(G(Cat(std::to_string(a), "!", std::to_string(b)), [a, b](mpz_ptr v) {
      mpz_mfac_uiui(v, static_cast<unsigned long>(a), static_cast<unsigned long>(b));
    }));
  }
  return rows;
}

TEST(ExpressionTest, TableOfValuesAndCodes) {
  for (const Row& row : Rows()) {
    MpzValue want;
    if (row.ref) {
      row.ref(want);
    } else if (!row.literal.empty()) {
      mpz_set_str(want, row.literal.c_str(), 10);
    }
    EXPECT_TRUE(Evaluates(row.text, row.code, want));
  }
}

// The handler confirms an abort at a poll beyond the text's characters, so
// inside the factor loops; nothing is left behind for the next evaluation.
TEST(ExpressionTest, AbortInsideTheFactorLoopsGivesFailed) {
  MpzValue want;
  mpz_fac_ui(want, 3000);
  mpz_mul_ui(want, want, 7);
  for (const auto& [text, at] : {std::pair{"100000!+1", 1000}, {"65521#", 100}, {"4000000000!4000000", 100}, {"", 0}}) {
    int calls = 0;
    SetPollHandler([&calls, at] {
      PollFlag = 1;
      if (++calls == at) {
        RequestAbort();
      }
    });
    PollFlag = 1;
    EXPECT_TRUE(at == 0 ? Evaluates(" 3000! * 7 ", ExprOk, want) : Evaluates(text, ExprFailed, want));
    EXPECT_TRUE(at == 0 ? calls >= 3000 : calls == at) << text << ": " << calls << " polls";  // once per factor
    test::ResetPolling();
  }
}

// Random trees of + - * / ^, n!, n# and a!b with blanks and redundant
// parentheses; the first error in evaluation order gives the expected code.
struct Node {
  std::string text;
  int precedence = 9;  // of the top operator; 9 for numbers and groups
  MpzValue value;
  int code = ExprOk;
};

Node Make(test::BigRandom& random, int depth, bool exponent = false) {
  auto blanks = [&random] { return std::string(random.Between(0, 5) / 3 + 0u, random.Coin() ? ' ' : '\t'); };
  Node out;
  const int kind = exponent ? 10 : depth == 0 ? random.Between(5, 9) : random.Between(0, 12);
  auto group = [&](const Node& n, bool needed) {
    return needed || random.Between(0, 5) == 0 ? Cat("(", blanks(), n.text, blanks(), ")") : n.text;
  };
  if (kind < 5) {
    const char op = "+-*/^"[kind];
    const Node left = Make(random, depth - 1);
    const Node right = Make(random, depth - 1, op == '^');
    out.precedence = op == '^' ? 3 : op == '*' || op == '/' ? 2 : 1;
    out.text = Cat(group(left, left.precedence < out.precedence), blanks(), std::string(1, op), blanks(),
                   group(right, right.precedence <= out.precedence));
    out.code = left.code != ExprOk ? left.code : right.code;
    if (out.code == ExprOk && op == '/' && mpz_sgn(right.value) == 0) {
      out.code = ExprDivisionByZero;
    } else if (out.code == ExprOk && op == '^' && mpz_sgn(right.value) < 0) {
      out.code = ExprBadExponent;
    } else if (out.code == ExprOk) {
      op == '+'   ? mpz_add(out.value, left.value, right.value)
      : op == '-' ? mpz_sub(out.value, left.value, right.value)
      : op == '*' ? mpz_mul(out.value, left.value, right.value)
      : op == '/' ? mpz_tdiv_q(out.value, left.value, right.value)
                  : mpz_pow_ui(out.value, left.value, mpz_get_ui(right.value));
    }
    return out;
  }
  const int a = random.Between(0, kind == 5 ? 25 : kind == 6 ? 60 : 30), b = random.Between(0, 35);
  if (kind == 5) {
    out.text = Cat(std::to_string(a), "!");
    a == 0 ? void(out.code = ExprMissingOperand) : mpz_fac_ui(out.value, static_cast<unsigned long>(a));
  } else if (kind == 6) {
    out.text = Cat(std::to_string(a), "#");
    out.code = a == 0 ? ExprMissingOperand : a == 1 ? ExprBadPrimorial : ExprOk;
    mpz_primorial_ui(out.value, static_cast<unsigned long>(a));
  } else if (kind == 7) {
    out.text = Cat(std::to_string(a), "!", std::to_string(b));
    out.code = a == 0 || b == 0 || a < b ? ExprBadMultifactorial : ExprOk;
    out.precedence = 4;
    if (out.code == ExprOk) {
      mpz_mfac_uiui(out.value, static_cast<unsigned long>(a), static_cast<unsigned long>(b));
    }
  } else if (kind == 10) {  // small exponents: 0..4, or a difference of two that may be negative
    const bool difference = random.Coin();
    out.text = difference ? Cat("(", std::to_string(a % 5), blanks(), "-", std::to_string(b % 5), ")")
                          : std::to_string(a % 5);
    mpz_set_si(out.value, difference ? a % 5 - b % 5 : a % 5);
  } else {
    for (int i = random.Between(0, 2) == 0 ? random.Between(1, 30) : random.Between(1, 2); i > 0; --i) {
      out.text += static_cast<char>('0' + random.Between(0, 9));
    }
    mpz_set_str(out.value, out.text.c_str(), 10);
  }
  return out;
}

TEST(ExpressionTest, RandomTreesAgreeWithGmp) {
  test::BigRandom random;
  int valid = 0;
  for (int32_t round = 0; round < test::Rounds(3000); ++round) {
    const Node node = Make(random, random.Between(1, 5));
    valid += node.code == ExprOk;
    EXPECT_TRUE(Evaluates(Cat(" ", node.text, "\t"), node.code, node.value));
  }
  EXPECT_GT(valid, test::Rounds(3000) / 2);  // or the comparison tests little
}

}  // namespace
}  // namespace karvo
