// The structure pass and the reading of a test's numbers: ranges and one
// product per test, so a malformed certificate is rejected before any
// exponentiation.

#include <string>

#include "arith/BigMod.h"
#include "checks/Verifier.h"
#include "files/FileFormats.h"
#include "files/TXFile.h"

namespace karvo {

bool TVerifier::Fail(const char* message) {
  Message = message;
  return false;
}

bool TVerifier::ReadNumber(const TXFile& file, const std::string& section, const char* key,
                           BigInt& x) {
  const std::string text = file.ReadString(section, key);
  // A missing or empty value reads as zero and then fails its range check.
  if (!text.empty() && !BigIsNumberText(text, 16)) {
    return Fail("Invalid certificate");
  }
  BigFromString(x, text, 16);
  return true;
}

bool TVerifier::ReadTestCount(const TXFile& file) {
  TestCount = file.ReadInteger(SectionCertificateHeader, "TestCount", 0);
  return TestCount >= 1 || Fail("Invalid test count");
}

bool TVerifier::ReadCandidate(const TXFile& file) {
  if (!ReadNumber(file, SectionCandidate, "N$", N)) {
    return false;
  }
  if (BigIsNegative(N)) {
    return Fail("Candidate < 0");
  }
  const int32_t bits = BigBitSize(N);
  if (bits < MinCandidateBits) {
    return Fail("Candidate binary size < 17");
  }
  if (bits > MaxCandidateBits) {
    Message = "Candidate binary size > " + std::to_string(MaxCandidateBits);
    return false;
  }
  if (!BigIsOdd(N)) {
    return Fail("Candidate is even");
  }
  candidateBits_ = bits;
  return true;
}

bool TVerifier::ReadTest(const TXFile& file, int32_t i, int32_t& type) {
  const std::string section = std::to_string(i);
  type = file.ReadInteger(section, "Type", -1);
  switch (type) {
    case 0:
      return true;
    case 1:
      return ReadNumber(file, section, "S$", S) && ReadNumber(file, section, "R$", R) &&
             ReadNumber(file, section, "B$", B);
    case 2:
      if (!ReadNumber(file, section, "S$", S) || !ReadNumber(file, section, "R$", R) ||
          !ReadNumber(file, section, "Q$", B)) {
        return false;
      }
      // P is not stored: 2 for a positive odd Q, else 1.
      BigSetWord(A, !BigIsNegative(B) && BigIsOdd(B) ? 2 : 1);
      return true;
    case 3:
      return ReadNumber(file, section, "S$", S) && ReadNumber(file, section, "R$", R) &&
             ReadNumber(file, section, "A$", A) && ReadNumber(file, section, "B$", B) &&
             ReadNumber(file, section, "T$", T);
    case 4:
      return ReadNumber(file, section, "S$", S) && ReadNumber(file, section, "R$", R) &&
             ReadNumber(file, section, "J$", A) && ReadNumber(file, section, "T$", T);
    default:
      return Fail("Invalid test type");
  }
}

bool TVerifier::CheckTestStructure(const TXFile& file, int32_t i, bool& last) {
  int32_t type = -1;
  if (!ReadTest(file, i, type)) {
    return false;
  }
  last = type == 0;
  if (type == 0) {
    if (i != TestCount) {
      return Fail("Only the last test can be of type 0");
    }
    return BigBitSize(N) <= MaxLastTestBits || Fail("N bit size > 48");
  }
  if (type == 1 || type == 2) {
    if (BigIsOdd(S)) {
      return Fail("S is odd");
    }
    if (BigCompareWord(S, 2) < 0) {
      return Fail("S < 2");
    }
    if (!BigIsOdd(R)) {
      return Fail("R is even");
    }
    if (BigCompare(S, R) >= 0) {
      return Fail("S >= R");
    }
    BigMulTo(Work1, S, R);
    if (type == 1) {
      BigAddWord(Work1, 1);
      if (!BigEqual(Work1, N)) {
        return Fail("(S*R + 1) <> N");
      }
      return BigCompareWord(B, 2) >= 0 || Fail("B < 2");
    }
    BigSubWord(Work1, 1);
    if (!BigEqual(Work1, N)) {
      return Fail("(S*R - 1) <> N");
    }
    if (BigCompareWord(B, 1) < 0) {
      return Fail("Q < 1");
    }
    if (BigCompare(B, N) >= 0) {
      return Fail("Q >= N");
    }
    return BigJacobi(B, N) == -1 || Fail("Jacobi(Q,N) <> -1");
  }
  // Types 3 and 4.
  if (BigCompareWord(S, 2) < 0) {
    return Fail("S < 2");
  }
  if (!BigIsOdd(R)) {
    return Fail("R is even");
  }
  if (BigCompare(R, N) >= 0) {
    return Fail("R >= N");
  }
  BigAssign(HalfN, N);
  BigShiftRight(HalfN, 1);
  if (type == 4) {
    if (BigCompareAbs(A, HalfN) > 0) {
      return Fail("|J| > N/2");
    }
  } else {
    // A may reach floor(N/2) + 1 on the positive side.
    bool inRange = BigCompareAbs(A, HalfN) <= 0;
    if (!inRange && !BigIsNegative(A)) {
      BigAssign(Work1, A);
      BigDecrement(Work1);
      inRange = BigCompare(Work1, HalfN) <= 0;
    }
    if (!inRange) {
      return Fail("|A| > N/2");
    }
    if (BigCompareAbs(B, HalfN) > 0) {
      return Fail("|B| > N/2");
    }
  }
  if (BigIsNegative(T)) {
    return Fail("T < 0");
  }
  return BigCompare(T, N) < 0 || Fail("T >= N");
}

bool TVerifier::CheckStructure(const TXFile& file) {
  ErrorPlace = 1;
  if (!ReadTestCount(file) || !ReadCandidate(file)) {
    return false;
  }
  for (int32_t i = 1; i <= TestCount; ++i) {
    if (!file.SectionExists(std::to_string(i))) {
      ErrorPlace = 1;
      Message = "Invalid certificate (Section [" + std::to_string(i) + "] not found)";
      return false;
    }
    ErrorPlace = -i;
    bool last = false;
    if (!CheckTestStructure(file, i, last)) {
      return false;
    }
    if (last) {
      return true;
    }
    BigAssign(N, R);
  }
  // Without a closing type 0 test the last R is never proven prime.
  ErrorPlace = -TestCount;
  return Fail("Invalid certificate");
}

}  // namespace karvo
