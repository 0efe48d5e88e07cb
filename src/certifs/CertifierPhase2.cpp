// Phase 2: every pending test gets its witness and its final record, and
// the signature chain follows the tests in order.

#include <cstdio>
#include <vector>

#include "arith/BigMod.h"
#include "base/Errors.h"
#include "base/Poll.h"
#include "certifs/Certifier.h"
#include "certifs/NSplit.h"
#include "checks/Signature.h"
#include "checks/Verifier.h"
#include "files/FileFormats.h"

namespace karvo {

namespace {

constexpr int32_t RegisteredModulusWords = 168;
constexpr int32_t NoType = -100;

std::string WordHex(Word w) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(w));
  return text;
}

}  // namespace

void TCertifier::WriteFinalTest(int32_t i, const TXKeyValues& keys) {
  // Rewritten in place, so the section keeps its position in the file.
  const std::string section = std::to_string(i);
  std::vector<std::string> names;
  TempFile.ReadKeyNames(section, names);
  TempFile.DeleteKeys(section, names);
  TempFile.WriteStrings(section, keys);
}

bool TCertifier::RunPhase2() {
  if (!TempFile.SectionExists(SectionSignature)) {
    SignatureSeed(Sig);
    const std::string seed = SignatureText(Sig);
    TempFile.WriteStrings(SectionSignature, {{"1$", seed}, {"2$", seed}, {"ce", "0"}});
    signedCount_ = 0;
  } else {
    SignatureFromText(Sig, TempFile.ReadString(SectionSignature, "2$"));
    signedCount_ = TempFile.ReadInteger(SectionSignature, "ce", TestCount);
  }
  TVerifier checker;
  BigAssign(N, Candidate);
  for (int32_t i = 1; i <= TestCount; ++i) {
    CheckPoll();
    Bits = BigBitSize(N);
    OnTest(i - 1, Bits, CandidateBits);
    const int32_t type = TempFile.ReadInteger(std::to_string(i), "Type", NoType);
    if (type == 0) {
      if (i != TestCount) {
        InternalError(2, 14, 5);
      }
      return SignLastTest();
    }
    if (N.Length >= RegisteredModulusWords) {
      BigSetModulus(N);
    } else {
      BigClearModulus();
    }
    // A final record read back from the working file is checked again, as a
    // verifier would: the file may have been changed since it was written.
    const bool readBack = type > 0;
    if (type == -1 || type == -2) {
      CompleteSplitTest(i, type);
    } else if (type == -3 || type == -4) {
      ReportStage(type == -3 ? StageCurveAndPoint : StageClassPolynomial);
      CurveCompletion(*this, i, type);
    } else if (!readBack || type > 4) {
      InternalError(2, 14, 4);
    }
    BigAssign(checker.N, N);
    int32_t finalType = 0;
    if (!checker.ReadTest(TempFile, i, finalType) || finalType <= 0) {
      return false;
    }
    // A run may have stopped after writing a record but before signing it.
    const bool sign = i > signedCount_;
    if (sign) {
      BigAssign(checker.Sig, Sig);
      checker.SignTest(i, finalType);
      BigAssign(Sig, checker.Sig);
    }
    BigAssign(Work1, checker.R);
    if (readBack && !checker.CheckTest(finalType)) {
      return false;
    }
    if (sign) {
      ReportStage(StageUpdatingFiles);
      TempFile.WriteStrings(SectionSignature,
                            {{"2$", SignatureText(Sig)}, {"ce", std::to_string(i)}});
      signedCount_ = i;
      TempFile.SaveReplace();
    }
    BigAssign(N, Work1);
  }
  InternalError(2, 14, 6);
}

bool TCertifier::SignLastTest() {
  if (!IsLastTestPrime(N)) {
    return false;
  }
  if (signedCount_ < TestCount) {
    SignatureUpdate(Sig, static_cast<uint32_t>(TestCount), {&N});
    TempFile.WriteString(SectionSignature, "2$", SignatureText(Sig));
    signedCount_ = TestCount;
  }
  while (TempFile.ValueExists(SectionSignature, "ce")) {
    TempFile.DeleteKey(SectionSignature, "ce");
  }
  TempFile.SaveReplace();
  return true;
}

void TCertifier::CompleteSplitTest(int32_t i, int32_t type) {
  const std::string section = std::to_string(i);
  TempFile.ReadBigHex(section, "S$", S);
  TempFile.ReadBigHex(section, "R$", R);
  if (type == -1) {
    ReportStage(StageNMinus1);
    const Word base = FindNMinus1Base(N, S, R);
    if (base == 0) {
      InternalError(2, 14, 2);
    }
    WriteFinalTest(i, {{"Type", "1"}, {"S$", BigToHex(S)}, {"R$", BigToHex(R)}, {"B$", WordHex(base)}});
    return;
  }
  ReportStage(StageNPlus1);
  const Word q = FindNPlus1Q(N, S, R);
  if (q == 0) {
    InternalError(2, 14, 3);
  }
  WriteFinalTest(i, {{"Type", "2"}, {"S$", BigToHex(S)}, {"R$", BigToHex(R)}, {"Q$", WordHex(q)}});
}

}  // namespace karvo
