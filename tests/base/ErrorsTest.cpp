#include <gtest/gtest.h>

#include "base/Errors.h"
#include "base/Globals.h"

namespace karvo {
namespace {

TEST(InternalErrorTest, RaisesEkvWithJoinedCodeAndRecordsIt) {
  try {
    InternalError(1000, 30, 2);
    FAIL() << "no exception";
  } catch (const EKVAbort&) {
    FAIL() << "an internal error is not an abort";
  } catch (const EKV& error) {
    EXPECT_STREQ(error.what(), "Internal error 1000.30.2");
  }
  EXPECT_EQ(LastInternalError, "1000.30.2");
}

TEST(InternalErrorTest, LastCodeKeptUntilNextInternalError) {
  EXPECT_THROW(InternalError(1003, 7, 1), EKV);
  EXPECT_THROW(RaiseError("File error #2001\r\nOperation aborted"), EKV);
  EXPECT_EQ(LastInternalError, "1003.7.1");
  EXPECT_THROW(InternalError(2, 12, 40), EKV);
  EXPECT_EQ(LastInternalError, "2.12.40");
}

TEST(ExceptionClassesTest, MostDerivedHandlerTakesIt) {
  auto classify = [](auto raise) -> std::string {
    try {
      raise();
    } catch (const EKVAbortSilent&) {
      return "silent";
    } catch (const EKVAbort&) {
      return "abort";
    } catch (const EKV&) {
      return "ekv";
    } catch (...) {
      return "other";
    }
    return "none";
  };
  EXPECT_EQ(classify([] { throw EKVAbortSilent("x"); }), "silent");
  EXPECT_EQ(classify([] { throw EKVAbort("x"); }), "abort");
  EXPECT_EQ(classify([] { RaiseError("x"); }), "ekv");
  EXPECT_EQ(classify([] { throw std::bad_alloc(); }), "other");
}

TEST(InformUserTest, GoesToInstalledHandler) {
  std::string seen;
  SetInformHandler([&](const std::string& message) { seen = message; });
  InformUser("Cannot read karvo.ini");
  SetInformHandler(nullptr);
  EXPECT_EQ(seen, "Cannot read karvo.ini");
}

}  // namespace
}  // namespace karvo
