#include <gtest/gtest.h>

#include "tests/process.h"

namespace nest::testing {
namespace {

TEST(IdlnestTest, Runs) {
  const Outcome outcome = run(IDLNEST_PATH, "");
  EXPECT_EQ(outcome.status, 2);
}

}  // namespace
}  // namespace nest::testing
