#include "GmpBridge.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "base/Poll.h"
#include "support/TestEnv.h"

namespace karvo::test {

namespace {

class BigUnitEnvironment : public testing::Environment {
 public:
  void SetUp() override { BigStartup(); }
  void TearDown() override { BigShutdown(); }
};

[[maybe_unused]] testing::Environment* const bigUnitEnvironment =
    testing::AddGlobalTestEnvironment(new BigUnitEnvironment);

testing::AssertionResult PoolLeft(int32_t mark, testing::AssertionResult result) {
  BigTempPool& pool = BigTempPool::Instance();
  if (pool.Mark() == mark) {
    return result;
  }
  const int32_t left = pool.Mark();
  pool.Release(mark);
  return testing::AssertionFailure() << "pool mark " << left << ", was " << mark << "; " << result.message();
}

}  // namespace

std::string MpzShown(mpz_srcptr v) {
  std::string hex(mpz_sizeinbase(v, 16) + 2, '\0');
  mpz_get_str(hex.data(), 16, v);
  hex.resize(std::strlen(hex.c_str()));
  return hex.size() > 200 ? hex.substr(0, 90) + "..." + hex.substr(hex.size() - 90) : hex;
}

testing::AssertionResult BigMatches(const BigInt& x, mpz_srcptr expected) {
  const bool valid = x.Capacity >= 0 && x.Capacity % 8 == 0 && x.Length >= 0 && x.Length <= x.Capacity &&
                     (x.Capacity == 0 || x.Words != nullptr) && (x.Length == 0 || x.Words[x.Length - 1] != 0) &&
                     (x.Sign == 0 || x.Sign == 1) && (x.Length > 0 || x.Sign == 0);
  if (!valid) {
    return testing::AssertionFailure() << "invalid record: Length " << x.Length << ", Capacity " << x.Capacity
                                       << ", Sign " << x.Sign;
  }
  MpzValue got;
  MpzFromBig(got, x);
  if (mpz_cmp(got, expected) != 0) {
    return testing::AssertionFailure() << "expected " << MpzShown(expected) << ", got " << MpzShown(got);
  }
  return testing::AssertionSuccess();
}

BigRandom::BigRandom() {
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  const size_t hash = std::hash<std::string>{}(info ? std::string(info->test_suite_name()) + info->name() : "");
  std::seed_seq seq{static_cast<uint32_t>(TestSeed()), static_cast<uint32_t>(TestSeed() >> 32),
                    static_cast<uint32_t>(hash), static_cast<uint32_t>(hash >> 32)};
  engine_.seed(seq);
}

std::vector<Word> BigRandom::Words(int32_t count, Shape shape) {
  static constexpr Word special[] = {0, 1, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
  std::vector<Word> words(static_cast<size_t>(count));
  const int64_t bits = 32 * int64_t{count};
  switch (shape) {
    case Shape::Uniform:
      std::generate(words.begin(), words.end(), [this] { return NextWord(); });
      break;
    case Shape::Runs:  // alternating runs of ones and zeros, short or long, so carries ripple far
      for (int64_t bit = bits - 1, ones = 1; bit >= 0; ones ^= 1) {
        for (auto run = 1 + static_cast<int64_t>(engine_() % (Coin() ? 8 : 384)); run > 0 && bit >= 0; --run, --bit) {
          words[static_cast<size_t>(bit / 32)] |= static_cast<Word>(ones) << (bit % 32);
        }
      }
      break;
    case Shape::AllOnes:
      std::fill(words.begin(), words.end(), 0xFFFFFFFFu);
      break;
    case Shape::Sparse:
      for (int32_t k = Between(0, 3); k >= 0; --k) {
        const auto bit = static_cast<int64_t>(engine_() % static_cast<uint64_t>(bits));
        words[static_cast<size_t>(bit / 32)] |= Word{1} << (bit % 32);
      }
      break;
    case Shape::Halves:  // low half equal to the high half: zero cross differences in Karatsuba
      for (int32_t i = 0; i < count / 2; ++i) {
        words[static_cast<size_t>(i)] = words[static_cast<size_t>(count - count / 2 + i)] = NextWord();
      }
      break;
    case Shape::Special:
      std::generate(words.begin(), words.end(), [this] { return special[engine_() % 5]; });
      break;
  }
  if (words.back() == 0) {
    words.back() = shape == Shape::Sparse ? 0x80000000u : 1 + NextWord() % 0xFFFFFFFFu;
  }
  return words;
}

void BigRandom::Operand(BigInt& x, mpz_ptr ref, int32_t count, Shape shape, int sign) {
  const std::vector<Word> words = Words(count, shape);
  BigFromWords(x, words, sign);
  MpzFromWords(ref, words, sign);
}

std::vector<int32_t> ThresholdLengths() {
  return {1,   2,   3,   4,   5,   6,   7,   8,   9,   13,  14,  15,  27,  28,  29,  31,  32, 33,
          59,  60,  61,  63,  64,  65,  66,  135, 136, 137, 158, 167, 168, 169, 239, 240, 255,
          256, 269, 270, 335, 519, 520, 521, 639, 640, 641, 807, 808, 1005, 1006, 1151, 1152};
}

int32_t Rounds(int32_t base) { return base * TestMultiplier(); }

testing::AssertionResult RaisesInternalError(const std::function<void()>& action, const std::string& code) {
  const int32_t mark = BigTempPool::Instance().Mark();
  const std::string expected = "Internal error " + code;
  testing::AssertionResult result = testing::AssertionFailure() << "no exception, expected " << expected;
  try {
    action();
  } catch (const EKVAbort& abort) {
    result = testing::AssertionFailure() << "abort " << abort.what();
  } catch (const EKV& error) {
    result = expected == error.what() ? testing::AssertionSuccess()
                                      : testing::AssertionFailure() << error.what() << ", expected " << expected;
  }
  return PoolLeft(mark, result);
}

void ResetPolling() {
  ClearPollHandler();
  AbortRequested = InPoll = PollFlag = 0;
}

testing::AssertionResult AbortsAtPoll(const std::function<void()>& action, int32_t at) {
  const int32_t mark = BigTempPool::Instance().Mark();
  int32_t calls = 0;
  SetPollHandler([&calls, at] {
    if (++calls == at) {
      RequestAbort();
    } else {
      PollFlag = 1;
    }
  });
  PollFlag = 1;
  testing::AssertionResult result = testing::AssertionSuccess();
  try {
    action();
    result = testing::AssertionFailure() << "no abort at poll " << at << " (" << calls << " polls)";
  } catch (const EKVAbort&) {
  }
  ResetPolling();
  return PoolLeft(mark, result);
}

}  // namespace karvo::test
