#include "arith/Expression.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "arith/SmallPrimes.h"
#include "base/Poll.h"

namespace karvo {

namespace {

// Operator codes as kept on the operator stack.
enum : uint8_t { OpAdd = 1, OpSub = 2, OpMul = 3, OpDiv = 4, OpPower = 5, OpMultifactorial = 6 };

// "!" before a digit becomes this character before parsing, so that the
// parser tells the binary a!b from the postfix n! by one character.
constexpr char MultifactorialChar = '@';
// Stands for characters refused wherever they appear: a typed "@", which
// would otherwise pass for the multifactorial, and an embedded NUL, which
// would otherwise end the text early.
constexpr char RefusedChar = '?';

constexpr double Log2Of10 = 3.321928094887362347870319429489;

// Factors per leaf of a product tree; above this, balanced multiplications
// beat adding one word at a time to an ever longer product.
constexpr uint64_t LeafFactors = 32;
// Digit runs longer than this are split, since BigFromString is quadratic.
constexpr size_t DirectDigits = 9 * 1024;

struct TOperator {
  int64_t depth;  // wide: 2^31 "(" cannot wrap it
  uint8_t code;
  uint8_t precedence;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Code and precedence of a binary operator character, code 0 for others.
TOperator OperatorOf(char c) {
  switch (c) {
    case '+':
      return {0, OpAdd, 1};
    case '-':
      return {0, OpSub, 1};
    case '*':
      return {0, OpMul, 2};
    case '/':
      return {0, OpDiv, 2};
    case '^':
      return {0, OpPower, 3};
    case MultifactorialChar:
      return {0, OpMultifactorial, 4};
    default:
      return {0, 0, 0};
  }
}

// The previous significant character allows a number or "(" next.
bool AwaitsOperand(char previous) {
  return previous == 0 || previous == '(' || OperatorOf(previous).code != 0;
}

// The previous significant character closes an operand: an operator, ")" or
// the end may follow.
bool ClosesOperand(char previous) {
  return IsDigit(previous) || previous == '!' || previous == '#' || previous == ')';
}

bool IsOneWordPositive(const BigInt& x) { return x.Length == 1 && x.Sign == 0; }

// log2 |x| for x ≠ 0, from its top 32 bits: relative error below 2^-31.
double Log2Abs(const BigInt& x) {
  const int32_t bits = BigBitSize(x);
  if (bits <= 32) {
    return std::log2(static_cast<double>(x.Words[0]));
  }
  return std::log2(static_cast<double>(BigBitField(x, bits - 32, 32))) + (bits - 32);
}

// An upper bound on the bits of a product of count factors, none above largest.
double ProductBits(uint64_t count, Word largest) {
  return static_cast<double>(count) * std::log2(static_cast<double>(largest)) + 1;
}

// out := factor(first)·…·factor(first + count - 1), count ≥ 1, multiplied as a
// balanced tree; polls at every factor.
template <typename Factor>
void ProductTree(BigInt& out, uint64_t first, uint64_t count, const Factor& factor) {
  if (count <= LeafFactors) {
    BigSetOne(out);
    for (uint64_t i = first; i < first + count; ++i) {
      CheckPoll();
      BigMulWord(out, factor(i));
    }
    return;
  }
  const uint64_t half = count / 2;
  BigInt upper;
  ProductTree(out, first, half, factor);
  ProductTree(upper, first + half, count - half, factor);
  BigMul(out, upper);
}

// x := the value of a run of decimal digits without leading zeros.
void DecimalToBig(BigInt& x, std::string_view digits) {
  if (digits.size() <= DirectDigits) {
    BigFromString(x, digits, 10);
    return;
  }
  const size_t low = digits.size() / 2;
  DecimalToBig(x, digits.substr(0, digits.size() - low));
  BigInt part;
  BigSetPower(part, 10, static_cast<Word>(low));
  BigMul(x, part);
  DecimalToBig(part, digits.substr(digits.size() - low));
  BigAdd(x, part);
}

// The operator-precedence parser with its two stacks. Every method returns an
// ExpressionCode; exceptions pass to EvaluateExpression.
class TExpressionEvaluator {
 public:
  explicit TExpressionEvaluator(std::string_view text);
  int Run(BigInt& result);

