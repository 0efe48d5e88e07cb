#pragma once

// Reduced positive definite binary quadratic forms of an imaginary quadratic
// discriminant: enumeration, class number, genera, composition and the walk
// through the class group. Plain 32-bit arithmetic, 64-bit (128-bit where a
// square may exceed 64 bits) in composition and reduction. Failures are
// InternalError(11, ...).
//
// Full representation (a, b, c): a·x² + b·x·y + c·y², discriminant b² − 4ac = −D.
// Half representation (a, b, c): a·x² + 2b·x·y + c·y², determinant b² − ac = −Δ.

#include <cstdint>
#include <vector>

#include "arith/Words.h"

namespace karvo {

struct TQuadForm {
  int32_t A = 0;
  int32_t B = 0;   // ≥ 0 in a list; b of 2b·x·y in the half representation
  int32_t C = 0;
  int32_t M = 0;   // odd, ≥ 3, prime to D, represented by the form
  uint32_t Genus = 0;
  uint8_t Single = 0;  // ambiguous: counts once in the class number
};

struct TQuadForm32 {
  int32_t A = 0;
  int32_t B = 0;
  int32_t C = 0;
  bool operator==(const TQuadForm32&) const = default;
};
using TDynQuadForm32Array = std::vector<TQuadForm32>;

inline constexpr int32_t QFormMaxFactors = 16;
inline constexpr int32_t QFormMaxGenera = 32;

class TQFormList {
 public:
  uint32_t D = 0;  // D (full) or Δ (half)
  std::vector<TQuadForm> Forms;  // Count records in use of Capacity
  int32_t Capacity = 0;
  int32_t Count = 0;
  int32_t Factors[QFormMaxFactors] = {};  // prime discriminant codes, negative first
  int32_t FactorCount = 0;
  int32_t NegFactorCount = 0;
  int32_t GenusFieldValues[QFormMaxGenera] = {};
  int8_t GenusSigns[QFormMaxGenera][QFormMaxGenera] = {};
  int32_t ClassNumber = 0;
  int32_t GenusCount = 0;
  bool GeneraDone = false;
  bool SignsDone = false;
  bool FullB = true;

  // D ≡ 0 or 3 (mod 4), else 11.113.1. code ≤ 0 with D odd: half forms of
  // determinant D; otherwise full forms of discriminant −D, halved when code < 0.
  void Build(uint32_t d, int32_t invariantCode, bool withGenera);
  void ComputeGenera();
  void ComputeGenusSigns();  // needs the genera, else 11.101.1

  TQuadForm GetForm(int32_t index) const;                  // 11.103.1
  int32_t GetFactor(int32_t index) const;                  // 11.102.1
  int32_t GetGenusFieldValue(int32_t index) const;         // 11.107.1
  int32_t GetGenusSign(int32_t row, int32_t column) const; // 11.112.1

 private:
  void Clear();
  void AddForm(int32_t a, int32_t b, int32_t c, bool single);
  void EnumerateFull();
  void EnumerateHalf();
  void FactorDiscriminant();
  int32_t RepresentedValue(const TQuadForm& form) const;
};

struct TGcdResult {
  int32_t G = 0;
  int32_t X = 0;
  int32_t Y = 0;
};
// x·a + y·b = g ≥ 0.
TGcdResult ExtendedGcd(int32_t a, int32_t b);

// The reduced form equivalent to (a, b, c), full representation.
TQuadForm32 ReduceForm(int64_t a, int64_t b, int64_t c);
// Reduced f1·f2 of discriminant −D.
TQuadForm32 ComposeForms(const TQuadForm32& f1, const TQuadForm32& f2, uint32_t d);

// Exactly h reduced forms, b ascending then a ascending, each twin (a, −b, c)
// right after (a, b, c) when bothSigns; any other count is 11.1.x / 11.3.x.
TDynQuadForm32Array ListForms(uint32_t d, int32_t h, bool bothSigns);
TDynQuadForm32Array ListHalfForms(uint32_t delta, int32_t h, bool bothSigns);

// Walk of the class group of key m by up to three generators (indices into
// the form array, count code 0..2 for 1..3 of them, else 11.5.1): the result
// holds, for every form's place, the position (i·o2 + j)·o3 + k of g1^i·g2^j·g3^k.
TDynSInt32Array BuildOrderedForms(uint32_t m, int32_t h, const int32_t generators[3],
                                  int32_t generatorCountCode, const int32_t orders[3]);

}  // namespace karvo
