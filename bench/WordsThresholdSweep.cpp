// Times the product and square methods of the word kernel against each other
// around their thresholds (schoolbook vs Karatsuba for 32..96 words,
// squares 96..192; Karatsuba vs Toom-3 for 320..1088 both) and prints where
// the faster method takes over, with the CPU it ran on: the table behind a
// change of src/arith/WordsThresholds.h.
//
//   karvo-bench-thresholds [--step=N] [google benchmark flags]
//
// --step sets the spacing of the Karatsuba/Toom-3 sweep (default 2; 8 or
// more keeps the run short).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "arith/Words.h"
#include "arith/WordsThresholds.h"

namespace karvo {
namespace {

using Routine = void (*)(Word* dst, const Word* a, const Word* b, Word* scratch, int32_t n);

void Basecase(Word* dst, const Word* a, const Word* b, Word*, int32_t n) {
  WordsMulBasecase(dst, a, b, n, n);
}
void Karatsuba(Word* dst, const Word* a, const Word* b, Word* scratch, int32_t n) {
  WordsMulKaratsuba(dst, a, b, scratch, n);
}
void Toom3(Word* dst, const Word* a, const Word* b, Word* scratch, int32_t n) {
  WordsMulToom3(dst, a, b, scratch, n);
}
void SqrBasecase(Word* dst, const Word* a, const Word*, Word*, int32_t n) {
  WordsSqrBasecase(dst, a, n);
}
void SqrKaratsuba(Word* dst, const Word* a, const Word*, Word* scratch, int32_t n) {
  WordsSqrKaratsuba(dst, a, n, scratch);
}
void SqrToom3(Word* dst, const Word* a, const Word*, Word* scratch, int32_t n) {
  WordsSqrToom3(dst, a, n, scratch);
}

// One comparison: two methods over a range of lengths, and the threshold the
// kernel uses for it.
struct Sweep {
  const char* name;
  const char* slowerBelow;
  Routine below;
  const char* fasterAbove;
  Routine above;
  int32_t from;
  int32_t to;
  int32_t threshold;
};

void TimeRoutine(benchmark::State& state, Routine routine, int32_t n) {
  std::mt19937_64 rng(static_cast<uint64_t>(n));
  std::vector<Word> a(static_cast<size_t>(n));
  std::vector<Word> b(static_cast<size_t>(n));
  for (size_t i = 0; i < a.size(); ++i) {
    a[i] = static_cast<Word>(rng());
    b[i] = static_cast<Word>(rng());
  }
  std::vector<Word> dst(2 * static_cast<size_t>(n));
  std::vector<Word> scratch(static_cast<size_t>(WordsScratchSize(n)));
  for (auto _ : state) {
    routine(dst.data(), a.data(), b.data(), scratch.data(), n);
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
}

std::string BenchmarkName(const char* sweep, const char* method, int32_t n) {
  return std::string(sweep) + "/" + method + "/" + std::to_string(n);
}

// Keeps the time per product of every run for the summary, and prints the
// runs as usual.
class SweepReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        nanoseconds_[run.benchmark_name()] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Nanoseconds per product, or a negative value for a run that is missing.
  double Nanoseconds(const std::string& name) const {
    const auto it = nanoseconds_.find(name);
    return it == nanoseconds_.end() ? -1 : it->second;
  }

 private:
  std::map<std::string, double> nanoseconds_;
};

std::string CpuName() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) == 0) {
      const size_t colon = line.find(':');
      return colon == std::string::npos ? line : line.substr(colon + 2);
    }
  }
  return "unknown CPU";
}

// The crossover is the smallest length from which the upper method wins at
// no fewer than four out of five of the remaining lengths, three at least:
// single noisy points neither hide nor fake a crossover.
void PrintSummary(const std::vector<Sweep>& sweeps, const SweepReporter& reporter, int32_t step) {
  std::printf("\nMeasured crossovers on %s (lengths in 32-bit words)\n", CpuName().c_str());
  for (const Sweep& sweep : sweeps) {
    const int32_t stride = sweep.from < 100 ? 1 : step;
    std::vector<int32_t> lengths;
    std::vector<bool> aboveWins;
    for (int32_t n = sweep.from; n <= sweep.to; n += stride) {
      const double tBelow = reporter.Nanoseconds(BenchmarkName(sweep.name, sweep.slowerBelow, n));
      const double tAbove = reporter.Nanoseconds(BenchmarkName(sweep.name, sweep.fasterAbove, n));
      if (tBelow > 0 && tAbove > 0) {
        lengths.push_back(n);
        aboveWins.push_back(tAbove < tBelow);
      }
    }
    int32_t crossover = -1;
    for (size_t i = 0; i + 3 <= lengths.size() && crossover < 0; ++i) {
      size_t wins = 0;
      for (size_t j = i; j < lengths.size(); ++j) {
        wins += aboveWins[j] ? 1 : 0;
      }
      if (aboveWins[i] && 5 * wins >= 4 * (lengths.size() - i)) {
        crossover = lengths[i];
      }
    }
    if (lengths.empty()) {
      std::printf("  %-9s %s vs %s: no runs\n", sweep.name, sweep.slowerBelow, sweep.fasterAbove);
    } else if (crossover < 0) {
      std::printf("  %-9s %s beats %s nowhere in %d..%d (threshold in use: %d)\n", sweep.name,
                  sweep.fasterAbove, sweep.slowerBelow, sweep.from, sweep.to, sweep.threshold);
    } else {
      std::printf("  %-9s %s from %d words on (threshold in use: %d)\n", sweep.name,
                  sweep.fasterAbove, crossover, sweep.threshold);
    }
  }
}

}  // namespace
}  // namespace karvo

int main(int argc, char** argv) {
  using namespace karvo;
  int32_t step = 2;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--step=", 7) == 0) {
      step = std::max(1, std::atoi(argv[i] + 7));
    } else {
      args.push_back(argv[i]);
    }
  }
  const std::vector<Sweep> sweeps = {
      {"Mul", "Basecase", Basecase, "Karatsuba", Karatsuba, 32, 96, MulKaratsubaThreshold},
      {"Mul", "Karatsuba", Karatsuba, "Toom3", Toom3, 320, 1088, MulToom3Threshold},
      {"Sqr", "Basecase", SqrBasecase, "Karatsuba", SqrKaratsuba, 96, 192, SqrKaratsubaThreshold},
      {"Sqr", "Karatsuba", SqrKaratsuba, "Toom3", SqrToom3, 320, 1088, SqrToom3Threshold},
  };
  for (const Sweep& sweep : sweeps) {
    const int32_t stride = sweep.from < 100 ? 1 : step;
    for (int32_t n = sweep.from; n <= sweep.to; n += stride) {
      for (const auto& [method, routine] :
           {std::pair{sweep.slowerBelow, sweep.below}, std::pair{sweep.fasterAbove, sweep.above}}) {
        benchmark::RegisterBenchmark(
            BenchmarkName(sweep.name, method, n).c_str(),
            [routine = routine, n](benchmark::State& state) { TimeRoutine(state, routine, n); });
      }
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  SweepReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(sweeps, reporter, step);
  benchmark::Shutdown();
  return 0;
}
