#include "GmpBridge.h"

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <tuple>

#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "support/TestEnv.h"

namespace karvo::test {

namespace {

// The unit's start-up and shutdown around the whole arith test program, as
// the programs do around a run.
class BigUnitEnvironment : public testing::Environment {
 public:
  void SetUp() override { BigStartup(); }
  void TearDown() override { BigShutdown(); }
};

[[maybe_unused]] testing::Environment* const bigUnitEnvironment =
    testing::AddGlobalTestEnvironment(new BigUnitEnvironment);

}  // namespace

std::string MpzHex(mpz_srcptr v) {
  char* text = mpz_get_str(nullptr, 16, v);
  std::string result(text);
  void (*release)(void*, size_t) = nullptr;
  mp_get_memory_functions(nullptr, nullptr, &release);
  release(text, std::strlen(text) + 1);
  return result;
}

std::string MpzShown(mpz_srcptr v) {
  MpzValue magnitude;
  mpz_abs(magnitude, v);
  std::string hex = MpzHex(magnitude);
  if (hex.size() > 200) {
    hex = hex.substr(0, 90) + "..." + hex.substr(hex.size() - 90);
  }
  return (mpz_sgn(v) < 0 ? "-0x" : "0x") + hex;
}

std::string BigDescribe(const BigInt& x) {
  std::ostringstream out;
  out << "{Length " << x.Length << ", Capacity " << x.Capacity << ", Sign " << x.Sign;
  if (x.Length > 0 && x.Words != nullptr && x.Length <= x.Capacity) {
    MpzValue value;
    MpzFromBig(value, x);
    out << ", value " << MpzShown(value);
  }
  out << "}";
  return out.str();
}

testing::AssertionResult BigIsValid(const BigInt& x) {
  auto bad = [&x](const char* why) {
    return testing::AssertionFailure() << why << ": " << BigDescribe(x);
  };
  if (x.Capacity < 0 || x.Capacity % 8 != 0) {
    return bad("Capacity not a multiple of 8");
  }
  if (x.Length < 0 || x.Length > x.Capacity) {
    return bad("Length outside 0..Capacity");
  }
  if (x.Capacity > 0 && x.Words == nullptr) {
    return bad("Capacity without words");
  }
  if (x.Length > 0 && x.Words[x.Length - 1] == 0) {
    return bad("zero top word");
  }
  if (x.Sign != 0 && x.Sign != 1) {
    return bad("Sign not 0 or 1");
  }
  if (x.Length == 0 && x.Sign != 0) {
    return bad("negative zero");
  }
  return testing::AssertionSuccess();
}

testing::AssertionResult BigMatches(const BigInt& x, mpz_srcptr expected) {
  testing::AssertionResult valid = BigIsValid(x);
  if (!valid) {
    return valid;
  }
  MpzValue got;
  MpzFromBig(got, x);
  if (mpz_cmp(got, expected) != 0) {
    return testing::AssertionFailure() << "expected " << MpzShown(expected) << " (" << mpz_sizeinbase(expected, 2)
                                       << " bits), got " << MpzShown(got) << " " << BigDescribe(x);
  }
  return testing::AssertionSuccess();
}

testing::AssertionResult BigMatchesRecord(const BigInt& x, const BigInt& expected) {
  MpzValue want;
  MpzFromBig(want, expected);
  return BigMatches(x, want);
}

const char* ShapeName(Shape shape) {
  switch (shape) {
    case Shape::Uniform:
      return "uniform";
    case Shape::Runs:
      return "runs";
    case Shape::AllOnes:
      return "all-ones";
    case Shape::Halves:
      return "halves";
    case Shape::Special:
      return "special";
  }
  return "?";
}

BigRandom::BigRandom() {
  // FNV-1a of the test's full name, mixed into the run's seed.
  uint64_t hash = 1469598103934665603ull;
  if (const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info()) {
    for (const char* text : {info->test_suite_name(), ".", info->name()}) {
      for (const char* p = text; *p != '\0'; ++p) {
        hash = (hash ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
      }
    }
  }
  std::seed_seq seq{static_cast<uint32_t>(TestSeed()), static_cast<uint32_t>(TestSeed() >> 32),
                    static_cast<uint32_t>(hash), static_cast<uint32_t>(hash >> 32)};
  engine_.seed(seq);
}

int32_t BigRandom::Between(int32_t lo, int32_t hi) {
  return std::uniform_int_distribution<int32_t>(lo, hi)(engine_);
}

std::vector<Word> BigRandom::Words(int32_t count, Shape shape) {
  static constexpr Word special[] = {0, 1, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
  std::vector<Word> words(static_cast<size_t>(count));
  if (count == 0) {
    return words;
  }
  switch (shape) {
    case Shape::Uniform:
      for (Word& w : words) {
        w = NextWord();
      }
      break;
    case Shape::Runs: {
      // From the top bit down, alternating runs of ones and zeros; runs are
      // short or long at random, so carries ripple across many words.
      const int64_t bits = 32 * static_cast<int64_t>(count);
      int64_t bit = bits - 1;
      bool ones = true;
      while (bit >= 0) {
        const int64_t limit = Coin() ? 8 : 32 * 12;
        int64_t run = 1 + static_cast<int64_t>(engine_() % static_cast<uint64_t>(limit));
        for (; run > 0 && bit >= 0; --run, --bit) {
          if (ones) {
            words[static_cast<size_t>(bit / 32)] |= Word{1} << (bit % 32);
          }
        }
        ones = !ones;
      }
      break;
    }
    case Shape::AllOnes:
      for (Word& w : words) {
        w = 0xFFFFFFFFu;
      }
      break;
    case Shape::Halves: {
      // a = a0 + a1·B^l with l = count - count/2 words below and a0 = a1.
      const int32_t high = count / 2;
      const int32_t low = count - high;
      for (int32_t i = 0; i < high; ++i) {
        const Word w = NextWord();
        words[static_cast<size_t>(i)] = w;
        words[static_cast<size_t>(low + i)] = w;
      }
      if (count == 1) {
        words[0] = NextWord();
      }
      break;
    }
    case Shape::Special:
      for (Word& w : words) {
        w = special[engine_() % 5];
      }
      break;
  }
  Word& top = words.back();
  while (top == 0) {
    top = shape == Shape::Special ? special[1 + engine_() % 4] : NextWord();
    if (shape == Shape::Halves && count > 1) {
      words[static_cast<size_t>(count / 2 - 1)] = top;
    }
  }
  return words;
}

void BigRandom::Operand(BigInt& x, mpz_ptr ref, int32_t count, Shape shape, int sign) {
  const std::vector<Word> words = Words(count, shape);
  BigFromWords(x, words, sign);
  MpzFromWords(ref, words, x.Sign);
}

void BigRandom::SignedOperand(BigInt& x, mpz_ptr ref, int32_t count, Shape shape) {
  Operand(x, ref, count, shape, Coin() ? 1 : 0);
}

std::vector<int32_t> TestLengths(int32_t upTo) {
  std::vector<int32_t> lengths;
  for (int32_t round = 0; round < TestMultiplier(); ++round) {
    for (int32_t n = 1; n <= upTo; ++n) {
      lengths.push_back(n);
    }
  }
  return lengths;
}

std::vector<int32_t> LargeLengths() {
  return {383, 384, 385, 447, 448, 449, 587, 588, 589, 590, 671, 672, 673, 1000, 1024, 1025, 2048, 4096};
}

const char* AliasName(Alias alias) {
  switch (alias) {
    case Alias::None:
      return "z, x, y distinct";
    case Alias::ZisX:
      return "z is x";
    case Alias::ZisY:
      return "z is y";
    case Alias::XisY:
      return "x is y";
    case Alias::All:
      return "z, x, y one record";
  }
  return "?";
}

testing::AssertionResult CheckBinary(const BinaryForm& form, const std::vector<Word>& x, int xSign,
                                     const std::vector<Word>& y, int ySign) {
  BigInt a;
  BigInt b;
  BigInt c;
  BigFromWords(a, x, xSign);
  BigFromWords(b, y, ySign);
  // A stale value in a separate destination must not leak into the result.
  BigFromWords(c, {0xDEADBEEFu, 0x12345678u, 0x9ABCDEF0u}, 1);
  MpzValue xRef;
  MpzValue yRef;
  MpzFromBig(xRef, a);
  const bool sameOperands = form.alias == Alias::XisY || form.alias == Alias::All;
  MpzFromBig(yRef, sameOperands ? a : b);
  BigInt* z = &c;
  BigInt* px = &a;
  BigInt* py = &b;
  switch (form.alias) {
    case Alias::None:
      break;
    case Alias::ZisX:
      z = &a;
      break;
    case Alias::ZisY:
      z = &b;
      break;
    case Alias::XisY:
      py = &a;
      break;
    case Alias::All:
      z = &a;
      py = &a;
      break;
  }
  MpzValue expected;
  form.reference(expected, xRef, yRef);
  form.run(*z, *px, *py);
  testing::AssertionResult result = BigMatches(*z, expected);
  if (!result) {
    return testing::AssertionFailure() << form.name << " (" << AliasName(form.alias) << ") of x = "
                                       << MpzShown(xRef) << ", y = " << MpzShown(yRef) << ": "
                                       << result.message();
  }
  for (const auto& [record, ref, label] : {std::tuple<BigInt*, mpz_srcptr, const char*>{px, xRef, "x"},
                                           std::tuple<BigInt*, mpz_srcptr, const char*>{py, yRef, "y"}}) {
    if (record != z && !BigMatches(*record, ref)) {
      return testing::AssertionFailure() << form.name << " (" << AliasName(form.alias) << ") changed operand "
                                         << label << ": " << BigMatches(*record, ref).message();
    }
  }
  return testing::AssertionSuccess();
}

int32_t Rounds(int32_t base) { return base * TestMultiplier(); }

testing::AssertionResult RaisesInternalError(const std::function<void()>& action, const std::string& code) {
  BigTempPool& pool = BigTempPool::Instance();
  const int32_t mark = pool.Mark();
  const std::string expected = "Internal error " + code;
  testing::AssertionResult result = testing::AssertionFailure() << "no exception, expected " << expected;
  try {
    action();
  } catch (const EKVAbort& abort) {
    result = testing::AssertionFailure() << "abort \"" << abort.what() << "\", expected " << expected;
  } catch (const EKV& error) {
    if (expected == error.what()) {
      result = testing::AssertionSuccess();
    } else {
      result = testing::AssertionFailure() << "\"" << error.what() << "\", expected " << expected;
    }
  } catch (const std::exception& other) {
    result = testing::AssertionFailure() << "foreign exception \"" << other.what() << "\", expected " << expected;
  }
  if (pool.Mark() != mark) {
    const int32_t left = pool.Mark();
    pool.Release(mark);
    return testing::AssertionFailure() << "pool mark " << left << " after the error, was " << mark;
  }
  return result;
}

}  // namespace karvo::test
