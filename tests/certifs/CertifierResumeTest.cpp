// Stopping a certification and resuming its working file: by the user's
// abort at many points of both phases, one step per run, by a disk that
// fails in the middle of a save, and from a working file of an older
// layout. Every resumed certificate must verify and hold exactly the tests
// of an uninterrupted certification.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CertifierTestSupport.h"
#include "base/Settings.h"
#include "files/FileFormats.h"

namespace karvo::test {
namespace {

class CertifierResumeTest : public CertifierTest {
 protected:
  // The tests of a certification of hex that nothing interrupts, made at a
  // position of its own.
  std::vector<TTestRecord> Uninterrupted(const std::string& hex) {
    const std::string input = WriteInput("whole.in", {{"N$", hex}});
    TCertifier certifier;
    const TCertifyOutcome outcome = RunCertify(certifier, input, 0x100);
    EXPECT_EQ(outcome.Message, CertifiedText);
    return ReadTests(TXFile(WorkingName(0x100, ".out")));
  }

  // Runs input (a *.in or *.tmp) until the stop point and expects the
  // abort's outcome and a working file that says so.
  void ExpectAborted(const std::string& input, int32_t fileIndex, TStopPoint stop) {
    PollingOn polling;
    TCertifier certifier;
    ArmAbort(certifier, stop);
    const TCertifyOutcome outcome = RunCertify(certifier, input, fileIndex);
    EXPECT_EQ(outcome.Status, CertifyRejected);
    EXPECT_EQ(outcome.Message, "Aborted by user");
    EXPECT_EQ(outcome.Raised, "EKVAbort");
    const std::string tmp = WorkingName(fileIndex, ".tmp");
    ASSERT_TRUE(Exists(tmp));
    EXPECT_FALSE(Exists(WorkingName(fileIndex, ".out")));
    const TXFile file(tmp);
    EXPECT_EQ(Value(file, HeaderSection, "Status"), "Aborted by user");
    EXPECT_EQ(Value(file, ResumeSection, "pe"), std::to_string(stop.Phase));
  }

