#pragma once

// Phase 2 of a curve step: the curve with the recorded order and a point on
// it, written as the test's final record (type 3 for the curves of class
// number one, type 4 with the j-invariant otherwise).

#include <cstdint>

#include "certifs/Certifier.h"

namespace karvo {

// The certifier's curve completion (TCurveCompletion).
void CompleteCurveTest(TCertifier& certifier, int32_t i, int32_t type);

}  // namespace karvo
