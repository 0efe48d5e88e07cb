// karvo-bench-verify: certificate verification against a plain GMP check of
// the same tests, one CSV line per certificate of tests/data that is a
// proof with a complete, matching signature:
//
//   file,bits,tests,karvo_full_ms,karvo_signature_only_ms,reference_ms,full_over_reference
//
// karvo_full_ms and karvo_signature_only_ms time TVerifier::Verify in full
// and in signature-only mode, each on a fresh copy of the certificate (the
// copy is not timed; full mode rewrites the file). reference_ms times the
// reference, which reads the file and checks every test with mpz: powm for
// N-1 tests, a Lucas V ladder for N+1 tests, Jacobian double-and-add for the
// curve tests and mpz_probab_prime_p for the last one. It has no signature
// to compute and no file to save, so the ratio overstates how much slower
// our arithmetic is. Every time is the median of several runs (5, or 3 when
// one takes over a second).
//
// The copies live in a folder under TMPDIR, and full mode's two saves sync
// the file: on a busy disk the syncs outweigh the arithmetic of the small
// certificates. TMPDIR=/dev/shm leaves the disk out.
//
//   karvo-bench-verify [test data folder, default tests/data]

#include <gmp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "arith/BigInt.h"
#include "base/Globals.h"
#include "base/Settings.h"
#include "checks/Verifier.h"
#include "files/TXFile.h"
#include "support/MpzValue.h"
#include "support/TsvRows.h"

#ifndef KARVO_TESTDATA_DIR
#define KARVO_TESTDATA_DIR "testdata"
#endif

namespace karvo {
namespace {

namespace fs = std::filesystem;
using test::MpzValue;

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "karvo-bench-verify: %s\n", message.c_str());
  std::exit(1);
}

// ---- The certificate as the reference reads it ----

// The file through the program's own reader, which the reference shares with
// the verifier: only the checks are meant to differ.
TXFile LoadCertificate(const fs::path& path) {
  if (!fs::is_regular_file(path)) {
    Die("cannot read " + path.string());
  }
  try {
    return TXFile(path.string());
  } catch (const std::exception& error) {
    Die("cannot read " + path.string() + ": " + error.what());
  }
}

std::string Value(const TXFile& file, const std::string& section, const std::string& key) {
  if (!file.SectionExists(section)) {
    Die("section [" + section + "] not found");
  }
  if (!file.ValueExists(section, key)) {
    Die("key " + key + " not found in [" + section + "]");
  }
  return file.ReadString(section, key);
}

void ReadHex(mpz_ptr x, const TXFile& file, const std::string& section, const std::string& key) {
  if (mpz_set_str(x, Value(file, section, key).c_str(), 16) != 0) {
    Die(key + " of [" + section + "] is not a hexadecimal number");
  }
}

// ---- Reference tests; each returns "" when the test holds ----

std::string ReferenceNMinus1(mpz_srcptr N, mpz_srcptr S, mpz_srcptr R, mpz_srcptr B) {
  MpzValue w, t;
  mpz_mul(t, S, R);
  mpz_add_ui(t, t, 1);
  if (mpz_cmp(t, N) != 0) {
    return "S*R + 1 <> N";
  }
  mpz_powm(w, B, S, N);
  mpz_sub_ui(t, w, 1);
  mpz_gcd(t, t, N);
  if (mpz_cmp_ui(t, 1) != 0) {
    return "gcd(B^S - 1, N) <> 1";
  }
  mpz_powm(w, w, R, N);
  return mpz_cmp_ui(w, 1) == 0 ? "" : "B^(N-1) mod N <> 1";
}

