#pragma once

// The GMP side shared by the tests and benchmarks that compare with mpz: an
// mpz that clears itself, and the conversions between BigInt and mpz. The
// conversions go through bare word arrays and build the record field by
// field, so that they do not depend on the conversions under test.

#include <gmp.h>

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "arith/BigInt.h"

namespace karvo::test {

class MpzValue {
 public:
  MpzValue() { mpz_init(value_); }
  // Any integer: the signed ones through long, the unsigned through unsigned
  // long, which hold every value of both on the platforms we build for.
  template <std::integral T>
  explicit MpzValue(T v) {
    if constexpr (std::is_signed_v<T>) {
      mpz_init_set_si(value_, static_cast<long>(v));
    } else {
      mpz_init_set_ui(value_, static_cast<unsigned long>(v));
    }
  }
  explicit MpzValue(const char* decimal) { mpz_init_set_str(value_, decimal, 10); }
  MpzValue(const MpzValue& other) { mpz_init_set(value_, other.value_); }
  MpzValue& operator=(const MpzValue& other) {
    mpz_set(value_, other.value_);
    return *this;
  }
  ~MpzValue() { mpz_clear(value_); }

  mpz_ptr get() { return value_; }
  mpz_srcptr get() const { return value_; }
  operator mpz_ptr() { return value_; }
  operator mpz_srcptr() const { return value_; }
  // GMP's macros (mpz_sgn, mpz_odd_p) reach into the structure.
  mpz_ptr operator->() { return value_; }
  mpz_srcptr operator->() const { return value_; }

 private:
  mpz_t value_;
};

// The magnitude of v as words, least significant first, no zero top word.
inline std::vector<Word> MpzWords(mpz_srcptr v) {
  if (mpz_sgn(v) == 0) {
    return {};
  }
  std::vector<Word> words((mpz_sizeinbase(v, 2) + 31) / 32);
  size_t count = 0;
  mpz_export(words.data(), &count, -1, sizeof(Word), 0, 0, v);
  words.resize(count);
  return words;
}

// out := the value of the words (top zero words allowed), negated when sign is 1.
inline void MpzFromWords(mpz_ptr out, const std::vector<Word>& words, int sign) {
  if (words.empty()) {
    mpz_set_ui(out, 0);
    return;
  }
  mpz_import(out, words.size(), -1, sizeof(Word), 0, 0, words.data());
  if (sign != 0) {
    mpz_neg(out, out);
  }
}

// x := the value of the words, built field by field (BigGrow, then the words).
inline void BigFromWords(BigInt& x, const std::vector<Word>& words, int sign) {
  auto n = static_cast<int32_t>(words.size());
  while (n > 0 && words[static_cast<size_t>(n) - 1] == 0) {
    --n;
  }
  if (n > 0) {
    BigGrow(x, n);
    std::memcpy(x.Words, words.data(), static_cast<size_t>(n) * sizeof(Word));
  }
  x.Length = n;
  x.Sign = n > 0 ? sign : 0;
}

// out := x.
inline void MpzFromBig(mpz_ptr out, const BigInt& x) {
  if (x.Length <= 0 || x.Words == nullptr) {
    mpz_set_ui(out, 0);
    return;
  }
  mpz_import(out, static_cast<size_t>(x.Length), -1, sizeof(Word), 0, 0, x.Words);
  if (x.Sign != 0) {
    mpz_neg(out, out);
  }
}

// x := v.
inline void BigFromMpz(BigInt& x, mpz_srcptr v) { BigFromWords(x, MpzWords(v), mpz_sgn(v) < 0 ? 1 : 0); }

}  // namespace karvo::test
