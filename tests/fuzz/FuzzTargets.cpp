// The libFuzzer targets, one binary each named by KARVO_FUZZ_TARGET. Besides
// crashes, leaks and sanitizer reports, a broken consistency check fails one.

#include <gmp.h>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include "arith/Expression.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "base/Poll.h"
#include "base/Settings.h"
#include "checks/Verifier.h"
#include "classpolys/DataFiles.h"
#include "files/TXFile.h"

namespace karvo::fuzz {
namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  __builtin_trap();
}

// A private folder for the files a target writes, removed at a normal exit;
// syncs would slow the fuzzer a hundredfold and prove nothing here.
std::string ScratchPath(const char* name) {
  struct Folder : TFileSystemOps {
    std::string path = std::filesystem::temp_directory_path() / "karvo-fuzz-XXXXXX";
    Folder() { Check(::mkdtemp(path.data()) != nullptr && (SetFileSystemOps(this), true), "no folder"); }
    ~Folder() override { std::error_code error; std::filesystem::remove_all(path, error); }
    int Fsync(int) override { return 0; }
  };
  static Folder folder;
  return folder.path + "/" + name;
}

// Until Disarm, every poll reaches a handler that stands in for the user who
// aborts an overlong run, which also keeps the abort path under the fuzzer.
void AbortAfter(int milliseconds) {
  SetPollHandler([end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds)] {
    PollFlag = 1;
    if (std::chrono::steady_clock::now() > end) RequestAbort();
  });
  PollFlag = 1;
}
void Disarm() { ClearPollHandler(), AbortRequested = 0; }

// A "$" value by the format's rules, not the program's parser: blanks (TAB, LF,
// CR, space, backslash) anywhere, one leading sign, hexadecimal digits or none.
bool ReadHex(const TXFile& file, std::string_view section, std::string_view key, mpz_t x) {
  const std::string text = file.ReadString(section, key);
  const size_t first = text.find_first_not_of("\t\n\r \\");
  std::string digits = first != std::string::npos && text[first] == '-' ? "-0" : "0";
  for (size_t i = 0; i < text.size(); ++i) {
    if (std::isxdigit(static_cast<unsigned char>(text[i])) != 0) {
      digits += text[i];
    } else if (!(i == first && (text[i] == '+' || text[i] == '-')) &&
               std::string_view("\t\n\r \\").find(text[i]) == std::string_view::npos) {
      return false;
    }
  }
  return mpz_set_str(x, digits.c_str(), 16) == 0;
}
// Full verification costs the cube of the size, tenfold under the sanitizers:
// only up to 16 KB, 100 hex digits of N, lines of 240 characters (a curve
// test's S is not tied to N), expressions short with one power, factorial or
// primorial of operands below 1000 at most, in no group (slow near the cap).
bool Small(const TXFile& file, size_t size) {
  const std::string n = file.ReadString("Candidate", "N$");
  const std::string expression = file.ReadString("Candidate", "Expression");
  const auto costly = std::count_if(expression.begin(), expression.end(),
                                    [](char c) { return c == '^' || c == '!' || c == '#'; });
  const bool longOperand = std::search_n(expression.begin(), expression.end(), 4, 0, [](char c, int) {
                             return std::isdigit(static_cast<unsigned char>(c)) != 0;
                           }) != expression.end();
  bool small = size <= 16 * 1024 && std::count_if(n.begin(), n.end(), ::isxdigit) <= 100 &&
               expression.size() <= 40 &&
               (costly == 0 || (costly == 1 && !longOperand && expression.find_first_of("()") == std::string::npos));
  for (const TXSection& section : file.Sections) {
    small = small && std::all_of(section.Lines.begin(), section.Lines.end(),
                                 [](const std::string& line) { return line.size() <= 240; });
  }
  return small;
}

