#include <gtest/gtest.h>

#include "base/Globals.h"
#include "support/TestEnv.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  karvo::test::InitTestEnv();
  karvo::BaseStartup();
  return RUN_ALL_TESTS();
}
