#pragma once

// What the expression tests share: one evaluation with its code and value,
// and the check of a value against GMP.

#include <gmp.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "GmpBridge.h"
#include "arith/BigInt.h"
#include "arith/Expression.h"

namespace karvo::test {

struct Evaluation {
  int code = 0;
  BigInt value;
};

inline Evaluation Evaluate(std::string_view text) {
  Evaluation out;
  BigSetInt(out.value, 12345);  // must be replaced by zero on any failure
  out.code = EvaluateExpression(out.value, text);
  return out;
}

// Code 0 and the reference value.
inline testing::AssertionResult EvaluatesTo(std::string_view text, mpz_srcptr expected) {
  const Evaluation e = Evaluate(text);
  if (e.code != ExprOk) {
    return testing::AssertionFailure() << "code " << e.code << ", expected a value of "
                                       << mpz_sizeinbase(expected, 2) << " bits";
  }
  return BigMatches(e.value, expected);
}

// The error code, with the result left at zero.
inline testing::AssertionResult FailsWith(std::string_view text, int code) {
  const Evaluation e = Evaluate(text);
  if (e.code != code) {
    return testing::AssertionFailure() << "code " << e.code << ", expected " << code;
  }
  if (!BigIsZero(e.value) || !BigIsValid(e.value)) {
    return testing::AssertionFailure() << "result not zero: " << BigDescribe(e.value);
  }
  return testing::AssertionSuccess();
}

// Text of at most a few hundred characters for traces; long ones shortened.
inline std::string Shown(std::string_view text) {
  if (text.size() <= 200) {
    return std::string(text);
  }
  return std::string(text.substr(0, 100)) + "…(" + std::to_string(text.size()) + " characters)";
}

}  // namespace karvo::test
