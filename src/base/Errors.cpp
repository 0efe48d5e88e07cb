#include "base/Errors.h"

#include <cstdio>

#include "base/Globals.h"

namespace karvo {

namespace {
TInformHandler informHandler;
}

void RaiseError(const std::string& message) { throw EKV(message); }

void InternalError(int unit, int routine, int kase) {
  LastInternalError =
      std::to_string(unit) + "." + std::to_string(routine) + "." + std::to_string(kase);
  throw EKV("Internal error " + LastInternalError);
}

void SetInformHandler(TInformHandler handler) { informHandler = std::move(handler); }

void InformUser(const std::string& message) {
  if (informHandler) {
    informHandler(message);
  } else {
    std::fprintf(stderr, "%s\n", message.c_str());
  }
}

}  // namespace karvo
