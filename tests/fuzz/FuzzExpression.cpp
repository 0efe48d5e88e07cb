// EvaluateExpression on arbitrary bytes, as the verifier meets a
// certificate's "Expression". It must never crash, leak or raise; a value
// must be a well-formed record within the size cap; and the code and value
// must not change when the text is put in parentheses (for a value) or gets
// a trailing blank (for an error).

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "arith/BigInt.h"
#include "arith/Expression.h"

namespace {

using karvo::BigInt;

// Within the caps one step takes at most seconds, but a few kilobytes of text
// can chain thousands of them. The user's abort ends such a run in the
// program; here a poll handler stands in for the user after a time budget,
// which also keeps the abort path under the fuzzer. The budget is short so
// that the fuzzer spends its time on many texts, not on a few big values.
constexpr auto Budget = std::chrono::milliseconds(500);

void Expect(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz_expression: %s\n", what);
    std::abort();
  }
}

bool WellFormed(const BigInt& x) {
  if (x.Capacity < 0 || x.Capacity % 8 != 0 || x.Length < 0 || x.Length > x.Capacity) {
    return false;
  }
  if (x.Sign != 0 && x.Sign != 1) {
    return false;
  }
  if (x.Length == 0) {
    return x.Sign == 0;
  }
  return x.Words != nullptr && x.Words[x.Length - 1] != 0;
}

struct Outcome {
  int code = 0;
  BigInt value;
};

// Evaluates with every poll reaching the handler, which confirms an abort
// once the budget is spent.
Outcome Evaluate(std::string_view text) {
  const karvo::fuzz::AbortAfter abort(Budget);
  Outcome out;
  out.code = karvo::EvaluateExpression(out.value, text);
  return out;
}

bool SameOutcome(const Outcome& a, const Outcome& b) {
  return a.code == b.code && karvo::BigEqual(a.value, b.value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Outcome first = Evaluate(text);
  Expect(WellFormed(first.value), "malformed result");
  if (first.code == karvo::ExprFailed) {
    Expect(karvo::BigIsZero(first.value), "result not zero after -1");
    return 0;  // possibly the budget: nothing to compare
  }
  if (first.code != karvo::ExprOk) {
    Expect(karvo::BigIsZero(first.value), "result not zero after an error");
    if (!text.empty()) {
      const Outcome blank = Evaluate(text + " ");
      Expect(blank.code == karvo::ExprFailed || SameOutcome(first, blank), "trailing blank changed the code");
    }
    return 0;
  }
  Expect(karvo::BigBitSize(first.value) <= karvo::ExpressionValueBitsCap, "value beyond the cap");
  const Outcome grouped = Evaluate("(" + text + ")");
  Expect(grouped.code == karvo::ExprFailed || SameOutcome(first, grouped), "parentheses changed the value");
  return 0;
}