// v := V_k(P, Q) mod N by the ladder on (V_m, V_m+1) and Q^m:
// V_2m = V_m^2 - 2Q^m, V_2m+1 = V_m V_m+1 - P Q^m, V_2m+2 = V_m+1^2 - 2Q^m+1.
void LucasV(mpz_ptr v, mpz_srcptr k, mpz_srcptr P, mpz_srcptr Q, mpz_srcptr N) {
  MpzValue low, high, q, t;
  mpz_set_ui(low, 2);
  mpz_mod(high, P, N);
  mpz_set_ui(q, 1);
  for (auto bit = static_cast<int64_t>(mpz_sizeinbase(k, 2)) - 1; bit >= 0 && mpz_sgn(k) > 0; --bit) {
    if (mpz_tstbit(k, static_cast<mp_bitcnt_t>(bit)) != 0) {
      mpz_mul(low, low, high);
      mpz_submul(low, P, q);
      mpz_mod(low, low, N);
      mpz_mul(high, high, high);
      mpz_mul(t, q, Q);
      mpz_submul_ui(high, t, 2);
      mpz_mod(high, high, N);
      mpz_mul(q, q, q);
      mpz_mul(q, q, Q);
    } else {
      mpz_mul(high, high, low);
      mpz_submul(high, P, q);
      mpz_mod(high, high, N);
      mpz_mul(low, low, low);
      mpz_submul_ui(low, q, 2);
      mpz_mod(low, low, N);
      mpz_mul(q, q, q);
    }
    mpz_mod(q, q, N);
  }
  mpz_mod(v, low, N);
}

std::string ReferenceNPlus1(mpz_srcptr N, mpz_srcptr S, mpz_srcptr R, mpz_srcptr Q) {
  MpzValue t, P, D, k, v;
  mpz_mul(t, S, R);
  mpz_sub_ui(t, t, 1);
  if (mpz_cmp(t, N) != 0) {
    return "S*R - 1 <> N";
  }
  // P is not stored: 2 for a positive odd Q, else 1.
  mpz_set_ui(P, mpz_sgn(Q) > 0 && mpz_odd_p(Q) ? 2 : 1);
  mpz_mul(D, P, P);
  mpz_submul_ui(D, Q, 4);
  mpz_mod(D, D, N);
  if (mpz_jacobi(D, N) != -1) {
    return "Jacobi(D, N) <> -1";
  }
  mpz_add_ui(k, N, 1);
  mpz_fdiv_q_2exp(k, k, 1);
  LucasV(v, k, P, Q, N);
  if (mpz_sgn(v) != 0) {
    return "V[(N+1)/2] mod N <> 0";
  }
  mpz_fdiv_q_2exp(k, S, 1);
  LucasV(v, k, P, Q, N);
  return mpz_sgn(v) != 0 ? "" : "V[S/2] mod N = 0";
}

// Jacobian points (X/Z^2, Y/Z^3) on y^2 = x^3 + a x + b modulo N; Z = 0 is
// the identity.
class TCurve {
 public:
  TCurve(mpz_srcptr a, mpz_srcptr N) : a_(a), N_(N) {}

  // (X, Y, Z) := [k](x, y) for k >= 1.
  void Multiply(mpz_ptr X, mpz_ptr Y, mpz_ptr Z, mpz_srcptr x, mpz_srcptr y, mpz_srcptr k) {
    mpz_set(X, x);
    mpz_set(Y, y);
    mpz_set_ui(Z, 1);
    for (auto bit = static_cast<int64_t>(mpz_sizeinbase(k, 2)) - 2; bit >= 0; --bit) {
      Double(X, Y, Z);
      if (mpz_tstbit(k, static_cast<mp_bitcnt_t>(bit)) != 0) {
        Add(X, Y, Z, x, y);
      }
    }
  }

 private:
  void Reduce(mpz_ptr x) { mpz_mod(x, x, N_); }

  void Double(mpz_ptr X, mpz_ptr Y, mpz_ptr Z) {
    if (mpz_sgn(Z) == 0) {
      return;
    }
    mpz_mul(yy_, Y, Y);
    Reduce(yy_);
    mpz_mul(s_, X, yy_);
    mpz_mul_2exp(s_, s_, 2);
    Reduce(s_);  // S = 4 X Y^2
    mpz_mul(m_, Z, Z);
    Reduce(m_);
    mpz_mul(m_, m_, m_);
    Reduce(m_);
    mpz_mul(m_, m_, a_);
    mpz_mul(t_, X, X);
    mpz_addmul_ui(m_, t_, 3);
    Reduce(m_);  // M = 3 X^2 + a Z^4
    mpz_mul(Z, Z, Y);
    mpz_mul_2exp(Z, Z, 1);
    Reduce(Z);  // Z3 = 2 Y Z
    mpz_mul(X, m_, m_);
    mpz_submul_ui(X, s_, 2);
    Reduce(X);  // X3 = M^2 - 2S
    mpz_sub(t_, s_, X);
    mpz_mul(Y, m_, t_);
    mpz_mul(yy_, yy_, yy_);
    mpz_submul_ui(Y, yy_, 8);
    Reduce(Y);  // Y3 = M (S - X3) - 8 Y^4
  }

