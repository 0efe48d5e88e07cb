#pragma once

// Where the descent meets the elliptic-curve step. Until the curve step
// exists its search finds nothing, so a number that neither N-1 nor N+1
// reduces ends "Failed, impossible to certify last N", and a pending curve
// test (only a working file from elsewhere can hold one) cannot be
// completed.

#include <cstdint>

#include "certifs/Certifier.h"

namespace karvo {

TCurveSearchResult CurveSearchUnavailable(TCertifier& certifier, int32_t& position);
// Raises internal error 2.15.1.
void CurveCompletionUnavailable(TCertifier& certifier, int32_t i, int32_t type);

}  // namespace karvo