// Every N of an accepted chain is prime by GMP, every test before the last
// has a test type, and the last is a type 0 test.
void CheckProof(const TXFile& file) {
  const int32_t count = file.ReadInteger("KARVO - Primality Certificate", "TestCount", 0);
  Check(count >= 1, "accepted without tests");
  mpz_t n;
  mpz_init(n);
  Check(ReadHex(file, "Candidate", "N$", n), "accepted a candidate that is not a number");
  for (int32_t i = 1; i <= count; ++i) {
    const std::string section = std::to_string(i);
    const int32_t type = file.ReadInteger(section, "Type", -1);
    Check(file.SectionExists(section), "accepted a missing test");
    Check(mpz_cmp_ui(n, 1) > 0 && mpz_probab_prime_p(n, 30) > 0, "accepted a composite N");
    Check(i < count ? type >= 1 && type <= 4 : type == 0, "accepted a test of a wrong type");
    Check(i == count || ReadHex(file, section, "R$", n), "accepted an R that is not a number");
  }
  mpz_clear(n);
}
// Valid or not; none after an abort or an internal error (ends without verdict).
std::optional<bool> Verdict(TVerifier& verifier, const std::string& path, int32_t signaturesOnly) {
  Settings.CheckSignaturesOnly = signaturesOnly;
  bool completed = false;
  AbortAfter(300);
  try { verifier.Verify(path, 1), completed = true; } catch (const EKV&) {}
  Disarm();
  const bool valid = verifier.Status == VerifyValid;
  Check(!completed || valid || verifier.Status == VerifyNotValid, "completed without a verdict");
  // Signature-only mode falls back to full mode without a complete signature.
  Check(!valid || (completed && verifier.ErrorPlace == 0 &&
                   (verifier.Message == "Valid certificate" ||
                    (signaturesOnly != 0 && verifier.Message == "Valid signature"))),
        "valid with a wrong report");
  return completed ? std::optional<bool>(valid) : std::nullopt;
}
std::string FileBytes(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}
// Every kind of key read, on a bounded sample: look-ups are linear scans.
void ReadKeys(const TXFile& file) {
  std::vector<std::string> keys;
  for (size_t i = 0; i < std::min<size_t>(file.Sections.size(), 64); ++i) {
    const std::string& name = file.Sections[i].Name;
    file.ReadKeyNames(name, keys);  // of the first section of that name
    for (size_t k = 0; k < std::min<size_t>(keys.size(), 64); ++k) {
      Check(file.ValueExists(name, keys[k]), "a listed key does not exist");
      (void)file.ReadString(name, keys[k]);
      (void)file.ReadInteger(name, keys[k], -1);
      (void)file.ReadInteger(name, keys[k]);
      (void)file.ReadInt64(name, keys[k]);
      BigInt x;
      try { file.ReadBigHex(name, keys[k], x); } catch (const EKV&) {}
    }
  }
  (void)file.ReadComments();
}

}  // namespace

// No value is malformed or beyond the cap; parentheses around a valid text,
// or a blank after an invalid one, change nothing. A step takes seconds at
// most, but kilobytes chain thousands: a short budget tries more texts.
void FuzzExpression(std::string_view text) {
  BigInt x, again;
  const auto evaluate = [](std::string_view text, BigInt& value) {
    AbortAfter(500);
    const int code = EvaluateExpression(value, text);
    Disarm();
    return code;
  };
  const int code = evaluate(text, x);
  const auto same = [&](const std::string& other) {  // out of budget proves nothing
    const int second = evaluate(other, again);
    return second == ExprFailed || (second == code && BigEqual(x, again));
  };
  Check(x.Capacity >= 0 && x.Capacity % 8 == 0 && x.Length >= 0 && x.Length <= x.Capacity &&
            (x.Sign == 0 || x.Sign == 1) &&
            (x.Length == 0 ? x.Sign == 0 : x.Words != nullptr && x.Words[x.Length - 1] != 0),
        "malformed result");
  if (code != ExprOk) {
    Check(BigIsZero(x), "a value left after an error");
    Check(code == ExprFailed || text.empty() || same(std::string(text) + " "),
          "a trailing blank changed the code");
  } else {
    Check(BigBitSize(x) <= ExpressionValueBitsCap, "value beyond the cap");
    Check(same("(" + std::string(text) + ")"), "parentheses changed the value");
  }
}

