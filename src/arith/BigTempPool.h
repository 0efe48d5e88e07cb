#pragma once

// The pool of temporaries: records handed out by mark and given back by
// restoring it, so that inner loops reuse storage instead of allocating.
// Use it through BigTemps, whose destructor restores the mark on every exit,
// the abort exception included.

#include <cstdint>
#include <memory>
#include <vector>

#include "arith/BigInt.h"

namespace karvo {

class BigTempPool {
 public:
  // Hands out count zeroed records (their words kept) and returns the old mark.
  int32_t Take(int32_t count);
  void Release(int32_t mark);
  BigInt& At(int32_t index) { return *records_[static_cast<size_t>(index)]; }
  int32_t Mark() const { return mark_; }
  // Frees the word arrays of the records above the mark.
  void Trim();

  static BigTempPool& Instance();

 private:
  std::vector<std::unique_ptr<BigInt>> records_;
  int32_t mark_ = 0;
};

// count temporaries for one scope: BigTemps t(3); BigInt& a = t[0];
class BigTemps {
 public:
  explicit BigTemps(int32_t count);
  ~BigTemps();
  BigTemps(const BigTemps&) = delete;
  BigTemps& operator=(const BigTemps&) = delete;

  BigInt& operator[](int32_t i);

 private:
  int32_t mark_;
  [[maybe_unused]] int32_t count_;  // checked in the sanitizer build
#ifdef KARVO_SANITIZE
  // Each temporary is its own allocation here, so overruns are not hidden
  // inside a reused arena.
  std::vector<std::unique_ptr<BigInt>> own_;
#endif
};

}  // namespace karvo
