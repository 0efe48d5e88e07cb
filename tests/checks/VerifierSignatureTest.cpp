// The signature through whole verifications: signing in full mode, checking
// in signature-only mode, partial signatures and what an interrupted
// verification leaves behind.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "VerifierTestSupport.h"
#include "base/Constants.h"
#include "base/Errors.h"
#include "base/Poll.h"

namespace karvo::test {
namespace {

// A verifier that records the phases it goes through.
struct TPhaseRecorder {
  TVerifier Verifier;
  std::vector<int32_t> Phases;
  TPhaseRecorder() {
    Verifier.OnPhase = [this](int32_t phase) { Phases.push_back(phase); };
  }
  TOutcome Run(const std::string& path, int checkSignaturesOnly) {
    Phases.clear();
    return RunVerify(Verifier, path, checkSignaturesOnly);
  }
};

int32_t TestCountOf(const TXFile& file) {
  return file.ReadInteger(CertificateHeader, "TestCount", 0);
}

// What an interrupted verification leaves: a partial signature whose "ce"
// counts the tests done before the stop, and whose chain over them matches.
void ExpectPartialSignature(const std::string& path) {
  const TXFile file(path);
  ASSERT_TRUE(file.ValueExists("Signature", "ce"));
  const int32_t done = file.ReadInteger("Signature", "ce", -1);
  EXPECT_GE(done, 0);
  EXPECT_LT(done, TestCountOf(file));
  EXPECT_TRUE(ChainMatches(file, done));
}

TEST(VerifierSignatureTest, FullModeSignsAndSignatureOnlyModeChecks) {
  TempFolder folder;
  const std::string path = CopyCertificate(folder, "p150_nosig.out");
  TPhaseRecorder recorder;
  // No signature: full mode even when only signatures are asked for.
  TOutcome outcome = recorder.Run(path, 1);
  EXPECT_EQ(outcome.Message, "Valid certificate");
  EXPECT_EQ(recorder.Phases, (std::vector<int32_t>{VerifyPhaseStructure, VerifyPhaseFull}));
  const TXFile signedFile(path);
  const std::string seed = signedFile.ReadString("Signature", "1$");
  EXPECT_EQ(seed.size(), 40u);
  EXPECT_TRUE(BigIsNumberText(seed, 16)) << seed;
  EXPECT_TRUE(signedFile.ValueExists("Signature", "2$"));
  EXPECT_FALSE(signedFile.ValueExists("Signature", "ce"));
  EXPECT_TRUE(ChainMatches(signedFile, TestCountOf(signedFile)));

  const std::string signedBytes = ReadBytes(path);
  outcome = recorder.Run(path, 1);
  EXPECT_EQ(outcome.Message, "Valid signature");
  EXPECT_EQ(outcome.Status, VerifyValid);
  EXPECT_EQ(recorder.Phases, (std::vector<int32_t>{VerifyPhaseStructure, VerifyPhaseSignature}));
  EXPECT_EQ(ReadBytes(path), signedBytes);

  // One digit of any signed value, or of the signature itself.
  const std::pair<const char*, const char*> changes[] = {
      {"Signature", "1$"}, {"Signature", "2$"}, {"Candidate", "N$"}, {"5", "A$"},
      {"5", "T$"},         {"9", "S$"},         {"9", "B$"},         {"21", "R$"}};
  for (const auto& [section, key] : changes) {
    SCOPED_TRACE(std::string("[") + section + "] " + key);
    WriteBytes(path, signedBytes);
    EditFile(path, [&](TXFile& file) {
      const std::string value = file.ReadString(section, key);
      ASSERT_FALSE(value.empty());
      file.WriteString(section, key, ChangeOneDigit(value));
    });
    const std::string before = ReadBytes(path);
    outcome = recorder.Run(path, 1);
    ExpectConsistent(outcome);
    EXPECT_EQ(outcome.Message, "ERROR: Invalid signature");
    EXPECT_EQ(outcome.ErrorPlace, 3);
    EXPECT_EQ(ReadBytes(path), before);
  }

  // Full mode reports on the proof and signs again under the same seed.
  WriteBytes(path, signedBytes);
  EditFile(path, [](TXFile& file) {
    file.WriteString("Signature", "2$", ChangeOneDigit(file.ReadString("Signature", "2$")));
  });
  outcome = recorder.Run(path, 0);
  EXPECT_EQ(outcome.Message, "Valid certificate");
  EXPECT_EQ(recorder.Phases, (std::vector<int32_t>{VerifyPhaseStructure, VerifyPhaseFull}));
  EXPECT_EQ(ReadBytes(path), signedBytes);
}

// A seed that is not 40 hexadecimal digits cannot give a valid signature; in
// full mode the certificate is signed anew.
TEST(VerifierSignatureTest, UnreadableSeed) {
  TempFolder folder;
  for (const char* seed : {"-1234", "XYZ"}) {
    SCOPED_TRACE(seed);
    const std::string path = CopyCertificate(folder, "p50.out");
    EditFile(path, [&](TXFile& file) { file.WriteString("Signature", "1$", seed); });
    TOutcome outcome = RunVerify(path, 1);
    EXPECT_EQ(outcome.Message, "ERROR: Invalid signature");
    EXPECT_EQ(outcome.ErrorPlace, 3);
    outcome = RunVerify(path, 0);
    EXPECT_EQ(outcome.Message, "Valid certificate");
    const TXFile file(path);
    EXPECT_NE(file.ReadString("Signature", "1$"), seed);
    EXPECT_TRUE(ChainMatches(file, TestCountOf(file)));
    EXPECT_EQ(RunVerify(path, 1).Message, "Valid signature");
  }
}

// Signatures only are asked for, yet after the partial chain every test is
// checked from the first under a new seed.
TEST(VerifierSignatureTest, PartialSignatureIsCheckedThenEveryTestAgain) {
  TempFolder folder;
  const std::string path = CopyCertificate(folder, "p150_partial.out");
  const TXFile original(path);
  ASSERT_EQ(original.ReadString("Signature", "ce"), "2");
  TPhaseRecorder recorder;
  std::vector<int32_t> fullTests;
  bool inFull = false;
  recorder.Verifier.OnProgress = [&](int32_t i, int32_t, int32_t, int32_t) {
    if (inFull) {
      fullTests.push_back(i);
    }
  };
  recorder.Verifier.OnPhase = [&](int32_t phase) {
    recorder.Phases.push_back(phase);
    inFull = phase == VerifyPhaseFull;
  };
  const TOutcome outcome = recorder.Run(path, 1);
  EXPECT_EQ(outcome.Message, "Valid certificate");
  EXPECT_EQ(recorder.Phases, (std::vector<int32_t>{VerifyPhaseStructure, VerifyPhasePartial,
                                                   VerifyPhaseFull}));
  std::vector<int32_t> all;
  for (int32_t i = 1; i <= TestCountOf(original); ++i) {
    all.push_back(i);
  }
  EXPECT_EQ(fullTests, all);
  const TXFile after(path);
  EXPECT_NE(after.ReadString("Signature", "1$"), original.ReadString("Signature", "1$"));
  EXPECT_FALSE(after.ValueExists("Signature", "ce"));
  EXPECT_TRUE(ChainMatches(after, TestCountOf(after)));
}

// Partial signatures written here over mixed70.out (11 tests).
TEST(VerifierSignatureTest, PartialSignatureEdges) {
  TempFolder folder;
  const std::string path = folder.Path("partial.out");
  const std::string original = ReadBytes(SharedCertificate("mixed70.out"));
  struct TCase {
    const char* Name;
    const char* Ce;  // null: a chain over Done tests, with "ce"
    int32_t Done;
    bool BreakChain;
    const char* Expected;
  };
  const TCase cases[] = {
      {"ce = TestCount", "11", 0, false, "ERROR: Invalid certificate"},
      {"ce above TestCount", "12", 0, false, "ERROR: Invalid certificate"},
      {"ce negative", "-1", 0, false, "ERROR: Invalid certificate"},
      {"ce = 0, chain = seed", nullptr, 0, false, "Valid certificate"},
      {"ce = TestCount - 1", nullptr, 10, false, "Valid certificate"},
      {"ce = 4, wrong chain", nullptr, 4, true, "ERROR: Invalid partial signature"},
      {"ce = 0, wrong chain", nullptr, 0, true, "ERROR: Invalid partial signature"},
  };
  for (const TCase& c : cases) {
    for (int mode : {0, 1}) {
      SCOPED_TRACE(std::string(c.Name) + ", mode " + std::to_string(mode));
      WriteBytes(path, original);
      EditFile(path, [&](TXFile& file) {
        ASSERT_EQ(TestCountOf(file), 11);
        WriteSignature(file, file.ReadString("Signature", "1$"), c.Done, true);
        if (c.Ce != nullptr) {
          file.WriteString("Signature", "ce", c.Ce);
        }
        if (c.BreakChain) {
          file.WriteString("Signature", "2$",
                           ChangeOneDigit(file.ReadString("Signature", "2$")));
        }
      });
      const std::string before = ReadBytes(path);
      const TOutcome outcome = RunVerify(path, mode);
      ExpectConsistent(outcome);
      EXPECT_EQ(outcome.Message, c.Expected);
      if (outcome.Status != VerifyValid) {
        EXPECT_EQ(ReadBytes(path), before) << "a rejected file is left as it was";
      }
    }
  }
}

// Aborts from the poll handler when the full phase reaches test abortAt.
TOutcome AbortAt(const std::string& path, int32_t abortAt, int* handlerCalls) {
  SetPollHandler([handlerCalls] { ++*handlerCalls; });
  TVerifier verifier;
  int32_t phase = 0;
  verifier.OnPhase = [&](int32_t p) { phase = p; };
  verifier.OnProgress = [&](int32_t i, int32_t, int32_t, int32_t) {
    if (phase == VerifyPhaseFull && i == abortAt) {
      RequestAbort();
      PollFlag.store(1);
    }
  };
  const TOutcome outcome = RunVerify(verifier, path, 1);
  ClearPollHandler();
  return outcome;
}

TEST(VerifierSignatureTest, AbortLeavesAPartialSignatureToResumeFrom) {
  const PollGuard pollGuard;
  TempFolder folder;
  const std::string path = CopyCertificate(folder, "p150_nosig.out");
  int handlerCalls = 0;
  const TOutcome outcome = AbortAt(path, 6, &handlerCalls);
  EXPECT_EQ(outcome.Raised, "EKVAbort");
  EXPECT_EQ(outcome.Status, VerifyNotProcessed);
  EXPECT_EQ(outcome.ErrorPlace, 0);
  EXPECT_EQ(outcome.Message, "Aborted by user");
  EXPECT_GE(handlerCalls, 1);

  ASSERT_NO_FATAL_FAILURE(ExpectPartialSignature(path));

  TPhaseRecorder recorder;
  const TOutcome resumed = recorder.Run(path, 1);
  EXPECT_EQ(resumed.Message, "Valid certificate");
  EXPECT_EQ(recorder.Phases, (std::vector<int32_t>{VerifyPhaseStructure, VerifyPhasePartial,
                                                   VerifyPhaseFull}));
  const TXFile after(path);
  EXPECT_FALSE(after.ValueExists("Signature", "ce"));
  EXPECT_TRUE(ChainMatches(after, TestCountOf(after)));
}

TEST(VerifierSignatureTest, ExceptionsBecomeTheOutcome) {
  const PollGuard pollGuard;
  TempFolder folder;
  struct TCase {
    const char* Raised;
    const char* Message;
    void (*Throw)();
  };
  const TCase cases[] = {
      {"EKVAbortSilent", "Aborted", [] { throw EKVAbortSilent(TextOperationAborted); }},
      {"EKVAbort", "Aborted by user", [] { throw EKVAbort(TextOperationAborted); }},
      {"EKV: Internal error 7.8.9", "ABORTED DUE TO INTERNAL ERROR 7.8.9",
       [] { InternalError(7, 8, 9); }},
      {"std::exception: boom", "Aborted due to unknown OS exception",
       [] { throw std::runtime_error("boom"); }},
      {"unknown", "Aborted due to unknown OS exception", [] { throw 42; }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Message);
    // Unsigned, so that full mode starts by writing a partial signature.
    const std::string path = CopyCertificate(folder, "mixed50.out");
    EditFile(path, [](TXFile& file) { file.EraseSection("Signature"); });
    TVerifier verifier;
    int32_t phase = 0;
    verifier.OnPhase = [&](int32_t p) { phase = p; };
    verifier.OnProgress = [&](int32_t i, int32_t, int32_t, int32_t) {
      if (phase == VerifyPhaseFull && i == 3) {
        c.Throw();
      }
    };
    const TOutcome outcome = RunVerify(verifier, path, 0);
    ExpectConsistent(outcome);
    EXPECT_EQ(outcome.Raised, c.Raised);
    EXPECT_EQ(outcome.Message, c.Message);
    EXPECT_EQ(outcome.Status, VerifyNotProcessed);
    EXPECT_EQ(outcome.ErrorPlace, 0);
    ASSERT_NO_FATAL_FAILURE(ExpectPartialSignature(path));
    EXPECT_EQ(RunVerify(path, 0).Message, "Valid certificate");
  }
}

// A save that fails (the disk, say) ends the file as an internal error with
// the first line of the file error; the file itself is left as it was.
TEST(VerifierSignatureTest, FailingSaveIsAnInternalError) {
  TempFolder folder;
  const std::string path = CopyCertificate(folder, "p50.out");
  const std::string before = ReadBytes(path);
  FailingOps ops;
  ops.FailRename = true;
  TOutcome outcome;
  {
    const OpsInstalled installed(ops);
    outcome = RunVerify(path, 0);
  }
  EXPECT_EQ(outcome.Raised.rfind("EKV: File error #2002", 0), 0u) << outcome.Raised;
  EXPECT_EQ(outcome.Message, "ABORTED DUE TO INTERNAL ERROR File error #2002");
  EXPECT_EQ(outcome.Status, VerifyNotProcessed);
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_FALSE(Exists(path + "new"));
  EXPECT_EQ(RunVerify(path, 1).Message, "Valid signature");
}

}  // namespace
}  // namespace karvo::test
