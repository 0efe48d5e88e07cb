#pragma once

// The timing rule of the CSV benchmarks: the best of three samples of the
// mean time per call, in nanoseconds. A sample repeats the call until at least
// 0.2 s have passed, in batches of about a tenth of a sample, so clock reads
// cost nothing even for the fastest cases and the slowest ones overshoot the
// sample by little.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>

namespace karvo::bench {

inline double BestTimeNs(const std::function<void()>& body) {
  constexpr double sampleSeconds = 0.2;
  constexpr int samples = 3;
  using Clock = std::chrono::steady_clock;
  const auto first = Clock::now();
  body();
  const double once = std::chrono::duration<double>(Clock::now() - first).count();
  const auto batch = static_cast<int64_t>(std::max(1.0, sampleSeconds / 10 / std::max(once, 1e-9)));
  double best = 0;
  for (int sample = 0; sample < samples; ++sample) {
    int64_t count = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    while (elapsed < sampleSeconds) {
      for (int64_t i = 0; i < batch; ++i) {
        body();
      }
      count += batch;
      elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    }
    const double ns = elapsed * 1e9 / static_cast<double>(count);
    if (sample == 0 || ns < best) {
      best = ns;
    }
  }
  return best;
}

}  // namespace karvo::bench