  // (X, Y, Z) += (x, y), an affine point.
  void Add(mpz_ptr X, mpz_ptr Y, mpz_ptr Z, mpz_srcptr x, mpz_srcptr y) {
    if (mpz_sgn(Z) == 0) {
      mpz_set(X, x);
      mpz_set(Y, y);
      mpz_set_ui(Z, 1);
      return;
    }
    mpz_mul(zz_, Z, Z);
    Reduce(zz_);
    mpz_mul(h_, x, zz_);
    mpz_sub(h_, h_, X);
    Reduce(h_);  // H = x Z^2 - X
    mpz_mul(r_, zz_, Z);
    Reduce(r_);
    mpz_mul(r_, r_, y);
    mpz_sub(r_, r_, Y);
    Reduce(r_);  // r = y Z^3 - Y
    if (mpz_sgn(h_) == 0) {
      if (mpz_sgn(r_) == 0) {
        Double(X, Y, Z);
      } else {
        mpz_set_ui(Z, 0);
      }
      return;
    }
    mpz_mul(hh_, h_, h_);
    Reduce(hh_);
    mpz_mul(hhh_, hh_, h_);
    Reduce(hhh_);
    mpz_mul(v_, X, hh_);
    Reduce(v_);  // V = X H^2
    mpz_mul(Z, Z, h_);
    Reduce(Z);  // Z3 = Z H
    mpz_mul(X, r_, r_);
    mpz_sub(X, X, hhh_);
    mpz_submul_ui(X, v_, 2);
    Reduce(X);  // X3 = r^2 - H^3 - 2V
    mpz_sub(t_, v_, X);
    mpz_mul(t_, t_, r_);
    mpz_mul(hhh_, hhh_, Y);
    mpz_sub(Y, t_, hhh_);
    Reduce(Y);  // Y3 = r (V - X3) - Y H^3
  }

  mpz_srcptr a_;
  mpz_srcptr N_;
  MpzValue yy_, s_, m_, t_, zz_, h_, r_, hh_, hhh_, v_;
};

