#include "certifs/CurveSeam.h"

#include "base/Errors.h"

namespace karvo {

TCurveSearchResult CurveSearchUnavailable(TCertifier&, int32_t&) {
  return TCurveSearchResult::NotFound;
}

void CurveCompletionUnavailable(TCertifier&, int32_t, int32_t) { InternalError(2, 15, 1); }

}  // namespace karvo