 private:
  int ReadNumber();
  int ApplyFactorial(BigInt& v);
  int ApplyPrimorial(BigInt& v);
  int ApplyTop();
  int Combine(uint8_t code, BigInt& a, const BigInt& b);
  int ApplyPower(BigInt& a, const BigInt& b);
  int ApplyMultifactorial(BigInt& a, const BigInt& b);
  // v := a·(a-step)·(a-2·step)·… down to the last positive factor.
  int Progression(BigInt& v, Word a, Word step);
  // Whether a new value of about bits bits may be made now.
  bool Admits(double bits) const;

  std::string text_;  // prepared, with a terminating NUL
  size_t at_ = 0;
  int64_t depth_ = 0;
  char previous_ = 0;  // the previous significant character
  std::vector<TOperator> operators_;
  std::vector<BigInt> values_;
  int64_t heldBits_ = 0;  // bits of the values on the stack
};

TExpressionEvaluator::TExpressionEvaluator(std::string_view text) : text_(text) {
  for (size_t i = 0; i < text_.size(); ++i) {
    char& c = text_[i];
    if (c == '!' && i + 1 < text_.size() && IsDigit(text_[i + 1])) {
      c = MultifactorialChar;
    } else if (c == MultifactorialChar || c == 0) {
      c = RefusedChar;
    }
  }
  text_ += '\0';
}

bool TExpressionEvaluator::Admits(double bits) const {
  return bits <= ExpressionValueBitsCap && static_cast<double>(heldBits_) + bits <= ExpressionHeldBitsCap;
}

int TExpressionEvaluator::Run(BigInt& result) {
  const char first = text_[0];
  if (first != '\t' && first != ' ' && first != '(' && !IsDigit(first)) {
    return ExprBadFirstCharacter;
  }
  for (;;) {
    CheckPoll();
    const char c = text_[at_];
    if (c == '\t' || c == ' ') {
      ++at_;
      continue;
    }
    if (IsDigit(c)) {
      if (!AwaitsOperand(previous_)) {
        return ExprBadToken;
      }
      if (const int code = ReadNumber(); code != ExprOk) {
        return code;
      }
      continue;
    }
    if (c == '(') {
      if (!AwaitsOperand(previous_)) {
        return ExprBadToken;
      }
      ++depth_;
    } else if (c == ')') {
      if (!ClosesOperand(previous_)) {
        return ExprBadToken;
      }
      if (--depth_ < 0) {
        return ExprUnbalanced;
      }
    } else if (TOperator op = OperatorOf(c); op.code != 0) {
      if (!ClosesOperand(previous_)) {
        return ExprBadToken;
      }
      while (!operators_.empty() &&
             (operators_.back().depth > depth_ ||
              (operators_.back().depth == depth_ && operators_.back().precedence >= op.precedence))) {
        if (const int code = ApplyTop(); code != ExprOk) {
          return code;
        }
      }
      op.depth = depth_;
      operators_.push_back(op);
    } else if (c == 0) {
      break;
    } else {
      return ExprBadToken;
    }
    previous_ = c;
    ++at_;
  }
  if (depth_ != 0) {
    return ExprUnbalanced;
  }
  if (!ClosesOperand(previous_)) {
    return ExprEndsAfterOperator;
  }
  while (!operators_.empty()) {
    if (const int code = ApplyTop(); code != ExprOk) {
      return code;
    }
  }
  if (values_.size() != 1) {
    return ExprMissingOperand;
  }
  BigSwap(result, values_.back());
  return ExprOk;
}

// A digit run and the "!" or "#" right after it.
int TExpressionEvaluator::ReadNumber() {
  size_t end = at_;
  while (IsDigit(text_[end])) {
    ++end;
  }
  std::string_view digits(text_.data() + at_, end - at_);
  digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
  if (!Admits(static_cast<double>(digits.size()) * Log2Of10 + 1)) {
    return ExprFailed;
  }
  BigInt v;
  DecimalToBig(v, digits);
  previous_ = text_[end - 1];
  at_ = end;
  const char postfix = text_[at_];
  if (postfix == '!' || postfix == '#') {
    const int code = postfix == '!' ? ApplyFactorial(v) : ApplyPrimorial(v);
    if (code != ExprOk) {
      return code;
    }
    previous_ = postfix;
    ++at_;
  }
  heldBits_ += BigBitSize(v);
  values_.push_back(std::move(v));
  return ExprOk;
}

int TExpressionEvaluator::ApplyFactorial(BigInt& v) {
  if (!IsOneWordPositive(v)) {
    return ExprMissingOperand;
  }
  return Progression(v, v.Words[0], 1);
}

// The prime table ends at 65521: beyond it the product would silently miss
// primes, so such arguments are refused.
int TExpressionEvaluator::ApplyPrimorial(BigInt& v) {
  if (!IsOneWordPositive(v)) {
    return ExprMissingOperand;
  }
  const Word n = v.Words[0];
  if (n < 2 || n > LargestSmallPrime) {
    return ExprBadPrimorial;
  }
  const auto primes = SmallPrimes.begin() + 1;
  const auto count = static_cast<uint64_t>(std::upper_bound(primes, SmallPrimes.end(), n) - primes);
  if (!Admits(ProductBits(count, n))) {
    return ExprFailed;
  }
  ProductTree(v, 0, count, [](uint64_t i) { return SmallPrimes[i + 1]; });
  return ExprOk;
}

int TExpressionEvaluator::Progression(BigInt& v, Word a, Word step) {
  const uint64_t count = (a - 1) / step + 1;
  if (!Admits(ProductBits(count, a))) {
    return ExprFailed;
  }
  ProductTree(v, 0, count, [a, step](uint64_t i) { return static_cast<Word>(a - i * step); });
  return ExprOk;
}

// a := a op b for the top operator, with a the value below the top.
int TExpressionEvaluator::ApplyTop() {
  const uint8_t code = operators_.back().code;
  operators_.pop_back();
  if (values_.size() < 2) {
    return ExprMissingOperand;
  }
  BigInt& a = values_[values_.size() - 2];
  const BigInt& b = values_.back();
  heldBits_ -= BigBitSize(a) + BigBitSize(b);
  if (const int result = Combine(code, a, b); result != ExprOk) {
    return result;
  }
  heldBits_ += BigBitSize(a);
  values_.pop_back();
  return ExprOk;
}

int TExpressionEvaluator::Combine(uint8_t code, BigInt& a, const BigInt& b) {
  switch (code) {
    case OpAdd:
    case OpSub:
      // At most one bit longer than the longer operand: judged by its size.
      if (code == OpAdd) {
        BigAdd(a, b);
      } else {
        BigSub(a, b);
      }
      return Admits(BigBitSize(a)) ? ExprOk : ExprFailed;
    case OpMul:
      if (!Admits(static_cast<double>(BigBitSize(a)) + BigBitSize(b))) {
        return ExprFailed;
      }
      BigMul(a, b);
      return ExprOk;
    case OpDiv:
      if (BigIsZero(b)) {
        return ExprDivisionByZero;
      }
      BigDiv(a, b);
      return ExprOk;
    case OpPower:
      return ApplyPower(a, b);
    default:
      return ApplyMultifactorial(a, b);
  }
}

// A negative exponent is refused rather than read as a reciprocal or as its
// magnitude: either would give a value the text does not say.
int TExpressionEvaluator::ApplyPower(BigInt& a, const BigInt& b) {
  if (BigIsZero(b)) {
    BigSetOne(a);
    return ExprOk;
  }
  if (!IsOneWordPositive(b)) {
    return ExprBadExponent;
  }
  const Word e = b.Words[0];
  // |a| ≤ 1 gives 0, 1 or -1 whatever e.
  if (BigBitSize(a) > 1 && !Admits(static_cast<double>(e) * Log2Abs(a) + 1)) {
    return ExprFailed;
  }
  BigPower(a, e);
  return ExprOk;
}

int TExpressionEvaluator::ApplyMultifactorial(BigInt& a, const BigInt& b) {
  if (!IsOneWordPositive(a) || !IsOneWordPositive(b) || a.Words[0] < b.Words[0]) {
    return ExprBadMultifactorial;
  }
  return Progression(a, a.Words[0], b.Words[0]);
}

}  // namespace

int EvaluateExpression(BigInt& result, std::string_view text) {
  BigSetZero(result);
  try {
    TExpressionEvaluator evaluator(text);
    return evaluator.Run(result);
  } catch (...) {
    // The abort, memory exhaustion and internal errors alike: the caller
    // reports the code, and the stacks are freed by their destructors.
    return ExprFailed;
  }
}

}  // namespace karvo