// Types 3 (A, B given) and 4 (A and B from J).
std::string ReferenceCurve(mpz_srcptr N, mpz_srcptr S, mpz_srcptr R, mpz_srcptr A0, mpz_srcptr B0,
                           mpz_srcptr T, int type) {
  if (mpz_even_p(N) || mpz_cmp_ui(N, 5) < 0 || mpz_divisible_ui_p(N, 3)) {
    return "N is not a valid curve modulus";
  }
  MpzValue bound, root;
  mpz_sqrt(bound, N);
  mpz_sqrt(root, bound);
  mpz_addmul_ui(bound, root, 2);
  mpz_add_ui(bound, bound, 6);
  if (mpz_cmp(R, bound) <= 0) {
    return "R <= N^(1/2) + 2 N^(1/4) + 6";
  }
  MpzValue A, B, t, u, x, y, a, b;
  if (type == 4) {
    // A = 3J(1728 - J), B = 2J(1728 - J)^2.
    mpz_ui_sub(t, 1728, A0);
    mpz_mul(A, A0, t);
    mpz_mod(A, A, N);
    mpz_mul(B, A, t);
    mpz_mul_ui(B, B, 2);
    mpz_mod(B, B, N);
    mpz_mul_ui(A, A, 3);
    mpz_mod(A, A, N);
  } else {
    mpz_mod(A, A0, N);
    mpz_mod(B, B0, N);
  }
  // u = T^3 + A T + B; the point (T u, u^2) lies on y^2 = x^3 + A u^2 x + B u^3.
  mpz_mul(u, T, T);
  mpz_add(u, u, A);
  mpz_mul(u, u, T);
  mpz_add(u, u, B);
  mpz_mod(u, u, N);
  mpz_mul(x, T, u);
  mpz_mod(x, x, N);
  mpz_mul(y, u, u);
  mpz_mod(y, y, N);
  mpz_mul(a, A, y);
  mpz_mod(a, a, N);
  mpz_mul(b, B, y);
  mpz_mul(b, b, u);
  mpz_mod(b, b, N);
  // 4a^3 + 27b^2.
  mpz_powm_ui(t, a, 3, N);
  mpz_mul_ui(t, t, 4);
  mpz_mul(u, b, b);
  mpz_addmul_ui(t, u, 27);
  mpz_mod(t, t, N);
  if (mpz_sgn(t) == 0) {
    return "E(a,b)/N is not a valid curve";
  }
  TCurve curve(a, N);
  MpzValue X, Y, Z;
  curve.Multiply(X, Y, Z, x, y, S);
  if (mpz_sgn(Z) == 0) {
    return "[S]P is the identity point";
  }
  if (mpz_invert(t, Z, N) == 0) {
    return "Z of [S]P is not invertible modulo N";
  }
  // To affine: (X / Z^2, Y / Z^3).
  mpz_mul(u, t, t);
  mpz_mod(u, u, N);
  mpz_mul(x, X, u);
  mpz_mod(x, x, N);
  mpz_mul(u, u, t);
  mpz_mul(y, Y, u);
  mpz_mod(y, y, N);
  curve.Multiply(X, Y, Z, x, y, R);
  return mpz_sgn(Z) == 0 ? "" : "[R][S]P is not the identity point";
}

// Checks every test of the certificate and that the chain ends with a type 0
// test on a prime of at most 48 bits; "" when it does.
std::string ReferenceCheck(const TXFile& file) {
  const std::string header = "KARVO - Primality Certificate";
  const int count = std::stoi(Value(file, header, "TestCount"));
  MpzValue N, S, R, A, B, T;
  ReadHex(N, file, "Candidate", "N$");
  for (int i = 1; i <= count; ++i) {
    const std::string section = std::to_string(i);
    const int type = std::stoi(Value(file, section, "Type"));
    std::string failure;
    if (type == 0) {
      if (i != count) {
        return "a type 0 test before the last";
      }
      if (mpz_sizeinbase(N, 2) > 48 || mpz_probab_prime_p(N, 25) == 0) {
        return "the last N is not a prime of at most 48 bits";
      }
      return "";
    }
    ReadHex(S, file, section, "S$");
    ReadHex(R, file, section, "R$");
    switch (type) {
      case 1:
        ReadHex(B, file, section, "B$");
        failure = ReferenceNMinus1(N, S, R, B);
        break;
      case 2:
        ReadHex(B, file, section, "Q$");
        failure = ReferenceNPlus1(N, S, R, B);
        break;
      case 3:
        ReadHex(A, file, section, "A$");
        ReadHex(B, file, section, "B$");
        ReadHex(T, file, section, "T$");
        failure = ReferenceCurve(N, S, R, A, B, T, 3);
        break;
      case 4:
        ReadHex(A, file, section, "J$");
        ReadHex(T, file, section, "T$");
        failure = ReferenceCurve(N, S, R, A, B, T, 4);
        break;
      default:
        failure = "unknown test type " + std::to_string(type);
    }
    if (!failure.empty()) {
      return "test " + section + ": " + failure;
    }
    mpz_set(N, R);
  }
  return "the chain does not end with a type 0 test";
}

