#pragma once

// Candidates written as expressions, such as 2^127-1 or 10!3+1: decimal
// numbers, + - * / and ^ (all left to right: 2^3^2 is 64), the factorial n!,
// the primorial n#, the multifactorial a!b = a·(a-b)·(a-2b)·…, parentheses,
// and TAB or space between tokens. No unary minus.

#include <cstdint>
#include <string_view>

#include "arith/BigInt.h"

namespace karvo {

// What EvaluateExpression returns. Users see the numbers ("Error in
// expression, code = %d"), so they never change.
enum ExpressionCode : int {
  ExprOk = 0,
  // Evaluation stopped: the abort, memory exhaustion, an internal error, or a
  // value beyond the size caps below.
  ExprFailed = -1,
  ExprBadFirstCharacter = 1,  // not TAB, space, "(" or a digit; also empty text
  ExprBadToken = 2,           // a character not allowed, or a token out of place
  ExprEndsAfterOperator = 3,  // the text ends where an operand is due
  ExprMissingOperand = 4,     // also n! or n# of zero or of more than one word
  ExprUnbalanced = 5,         // parentheses
  ExprDivisionByZero = 10,
  ExprBadExponent = 11,       // more than one word, or negative
  ExprBadPrimorial = 12,      // n# with n < 2 or n > 65521
  ExprBadMultifactorial = 14  // a!b unless 0 < b <= a < 2^32
};

// Candidates have at most 131072 bits. No value of an expression may exceed
// 2^22 bits (32 times that), estimated before it is computed: anything larger
// cannot lead to a candidate worth having, yet a few characters (9^999999999,
// 99999999!) could otherwise ask for gigabytes and hours. Within the cap a
// power, product or factorial takes well under a second; dividing a 2^22-bit
// value by one of half its size takes longer (the division is quadratic) but
// polls at every quotient word.
inline constexpr int32_t ExpressionValueBitsCap = int32_t{1} << 22;
// The values waiting on the stack together (with the one about to be made)
// stay below 2^24 bits (2 MiB), so that deep nesting cannot pile up values
// that are each within the cap.
inline constexpr int64_t ExpressionHeldBitsCap = int64_t{1} << 24;

// Sets result to zero, then to the value of the text when the code is ExprOk.
// Never raises: the text may come from an untrusted certificate. Polls for
// the user's abort at every character and every factor of n!, a!b and n#.
int EvaluateExpression(BigInt& result, std::string_view text);

}  // namespace karvo