  // Resumes the working file at fileIndex to the end and compares the
  // certificate with the uninterrupted one.
  void ExpectCompleted(int32_t fileIndex, const std::vector<TTestRecord>& reference) {
    TCertifier certifier;
    const TCertifyOutcome outcome =
        RunCertify(certifier, WorkingName(fileIndex, ".tmp"), fileIndex);
    EXPECT_EQ(outcome.Status, CertifyCertified);
    ASSERT_EQ(outcome.Message, CertifiedText);
    EXPECT_EQ(outcome.Raised, "");
    const std::string outName = WorkingName(fileIndex, ".out");
    ASSERT_TRUE(Exists(outName));
    EXPECT_EQ(ReadTests(TXFile(outName)), reference);
    EXPECT_EQ(Value(TXFile(outName), HeaderSection, "Status"), CertifiedText);
    EXPECT_EQ(VerifyCopy(outName), "Valid certificate");
    EXPECT_EQ(VerifyCopy(outName, true), "Valid signature");
    for (const char* extension : {".tmp", ".tmpold", ".tmpnew", ".outnew"}) {
      EXPECT_FALSE(Exists(WorkingName(fileIndex, extension))) << extension;
    }
  }
};

TEST_F(CertifierResumeTest, AbortInPhase1ThenResume) {
  SCOPED_TRACE(SeedText());
  const TCertifiable& prime = CertifiablePrime(260);
  const std::vector<TTestRecord> reference = Uninterrupted(prime.Hex);
  ASSERT_EQ(reference.size(), prime.Tests.size());
  const auto steps = static_cast<int32_t>(prime.Tests.size()) - 1;
  ASSERT_GE(steps, 5);
  const std::string input = WriteInput("c.in", {{"N$", prime.Hex}});
  int32_t index = 1;
  for (const int32_t stop : {0, 1, 2, steps / 2, steps - 1, steps}) {
    for (const int32_t doubleFiles : {0, 1}) {
      SCOPED_TRACE(NumberedName("stopped after ", stop, " steps, double files ") +
                   std::to_string(doubleFiles));
      Settings.DoubleFileManagement = doubleFiles;
      ExpectAborted(input, index, {1, stop});
      const TXFile tmp(WorkingName(index, ".tmp"));
      EXPECT_EQ(tmp.ReadInteger(HeaderSection, "TestCount", -1), stop);
      // The steps made so far are those of the whole certification.
      for (int32_t i = 1; i <= stop; ++i) {
        EXPECT_EQ(Value(tmp, std::to_string(i), "Type"), std::to_string(-reference[i - 1].Type));
        EXPECT_EQ(Value(tmp, std::to_string(i), "R$"), reference[i - 1].R);
      }
      EXPECT_EQ(Exists(WorkingName(index, ".tmpold")), doubleFiles != 0);
      ExpectCompleted(index, reference);
      // The report goes on where the first run left it.
      const TXFile report(WorkingName(index, ".cr"));
      EXPECT_EQ(report.ReadInteger("KARVO - Certification Report", "TestCount", -1),
                static_cast<int32_t>(reference.size()));
      ++index;
    }
  }
}

TEST_F(CertifierResumeTest, AbortInPhase2ThenResume) {
  SCOPED_TRACE(SeedText());
  const TCertifiable& prime = CertifiablePrime(230, 1);
  const std::vector<TTestRecord> reference = Uninterrupted(prime.Hex);
  const auto count = static_cast<int32_t>(reference.size());
  ASSERT_GE(count, 5);
  const std::string input = WriteInput("c.in", {{"N$", prime.Hex}});
  int32_t index = 1;
  for (const int32_t stop : {0, 1, 2, count / 2, count - 1}) {
    SCOPED_TRACE(NumberedName("stopped after ", stop, " tests of phase 2"));
    Settings.DoubleFileManagement = index % 2;
    ExpectAborted(input, index, {2, stop});
    const TXFile tmp(WorkingName(index, ".tmp"));
    // Completed tests carry their final record and are signed; the others
    // are still pending.
    for (int32_t i = 1; i < count; ++i) {
      const int32_t type = tmp.ReadInteger(std::to_string(i), "Type", -100);
      EXPECT_EQ(type, i <= stop ? reference[i - 1].Type : -reference[i - 1].Type) << i;
    }
    EXPECT_EQ(tmp.ReadInteger("Signature", "ce", -1), stop);
    ExpectCompleted(index, reference);
    ++index;
  }
}

TEST_F(CertifierResumeTest, OneStepPerRun) {
  SCOPED_TRACE(SeedText());
  const TCertifiable& prime = CertifiablePrime(200, 2);
  const std::vector<TTestRecord> reference = Uninterrupted(prime.Hex);
  const auto count = static_cast<int32_t>(reference.size());
  Settings.DoubleFileManagement = 1;
  const std::string tmp = WorkingName(1, ".tmp");
  // Each run records (phase 1) or completes (phase 2) one more test, then is
  // stopped; the next run goes on from the working file.
  ExpectAborted(WriteInput("c.in", {{"N$", prime.Hex}}), 1, {1, 1});
  for (int32_t done = 2; done < count; ++done) {
    ExpectAborted(tmp, 1, {1, 1});
    EXPECT_EQ(TXFile(tmp).ReadInteger(HeaderSection, "TestCount", -1), done);
  }
  // The last N's test ends phase 1 without a further step.
  ExpectAborted(tmp, 1, {2, 0});
  for (int32_t done = 1; done < count; ++done) {
    ExpectAborted(tmp, 1, {2, done});
    EXPECT_EQ(TXFile(tmp).ReadInteger("Signature", "ce", -1), done);
  }
  ExpectCompleted(1, reference);
}

TEST_F(CertifierResumeTest, FailingSaveThenResume) {
  SCOPED_TRACE(SeedText());
  const TCertifiable& prime = CertifiablePrime(210, 3);
  const std::vector<TTestRecord> reference = Uninterrupted(prime.Hex);
  const std::string input = WriteInput("c.in", {{"N$", prime.Hex}});
  Settings.DoubleFileManagement = 1;
  // Without a report, the working file is the first file saved.
  Settings.CertificationReports = 0;
  struct TMode {
    const char* name;
    void (*apply)(QuickOps&);
    bool once;  // the save after the failing one works
  };
  const std::vector<TMode> modes = {
      {"disk full", [](QuickOps& ops) { ops.WriteBudget = 10; }, false},
      {"sync", [](QuickOps& ops) { ops.FailFileSync = true; }, false},
      {"folder sync", [](QuickOps& ops) { ops.FailFolderSync = true; }, false},
      {"rename", [](QuickOps& ops) { ops.FailRename = true; }, false},
      {"open", [](QuickOps& ops) { ops.FailOpen = true; }, false},
      {"one rename", [](QuickOps& ops) { ops.RenamesToFail = 1; }, true},
  };
  int32_t index = 1;
  for (const TMode& mode : modes) {
    for (const int32_t phase : {1, 2}) {
      SCOPED_TRACE(std::string(mode.name) + NumberedName(" in phase ", phase, ""));
      QuickOps ops;
      {
        const OpsInUse installed(ops);
        TCertifier certifier;
        bool inPhase2 = false;
        // The disk fails once three tests are safely saved.
        if (phase == 1) {
          certifier.OnStep = [&](int32_t tests, int32_t, int32_t, int32_t) {
            if (tests == 3) {
              mode.apply(ops);
            }
          };
        } else {
          certifier.OnPhase = [&](int32_t p) { inPhase2 = p == 2; };
          certifier.OnTest = [&](int32_t i, int32_t, int32_t) {
            if (inPhase2 && i == 3) {
              mode.apply(ops);
            }
          };
        }
        const TCertifyOutcome outcome = RunCertify(certifier, input, index);
        EXPECT_EQ(outcome.Status, CertifyRejected);
        EXPECT_EQ(outcome.Message, "ABORTED DUE TO INTERNAL ERROR File error #2002");
        EXPECT_EQ(outcome.Raised, "EKV: File error #2002\r\nOperation aborted");
      }
      // What is on disk is the last complete save: the one before the
      // failure, or the one made when the run ended, with the fourth test
      // recorded (phase 1) or completed and signed (phase 2).
      const TXFile tmp(WorkingName(index, ".tmp"));
      if (phase == 1) {
        EXPECT_EQ(tmp.ReadInteger(HeaderSection, "TestCount", -1), mode.once ? 4 : 3);
      } else {
        EXPECT_EQ(tmp.ReadInteger("Signature", "ce", -1), mode.once ? 4 : 3);
        EXPECT_EQ(tmp.ReadInteger("4", "Type", -100) > 0, mode.once);
      }
      if (mode.once) {
        EXPECT_EQ(Value(tmp, HeaderSection, "Status"),
                  "ABORTED DUE TO INTERNAL ERROR File error #2002");
      }
      EXPECT_FALSE(Exists(WorkingName(index, ".tmpnew")));
      ExpectCompleted(index, reference);
      ++index;
    }
  }

  // With a report, the report of a new test is saved first.
  Settings.CertificationReports = 1;
  QuickOps ops;
  {
    const OpsInUse installed(ops);
    TCertifier certifier;
    certifier.OnStep = [&](int32_t tests, int32_t, int32_t, int32_t) {
      if (tests == 3) {
        ops.WriteBudget = 0;
      }
    };
    const TCertifyOutcome outcome = RunCertify(certifier, input, index);
    EXPECT_EQ(outcome.Message, "ABORTED DUE TO INTERNAL ERROR File error #2001");
    EXPECT_EQ(outcome.Raised, "EKV: File error #2001\r\nOperation aborted");
  }
  EXPECT_EQ(TXFile(WorkingName(index, ".tmp")).ReadInteger(HeaderSection, "TestCount", -1),
            3);
  ExpectCompleted(index, reference);
  EXPECT_EQ(TXFile(WorkingName(index, ".cr"))
                .ReadInteger("KARVO - Certification Report", "TestCount", -1),
            static_cast<int32_t>(reference.size()));
}

TEST_F(CertifierResumeTest, OlderLayoutIsCopiedBeforeItIsConverted) {
  SCOPED_TRACE(SeedText());
  const TCertifiable& prime = CertifiablePrime(200);
  const std::vector<TTestRecord> reference = Uninterrupted(prime.Hex);
  const std::string input = WriteInput("c.in", {{"N$", prime.Hex}});
  int32_t index = 1;
  for (const TStopPoint stop : {TStopPoint{1, 3}, TStopPoint{2, 3}}) {
    SCOPED_TRACE(NumberedName("phase ", stop.Phase, ""));
    ExpectAborted(input, index, stop);
    const std::string tmp = WorkingName(index, ".tmp");
    TXFile file(tmp);
    file.WriteString(ResumeSection, "ve", "3004");
    file.Save();
    const std::string original = ReadBytes(tmp);
    if (stop.Phase == 2) {
      ExpectCompleted(index, reference);
    } else {
      TCertifier certifier;
      EXPECT_NE(RunCertify(certifier, tmp, index).Message, "Invalid file");
    }
    ASSERT_TRUE(Exists(tmp + ".dup"));
    EXPECT_EQ(ReadBytes(tmp + ".dup"), original);
    ++index;
  }
}

// The older layout does not say how far the search for the next step of the
// last N got; its N-1 and N+1 steps must still be tried.
// A converted file resumes as one saved in the middle of a curve search at
// level 1: the N-1 and N+1 splits of its last N are not tried again, and its
// last step can no longer be undone. With no curve step yet, it fails.
TEST_F(CertifierResumeTest, OlderLayoutInPhase1ResumesInTheCurveSearch) {
  SCOPED_TRACE(SeedText());
  const TCertifiable& prime = CertifiablePrime(200);
  const std::vector<TTestRecord> reference = Uninterrupted(prime.Hex);
  ExpectAborted(WriteInput("c.in", {{"N$", prime.Hex}}), 1, {1, 3});
  const std::string tmp = WorkingName(1, ".tmp");
  TXFile file(tmp);
  file.WriteString(ResumeSection, "ve", "3004");
  file.Save();
  std::vector<std::string> searched;
  TCertifier certifier;
  certifier.CurveSearch = [&searched](TCertifier& c, int32_t& position) {
    searched.push_back(NumberedName("level ", c.Level, ", position ") +
                       std::to_string(position) + ", N " + BigToHex(c.N));
    return TCurveSearchResult::NotFound;
  };
  RunCertify(certifier, tmp, 1);
  EXPECT_EQ(certifier.Message, "Failed, impossible to certify last N");
  ASSERT_EQ(searched.size(), 6u);
  EXPECT_EQ(searched.front(), "level 1, position 2, N " + reference[2].R);
  EXPECT_EQ(searched.back(), "level 6, position 1, N " + reference[2].R);
}

TEST_F(CertifierResumeTest, MarkedDoneIsCheckedAndCompleted) {
  SCOPED_TRACE(SeedText());
  const TCertifiable& prime = CertifiablePrime(200);
  const std::vector<TTestRecord> reference = Uninterrupted(prime.Hex);
  const std::string input = WriteInput("c.in", {{"N$", prime.Hex}});
  const std::string tmp1 = WorkingName(1, ".tmp");
  const std::string tmp2 = WorkingName(2, ".tmp");
  // Phase 1 ended but the file still says phase 1; or it says done while
  // tests are still pending.
  ExpectAborted(input, 1, {2, 0});
  TXFile file(tmp1);
  file.WriteString(ResumeSection, "pe", "1");
  file.Save();
  ExpectCompleted(1, reference);
  ExpectAborted(input, 2, {2, 2});
  file.Load(tmp2);
  file.WriteString(ResumeSection, "pe", "3");
  file.Save();
  ExpectCompleted(2, reference);
}

}  // namespace
}  // namespace karvo::test
