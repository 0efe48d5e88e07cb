// Where the descent meets the curve step: the levels and positions the
// search is asked for, backtracking out of a dead end, a found step recorded
// for phase 2, and a search state saved and resumed.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "CertifierTestSupport.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Poll.h"
#include "files/FileFormats.h"

namespace karvo::test {
namespace {

// One call of the search: position, level, N.
using TCall = std::tuple<int32_t, int32_t, std::string>;

// A search that finds nothing and remembers where it was asked.
TCurveSearch RecordingSearch(std::vector<TCall>& calls,
                             TCurveSearchResult result = TCurveSearchResult::NotFound) {
  return [&calls, result](TCertifier& certifier, int32_t& position) {
    calls.emplace_back(position, certifier.Level, BigToHex(certifier.N));
    return result;
  };
}

// Position 2 at level 1 (1 and 2 stand for the N-1 and N+1 steps there),
// then position 1 at each level up to 6.
std::vector<TCall> AllLevels(const std::string& n, int32_t firstLevel = 1) {
  std::vector<TCall> calls;
  for (int32_t level = firstLevel; level <= 6; ++level) {
    calls.emplace_back(level == 1 ? 2 : 1, level, n);
  }
  return calls;
}

class CertifierCurveSeamTest : public CertifierTest {
 protected:
  void ExpectImpossible(const TCertifyOutcome& outcome, int32_t fileIndex) {
    EXPECT_EQ(outcome.Status, CertifyFailed);
    EXPECT_EQ(outcome.Message, ImpossibleText);
    EXPECT_EQ(outcome.Raised, "");
    const TXFile out(WorkingName(fileIndex, ".out"));
    EXPECT_EQ(Value(out, HeaderSection, "Status"), ImpossibleText);
    EXPECT_FALSE(Exists(WorkingName(fileIndex, ".tmp")));
  }
};

TEST_F(CertifierCurveSeamTest, SearchedAtEveryLevel) {
  SCOPED_TRACE(SeedText());
  const std::string hex = UnsplittablePrime(200);
  std::vector<TCall> calls;
  std::vector<int32_t> levels;
  TCertifier certifier;
  certifier.CurveSearch = RecordingSearch(calls);
  certifier.OnLevel = [&levels](int32_t level) { levels.push_back(level); };
  ExpectImpossible(RunCertify(certifier, WriteInput("u.in", {{"N$", hex}}), 1), 1);
  EXPECT_EQ(calls, AllLevels(hex));
  EXPECT_EQ(levels, (std::vector<int32_t>{2, 3, 4, 5, 6}));

  // A first level from the input: no N-1 or N+1 step above level 1.
  calls.clear();
  ExpectImpossible(RunCertify(certifier, WriteInput("u3.in", {{"N$", hex}, {"Run", "3"}}), 2), 2);
  EXPECT_EQ(calls, AllLevels(hex, 3));

  // A failing search ends the certification at once.
  calls.clear();
  certifier.CurveSearch = RecordingSearch(calls, TCurveSearchResult::Failure);
  ExpectImpossible(RunCertify(certifier, WriteInput("f.in", {{"N$", hex}}), 3), 3);
  EXPECT_EQ(calls, (std::vector<TCall>{{2, 1, hex}}));

  // A prime the steps reduce never gets there.
  calls.clear();
  certifier.CurveSearch = RecordingSearch(calls);
  const TCertifyOutcome outcome =
      RunCertify(certifier, WriteInput("c.in", {{"N$", CertifiablePrime(200).Hex}}), 4);
  EXPECT_EQ(outcome.Message, CertifiedText);
  EXPECT_TRUE(calls.empty());
}

TEST_F(CertifierCurveSeamTest, BacktracksOutOfADeadEnd) {
  SCOPED_TRACE(SeedText());
  const TDeadEnd& prime = DeadEndPrime(220);
  int32_t index = 1;
  for (const int32_t reports : {1, 0}) {
    SCOPED_TRACE(NumberedName("reports ", reports, ""));
    Settings.CertificationReports = reports;
    std::vector<TCall> calls;
    std::vector<int32_t> steps;
    TCertifier certifier;
    certifier.CurveSearch = RecordingSearch(calls);
    certifier.OnStep = [&steps](int32_t tests, int32_t, int32_t, int32_t) {
      steps.push_back(tests);
    };
    const std::string input =
        WriteInput(NumberedName("d", index, ".in"), {{"N$", prime.Hex}});
    ExpectImpossible(RunCertify(certifier, input, index), index);
    // The step to R, nothing for R at level 1, the step undone; the
    // candidate's N+1 step fails, and the levels go up from there.
    std::vector<TCall> expected = {{2, 1, prime.RHex}};
    for (const TCall& call : AllLevels(prime.Hex)) {
      expected.push_back(call);
    }
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(steps, (std::vector<int32_t>{0, 1, 0}));
    const TXFile out(WorkingName(index, ".out"));
    EXPECT_EQ(out.ReadInteger(HeaderSection, "TestCount", -1), 0);
    EXPECT_FALSE(out.SectionExists("1"));
    const std::string reportName = WorkingName(index, ".cr");
    EXPECT_EQ(Exists(reportName), reports != 0);
    if (reports != 0) {
      const TXFile report(reportName);
      EXPECT_GE(report.ReadInteger("Backtrack", "Count", -1), 1);
      EXPECT_EQ(Value(report, "Backtrack", "Rejected"), "1");
      EXPECT_EQ(Value(report, "1, backtrack #1", "R$"), prime.RHex);
      EXPECT_EQ(Value(report, "1, backtrack #1", "Type"), "1");
      EXPECT_EQ(report.ReadInteger("KARVO - Certification Report", "TestCount", -1), 0);
    }
    ++index;
  }
}

TEST_F(CertifierCurveSeamTest, FoundStepGoesToPhase2) {
  SCOPED_TRACE(SeedText());
  const std::string hex = UnsplittablePrime(200);
  const TCertifiable& smaller = CertifiablePrime(150, 4);
  int32_t searches = 0;
  TCertifier certifier;
  certifier.CurveSearch = [&](TCertifier& c, int32_t& position) {
    ++searches;
    EXPECT_EQ(BigToHex(c.N), hex);
    BigSetWord(c.S, 6);
    BigFromString(c.R, smaller.Hex, 16);
    c.FoundType = -3;
    c.FoundDiscriminant = 3;
    c.FoundKeys = {{"G$", "5"}};
    position = 2;
    return TCurveSearchResult::Found;
  };
  const std::string input = WriteInput("u.in", {{"N$", hex}});
  TCertifyOutcome outcome = RunCertify(certifier, input, 1);
  // No curve step can be completed yet.
  EXPECT_EQ(outcome.Status, CertifyRejected);
  EXPECT_EQ(outcome.Message, "ABORTED DUE TO INTERNAL ERROR 2.15.1");
  EXPECT_EQ(outcome.Raised, "EKV: Internal error 2.15.1");
  EXPECT_EQ(LastInternalError, "2.15.1");
  EXPECT_EQ(searches, 1);

  const std::string tmp = WorkingName(1, ".tmp");
  ASSERT_TRUE(Exists(tmp));
  const TXFile file(tmp);
  EXPECT_EQ(Value(file, HeaderSection, "Status"), "ABORTED DUE TO INTERNAL ERROR 2.15.1");
  EXPECT_EQ(Value(file, ResumeSection, "pe"), "2");
  EXPECT_EQ(file.ReadInteger(HeaderSection, "TestCount", -1),
            static_cast<int32_t>(smaller.Tests.size()) + 1);
  const TXKeyValues first = {{"Type", "-3"},
                             {"S$", "6"},
                             {"R$", smaller.Hex},
                             {"dc", "3"},
                             {"rn", "1"},
                             {"pm", "2"},
                             {"ga", std::to_string(200 - smaller.Bits)},
                             {"G$", "5"}};
  for (const auto& [key, value] : first) {
    EXPECT_EQ(Value(file, "1", key), value) << key;
  }
  // The rest of the chain is the N-1/N+1 descent of R.
  for (size_t i = 0; i + 1 < smaller.Tests.size(); ++i) {
    const std::string section = std::to_string(i + 2);
    EXPECT_EQ(file.ReadInteger(section, "Type", 0), -smaller.Tests[i].Type) << section;
    EXPECT_EQ(Value(file, section, "R$"), smaller.Tests[i].R) << section;
  }
  const TXFile report(WorkingName(1, ".cr"));
  EXPECT_EQ(Value(report, "1", "Type"), "3");
  EXPECT_EQ(Value(report, "1", "D"), "-3");

  // Resumed, the pending curve test goes to the completion with its N.
  std::vector<std::pair<int32_t, int32_t>> completions;
  TCertifier resumed;
  resumed.CurveCompletion = [&](TCertifier& c, int32_t i, int32_t type) {
    completions.emplace_back(i, type);
    EXPECT_EQ(BigToHex(c.N), hex);
    throw EKVAbortSilent("stop");
  };
  outcome = RunCertify(resumed, tmp, 1);
  EXPECT_EQ(outcome.Status, CertifyRejected);
  EXPECT_EQ(outcome.Message, "Aborted");
  EXPECT_EQ(outcome.Raised, "EKVAbortSilent");
  EXPECT_EQ(completions, (std::vector<std::pair<int32_t, int32_t>>{{1, -3}}));
  EXPECT_EQ(Value(TXFile(tmp), HeaderSection, "Status"), "Aborted");
}

TEST_F(CertifierCurveSeamTest, SavedSearchStateIsResumed) {
  SCOPED_TRACE(SeedText());
  const std::string hex = UnsplittablePrime(200, 1);
  PollingOn polling;
  std::vector<TCall> calls;
  TCertifier certifier;
  // At level 3 the search saves its place and the user stops it.
  certifier.CurveSearch = [&calls](TCertifier& c, int32_t& position) {
    calls.emplace_back(position, c.Level, BigToHex(c.N));
    if (c.Level == 3) {
      c.SaveSearchState(77);
      AbortNow();
      CheckPoll();
    }
    return TCurveSearchResult::NotFound;
  };
  TCertifyOutcome outcome = RunCertify(certifier, WriteInput("u.in", {{"N$", hex}}), 1);
  EXPECT_EQ(outcome.Message, "Aborted by user");
  EXPECT_EQ(outcome.Raised, "EKVAbort");
  EXPECT_EQ(calls, (std::vector<TCall>{{2, 1, hex}, {1, 2, hex}, {1, 3, hex}}));
  const std::string tmp = WorkingName(1, ".tmp");
  const TXFile file(tmp);
  EXPECT_EQ(Value(file, ResumeSection, "ar"), "3");
  EXPECT_EQ(Value(file, ResumeSection, "ap"), "77");

  calls.clear();
  TCertifier resumed;
  resumed.CurveSearch = RecordingSearch(calls);
  ExpectImpossible(RunCertify(resumed, tmp, 1), 1);
  std::vector<TCall> expected = {{77, 3, hex}};
  for (const TCall& call : AllLevels(hex, 4)) {
    expected.push_back(call);
  }
  EXPECT_EQ(calls, expected);
}

}  // namespace
}  // namespace karvo::test