// Reads, edits steered by the content, and saves through the durable path:
// what loads comes back unchanged, a save writes the bytes of the sections.
void FuzzTXFile(std::string_view bytes) {
  const std::string path = ScratchPath("file.out");
  TXFile file;
  file.LoadFromBytes(bytes);
  ReadKeys(file);
  file.SaveAs(path);
  Check(FileBytes(path) == file.SaveToBytes(), "SaveAs wrote other bytes");
  TXFile again(path);
  Check(std::equal(file.Sections.begin(), file.Sections.end(), again.Sections.begin(),
                   again.Sections.end(),
                   [](auto& a, auto& b) { return a.Name == b.Name && a.Lines == b.Lines; }) &&
            again.SaveToBytes() == file.SaveToBytes(),
        "a reload changed the file");
  std::vector<std::string> keys;
  for (size_t i = 0; i < std::min<size_t>(again.Sections.size(), 8); ++i) {
    const std::string name = again.Sections[i].Name;
    again.ReadKeyNames(name, keys);
    if (!keys.empty()) {
      again.WriteString(name, keys.front(), again.ReadString(name, keys.back()));
      again.DeleteKey(name, keys.back());
    }
    again.WriteStrings(name, {{"k", name}, {name, "v"}});
    again.RenameSection(name, name + ", backtrack #1");
  }
  if (!again.Sections.empty()) {  // names passed by reference into the file's own sections
    again.AddComments(again.Sections.front().Name);
    again.EraseSection(again.Sections[again.Sections.size() / 2].Name);
  }
  ReadKeys(again);
  again.Save();
  Check(FileBytes(path) == again.SaveToBytes(), "Save wrote other bytes");
}

// Small certificates in signature-only mode, then in full mode on a fresh
// copy, then in signature-only mode again once full mode has signed them;
// large ones get the cheap structure pass alone.
void FuzzVerifier(std::string_view bytes) {
  static TVerifier verifier;  // reused across certificates, as in the programs
  [[maybe_unused]] static const bool started =
      (BaseStartup(), BigStartup(), Settings.DoubleFileManagement = 0, true);
  TXFile file;
  file.LoadFromBytes(bytes);
  if (!Small(file, bytes.size())) {
    try { (void)verifier.CheckStructure(file); } catch (const EKV&) {}  // from the layers below
    verifier.Clear();
    return;
  }
  const std::string path = ScratchPath("cert.out");
  std::ofstream(path, std::ios::binary) << bytes;
  const std::optional<bool> quick = Verdict(verifier, path, 1);
  std::ofstream(path, std::ios::binary) << bytes;
  const std::optional<bool> full = Verdict(verifier, path, 0);
  if (quick.value_or(false) || full.value_or(false)) CheckProof(file);
  Check(!quick.value_or(false) || full.value_or(true), "a signature made up for a failed test");
  if (full.value_or(false)) {
    Check(!TXFile(path).ValueExists("Signature", "ce"), "left a partial signature behind");
    Check(Verdict(verifier, path, 1).value_or(true), "rejected its own signature");
  }
}

// A class-group file of any content, as all four files: every look-up of a
// key it lists (or a neighbour) ends in a consistent record, a refusal that
// leaves the record cleared, or one of the reader's internal errors.
void FuzzGaloisData(std::string_view bytes) {
  [[maybe_unused]] static const bool started = (SetProgramFolder(ScratchPath("")), true);
  for (int32_t f = 1; f <= ClassGroupFileCount; ++f) {
    std::ofstream(ProgramFolder + ClassGroupFileName(f), std::ios::binary) << bytes;
  }
  for (size_t at = 68; at + 4 <= std::min<size_t>(bytes.size(), 68 + 4 * 16); at += 4) {
    uint32_t key = 0;
    std::memcpy(&key, bytes.data() + at, 4);
    for (const uint32_t m : {key, key + 1}) {
      TGaloisDat record;
      bool found = false;
      try {
        found = ReadGaloisData(record, m);
      } catch (const EKV&) {
        Check(LastInternalError == "1002.102.1" || LastInternalError == "1002.102.3",
              "an error other than the reader's");
        continue;
      }
      if (!found) {
        Check(record.Key == 0 && record.Code == 0 && record.Orders.empty() &&
                  record.Generators.empty() && record.LevelCount == 0,
              "a refused record not cleared");
        continue;
      }
      int64_t degrees = 1;
      for (int32_t i = 0; i < record.LevelCount; ++i) degrees *= record.LevelDegrees[i];
      Check(record.Key == m && record.LevelCount >= 2 && record.LevelCount <= 6 &&
                !record.Orders.empty() && record.Orders.size() <= 3 &&
                record.Generators.size() == record.Orders.size() &&
                degrees == record.ClassNumber && record.PrecisionWords >= 1,
            "an inconsistent record accepted");
      for (const int32_t generator : record.Generators) {
        Check(generator >= 0 && generator < record.ClassNumber, "a generator beyond the group");
      }
    }
  }
}

}  // namespace karvo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  karvo::fuzz::KARVO_FUZZ_TARGET(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
