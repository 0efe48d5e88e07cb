#include <algorithm>
#include <array>

#include "base/Errors.h"
#include "classpolys/ClassInvariants.h"

namespace karvo {

int32_t ChooseInvariant(uint32_t m, int32_t level) {
  const uint32_t k = m % 4 == 0 ? m / 4 : m;
  const uint32_t r = k % 8;
  const uint32_t disc = k % 4 == 1 || k % 4 == 2 ? 4 * k : k;
  constexpr std::array<uint32_t, 9> classNumberOne = {1, 2, 3, 7, 11, 19, 43, 67, 163};
  if (std::find(classNumberOne.begin(), classNumberOne.end(), k) != classNumberOne.end()) {
    return 0;
  }
  const bool by3 = k % 3 == 0;
  const bool r126 = r == 1 || r == 2 || r == 6;
  if (!by3 && r == 7) return -1;
  if (!by3 && r126) return -2;
  if (by3 && r == 7) return -3;
  if (!by3 && r == 5) return -4;
  if (!by3 && k % 5 == 0) return 15;
  if (k % 13 == 0) return 13;
  if (level >= 4 && !by3 && k % 17 == 0) return 51;
  if (level >= 3 && k % 37 == 0) return 37;
  if (by3 && (disc / 3) % 12 == 4) return 9;
  if (by3 && r126) return -6;
  if (k % 7 == 0) return 7;
  if (level >= 3 && k % 19 == 0) return 19;
  if (k % 5 == 0) return 5;
  if (by3 && r == 5) return -12;
  if (level >= 4 && k % 17 == 0) return 17;
  // gamma2 is no class invariant when 3 divides the discriminant.
  if (by3) return 3;
  return r == 3 ? 2 : 0;
}

TInvariantSpec GetInvariantSpec(int32_t code) {
  switch (code) {
    case 1: return {1, 0, 0};
    case 2: return {2, 0, 0};
    case 3: return {3, 3, 12};
    case 5: return {5, 5, 6};
    case 7: return {7, 7, 4};
    case 9: return {9, 3, 4};
    case 13: return {13, 13, 2};
    case 15: return {15, 5, 2};
    case 17: return {17, 17, 6};
    case 19: return {19, 19, 4};
    case 37: return {37, 37, 2};
    case 51: return {51, 17, 2};
    default: return {};
  }
}

TWeberParams GetWeberParams(int32_t code) {
  switch (code) {
    case -12:
    case -4: return {6, 4};
    case -6:
    case -2: return {3, 2};
    case -3:
    case -1: return {3, 1};
    default: InternalError(1002, 1, 1);
  }
}

}  // namespace karvo