// ---- Timing ----

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The median of 5 runs, or of 3 when the first takes over a second; prepare
// runs untimed before each.
double Median(const std::function<void()>& prepare, const std::function<double()>& run) {
  std::vector<double> times;
  int runs = 5;
  for (int i = 0; i < runs; ++i) {
    prepare();
    times.push_back(run());
    if (i == 0 && times.front() > 1000) {
      runs = 3;
    }
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// A private folder for the copies that Verify may rewrite.
class TScratchFolder {
 public:
  TScratchFolder() {
    path_ = (fs::temp_directory_path() / "karvo-bench-XXXXXX").string();
    if (::mkdtemp(path_.data()) == nullptr) {
      Die("cannot create a temporary folder");
    }
  }
  ~TScratchFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

double TimeVerify(TVerifier& verifier, const fs::path& source, const std::string& copy,
                  int32_t signaturesOnly) {
  const char* expected = signaturesOnly != 0 ? "Valid signature" : "Valid certificate";
  return Median(
      [&] {
        std::error_code error;
        fs::copy_file(source, copy, fs::copy_options::overwrite_existing, error);
        if (error) {
          Die("cannot copy " + source.string() + ": " + error.message());
        }
        // A read-only source (a checkout's or a copy's) makes a read-only copy.
        fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write, error);
        Settings.CheckSignaturesOnly = signaturesOnly;
      },
      [&] {
        const auto start = Clock::now();
        try {
          verifier.Verify(copy, 1);
        } catch (const std::exception& error) {
          Die(source.filename().string() + ": Verify raised \"" + error.what() + "\"");
        }
        const double ms = Milliseconds(start);
        if (verifier.Status != VerifyValid || verifier.Message != expected) {
          Die(source.filename().string() + ": Verify gave status " + std::to_string(verifier.Status) +
              ", \"" + verifier.Message + "\" instead of \"" + expected + "\"");
        }
        return ms;
      });
}

// The files marked as proofs with a complete, matching signature.
std::vector<std::string> SelectCertificates(const fs::path& expected) {
  std::vector<test::TRow> rows;
  std::string error;
  if (!test::ReadRows(expected.string(), rows, error)) {
    Die(error);
  }
  std::vector<std::string> names;
  for (const test::TRow& row : rows) {
    if (row.size() >= 3 && row[1] == "VALID" && row[2] == "valid") {
      names.push_back(row[0]);
    }
  }
  if (names.empty()) {
    Die("no valid certificate listed in " + expected.string());
  }
  return names;
}

}  // namespace
}  // namespace karvo

int main(int argc, char** argv) {
  using namespace karvo;
  BaseStartup();
  BigStartup();
  Settings.DoubleFileManagement = 0;
  const fs::path certificates = fs::path(argc > 1 ? argv[1] : KARVO_TESTDATA_DIR) / "certificates";
  const std::vector<std::string> names = SelectCertificates(certificates / "expected.tsv");
  const TScratchFolder folder;
  TVerifier verifier;
  std::printf("file,bits,tests,karvo_full_ms,karvo_signature_only_ms,reference_ms,full_over_reference\n");
  std::fflush(stdout);
  for (const std::string& name : names) {
    const fs::path source = certificates / name;
    const std::string copy = folder.Path() + "/" + name;
    const TXFile file = LoadCertificate(source);
    const int tests = std::stoi(Value(file, "KARVO - Primality Certificate", "TestCount"));
    MpzValue N;
    ReadHex(N, file, "Candidate", "N$");
    const auto bits = static_cast<int>(mpz_sizeinbase(N, 2));

    const std::string failure = ReferenceCheck(file);
    if (!failure.empty()) {
      Die(name + ": the reference rejects the certificate: " + failure);
    }
    const double reference = Median([] {},
                                    [&] {
                                      const auto start = Clock::now();
                                      const TXFile again = LoadCertificate(source);
                                      if (!ReferenceCheck(again).empty()) {
                                        Die(name + ": the reference changed its mind");
                                      }
                                      return Milliseconds(start);
                                    });
    const double full = TimeVerify(verifier, source, copy, 0);
    const double quick = TimeVerify(verifier, source, copy, 1);
    std::printf("%s,%d,%d,%.2f,%.2f,%.2f,%.2f\n", name.c_str(), bits, tests, full, quick, reference,
                full / reference);
    std::fflush(stdout);
  }
  BigShutdown();
  return 0;
}
