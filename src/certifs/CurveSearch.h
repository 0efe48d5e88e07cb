#pragma once

// Phase 1 of the elliptic-curve step: a discriminant -d' of the level's list
// (or, at level 6, of a direct enumeration) for which 4N = u^2 + d'·v^2 and
// one of the curve orders N + 1 ± u (and at level 1 the extra orders of
// d = 1 and d = 3) is a small part times a probable prime q. No class
// polynomial is built here.

#include <cstdint>

#include "certifs/Certifier.h"

namespace karvo {

// The certifier's curve search (TCurveSearch).
TCurveSearchResult SearchCurve(TCertifier& certifier, int32_t& position);

// Bits a step at this level must remove from an N of `bits` bits, when
// `tests` tests are recorded.
int32_t CurveMinimumGain(int32_t level, int32_t bits, int32_t tests);

// Whether the index d (discriminant -d or -4d) is one of class number one.
bool IsClassNumberOneIndex(uint32_t d);

// The discriminant index d ≥ 1 that the next level-6 position after d tries
// for an N of the given residue mod 8: only d whose 2-part character is +1.
uint32_t NextLevel6Index(uint32_t d, int32_t nMod8);

}  // namespace karvo
