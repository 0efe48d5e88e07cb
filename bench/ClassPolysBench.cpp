// karvo-bench-classpolys: the build time of a class polynomial (direct route)
// and of a genus factor (genus route) for keys whose class number over genus
// count is 8, 16, 32, 64 and 128, against PARI/GP's polclass(D, 1) for the
// same discriminant, in CSV:
//
//   d,h,g,route,precision_bits,karvo_ms,pari_ms
//
// The keys m ≡ 7 (mod 8), prime to 3, have two genera; Karvo uses the Weber
// invariant f/√2 (code -1), PARI Weber's f, both of degree h. Karvo's time
// covers the forms, the precision estimate and the build; PARI's is measured
// by gp itself (mean over repeated calls after one warm-up), in a child
// process. The PARI column is empty when gp is not installed.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "arith/BigMod.h"
#include "classpolys/ClassPolynomial.h"
#include "BestTime.h"
#include "SplitPrime.h"

namespace karvo {
namespace {

constexpr int32_t kCode = -1;

// polclass(-m, 1) timed by gp, in ms, or "" without gp.
std::string PariMs(uint32_t m) {
  const std::string script = "D = -" + std::to_string(m) +
                             "; polclass(D, 1); n = 0; t = getabstime(); "
                             "until (getabstime() - t >= 500, polclass(D, 1); n++); "
                             "print((getabstime() - t) * 1. / n)";
  const std::string command = "echo '" + script + "' | gp -q -f -s 512000000 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return "";
  }
  char line[64] = {};
  const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
  pclose(pipe);
  char text[32] = {};
  if (read) {
    std::snprintf(text, sizeof text, "%.3f", std::atof(line));
  }
  return text;
}

void Row(uint32_t m, bool genus, bool havePari) {
  TQFormList forms;
  forms.Build(m, kCode, true);
  BigInt N, c;
  bench::SplitPrime(N, m, 256, 20);
  BigNonResidue(c, N);
  ZPoly f;
  TClassPolyInfo info;
  const auto build = [&] {
    TQFormList list;
    list.Build(m, kCode, genus);
    if (genus) {
      std::vector<TCodeRoot> roots;
      BuildGenusFactor(f, list, N, roots, kCode, m, m, c, 0, &info);
    } else {
      BuildClassPolynomial(f, list, m, kCode, m, 0, &info);
    }
  };
  const double ms = bench::BestTimeNs(build) / 1e6;
  const std::string pari = havePari ? PariMs(m) : "";
  std::printf("%u,%d,%d,%s,%d,%.3f,%s\n", m, forms.ClassNumber, forms.GenusCount,
              genus ? "genus" : "direct", info.PrecisionBits, ms, pari.c_str());
  std::fflush(stdout);
}

}  // namespace
}  // namespace karvo

int main() {
  // h/g = 8, 16, 32, 64, 128 with g = 2.
  const uint32_t keys[] = {1159, 1943, 2519, 13295, 43919};
  const bool havePari = std::system("command -v gp > /dev/null 2>&1") == 0;
  std::printf("d,h,g,route,precision_bits,karvo_ms,pari_ms\n");
  for (const uint32_t m : keys) {
    karvo::Row(m, false, havePari);
    karvo::Row(m, true, havePari);
  }
  return 0;
}
