#include "arith/BigTempPool.h"

#include <cstdio>
#include <cstdlib>

namespace karvo {

BigTempPool& BigTempPool::Instance() {
  static BigTempPool pool;
  return pool;
}

int32_t BigTempPool::Take(int32_t count) {
  const int32_t mark = mark_;
  const auto needed = static_cast<size_t>(mark_ + count);
  if (needed > records_.size()) {
    const size_t grown = (records_.size() + static_cast<size_t>(count) + 31) & ~size_t{31};
    while (records_.size() < grown) {
      records_.push_back(std::make_unique<BigInt>());
    }
  }
  for (int32_t i = mark_; i < mark_ + count; ++i) {
    BigSetZero(At(i));
  }
  mark_ += count;
  return mark;
}

void BigTempPool::Release(int32_t mark) { mark_ = mark; }

void BigTempPool::Trim() {
  for (size_t i = static_cast<size_t>(mark_); i < records_.size(); ++i) {
    BigClear(*records_[i]);
  }
}

BigTemps::BigTemps(int32_t count)
    : mark_(BigTempPool::Instance().Take(count)), count_(count) {
#ifdef KARVO_SANITIZE
  for (int32_t i = 0; i < count; ++i) {
    own_.push_back(std::make_unique<BigInt>());
  }
#endif
}

BigTemps::~BigTemps() {
  BigTempPool& pool = BigTempPool::Instance();
#ifdef KARVO_SANITIZE
  if (pool.Mark() != mark_ + count_) {
    std::fprintf(stderr, "BigTemps released out of order (mark %d, expected %d)\n", pool.Mark(),
                 mark_ + count_);
    std::abort();
  }
#endif
  pool.Release(mark_);
}

BigInt& BigTemps::operator[](int32_t i) {
#ifdef KARVO_SANITIZE
  return *own_[static_cast<size_t>(i)];
#else
  return BigTempPool::Instance().At(mark_ + i);
#endif
}

}  // namespace karvo
