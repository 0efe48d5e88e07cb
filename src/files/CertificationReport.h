#pragma once

// The certification report (*.cr): the tests a certification chose, in
// order, including those it later rejected by backtracking. Every change is
// saved at once.

#include <cstdint>
#include <string>

#include "arith/BigInt.h"
#include "files/TXFile.h"

namespace karvo {

struct TReportTest {
  int32_t Type = 0;  // 0 last N, 1 N-1, 2 N+1, 3 and 4 curve tests
  int32_t Run = 1;
  int32_t Gain = 0;  // bits of N minus bits of R; for type 0 the bits of N
  // Curve tests only: the discriminant code d, the class number and the
  // number of genera.
  int32_t DiscriminantCode = 0;
  int32_t ClassNumber = 0;
  int32_t Genera = 0;
};

// The discriminant a code d stands for: -d, or -4d when d mod 4 is 1 or 2.
int64_t DiscriminantOfCode(int32_t d);

class TCertificationReport {
 public:
  // Starts a new report for the certificate that the working file becomes.
  void Create(const std::string& reportFileName, const std::string& certificateFileName);
  // Continues an existing report (a resumed first phase).
  void Reopen(const std::string& reportFileName);
  void AddTest(int32_t number, const TReportTest& test);
  // Renames the section of test number to "number, backtrack #k" (the first
  // free k), records its R there and counts it under "Backtrack".
  void RecordBacktrack(int32_t number, const BigInt& r);
  const TXFile& File() const { return file_; }

 private:
  TXFile file_;
};

}  // namespace karvo
