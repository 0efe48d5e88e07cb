// Curve and point of a pending curve test. A class-number-one curve comes
// from its fixed equation and the twist rules; any other from a root of the
// class invariant, turned into at most four candidate j-invariants of which
// the first with a point of the recorded order wins.

#include "certifs/CurveCompletion.h"

#include <algorithm>
#include <string>

#include "arith/BigMod.h"
#include "base/Errors.h"
#include "certifs/CurveTwists.h"
#include "checks/EcCurves.h"
#include "classpolys/InvariantRoot.h"

namespace karvo {

namespace {

constexpr int32_t MaxCandidates = 4;

void ReadRoots(const TXFile& file, const std::string& section, TQStarRootList& roots) {
  if (roots.Count != 0) {
    InternalError(2, 3, 1);
  }
  const int32_t count = file.ReadInteger(section, "rs", 0);
  roots.QStars.resize(static_cast<size_t>(std::max(count, 0)));
  roots.Roots.resize(roots.QStars.size());
  for (int32_t k = 0; k < count; ++k) {
    const std::string digit(1, static_cast<char>('0' + k));
    roots.QStars[static_cast<size_t>(k)] = file.ReadInteger(section, "f" + digit, 0);
    file.ReadBigHex(section, digit + "$", roots.Roots[static_cast<size_t>(k)]);
    if (BigIsZero(roots.Roots[static_cast<size_t>(k)])) {
      InternalError(2, 3, 2);
    }
  }
  roots.Count = count;
}

void CompleteClassOne(TCertifier& k, int32_t i, int32_t d) {
  const std::string section = std::to_string(i);
  const BigInt& N = k.N;
  BigInt A, B, T;
  int32_t sign = 1;
  if (d == 1 || d == 3) {
    BigInt U, V;
    k.TempFile.ReadBigHex(section, "U$", U);
    k.TempFile.ReadBigHex(section, "V$", V);
    d == 1 ? TwistD1(A, U, V, N) : TwistD3(B, U, V, N);
  } else {
    EcClassOneCurve(A, B, d);
    EcCentre(A, N);
    EcCentre(B, N);
    // t = m - N - 1 of the recorded order m = S·R.
    BigInt t;
    BigMulTo(t, k.S, k.R);
    BigSub(t, k.NPlus1);
    sign = ClassOneSeedSign(d, t, N);
  }
  EcCheckCurve(A, B, N);
  if (!EcFindPoint(T, k.S, k.R, A, B, N, sign)) {
    // 2.8.3 and 2.9.2 for the twists of d = 1 and 3, 2.14.8 for the others.
    InternalError(2, d == 1 ? 8 : d == 3 ? 9 : 14, d == 1 ? 3 : d == 3 ? 2 : 8);
  }
  k.WriteFinalTest(i, {{"Type", "3"},
                       {"S$", BigToHex(k.S)},
                       {"R$", BigToHex(k.R)},
                       {"A$", BigToHex(A)},
                       {"B$", BigToHex(B)},
                       {"T$", BigToHex(T)}});
}

void CompleteFromInvariant(TCertifier& k, int32_t i, int32_t d) {
  const std::string section = std::to_string(i);
  const BigInt& N = k.N;
  BigInt c;
  if (k.TempFile.ValueExists(section, "G$")) {
    k.TempFile.ReadBigHex(section, "G$", c);
  } else if ((N.Words[0] & 7) == 1) {
    BigNonResidue(c, N);
  }
  TQStarRootList roots;
  ReadRoots(k.TempFile, section, roots);
  BigInt curve[MaxCandidates];
  const int32_t count = FindInvariantRoot(curve, N, c, roots, static_cast<uint32_t>(d));
  k.ReportStage(StageCurveAndPoint);
  BigInt A, B, T;
  for (int32_t j = 0; j < std::min(count, MaxCandidates); ++j) {
    EcCurveFromJ(A, B, curve[j], N);
    if (EcCurveCoprimeDiscriminant(A, B, N) && EcFindPoint(T, k.S, k.R, A, B, N, 0)) {
      k.WriteFinalTest(i, {{"Type", "4"},
                           {"S$", BigToHex(k.S)},
                           {"R$", BigToHex(k.R)},
                           {"J$", BigToHex(curve[j])},
                           {"T$", BigToHex(T)}});
      return;
    }
  }
  InternalError(2, 14, 7);
}

}  // namespace

void CompleteCurveTest(TCertifier& k, int32_t i, int32_t type) {
  const std::string section = std::to_string(i);
  k.TempFile.ReadBigHex(section, "S$", k.S);
  k.TempFile.ReadBigHex(section, "R$", k.R);
  BigAssign(k.NPlus1, k.N);
  BigIncrement(k.NPlus1);
  const int32_t d = k.TempFile.ReadInteger(section, "dc", 0);
  if (type == -3) {
    CompleteClassOne(k, i, d);
  } else {
    CompleteFromInvariant(k, i, d);
  }
}

}  // namespace karvo
