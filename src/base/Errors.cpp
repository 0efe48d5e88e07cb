#include "base/Errors.h"

#include <cstdio>

#include "base/Constants.h"

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

std::string AbortOutcomeText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const EKVAbortSilent&) {
    return TextAborted;
  } catch (const EKVAbort&) {
    return TextAbortedByUser;
  } catch (const EKV& e) {
    const std::string text = e.what();
    const std::string prefix = "Internal error ";
    const std::string code = text.compare(0, prefix.size(), prefix) == 0
                                 ? text.substr(prefix.size())
                                 : text.substr(0, text.find_first_of("\r\n"));
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, TextAbortedInternalError, code.c_str());
    return buffer;
  } catch (...) {
    return TextAbortedUnknownException;
  }
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
