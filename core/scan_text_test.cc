#include "core/scan_text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/guarded_page.h"

namespace nest {
namespace {

TEST(CopyLoweredRunTest, ARunCopiedUpToThePageEndReadsNothingPastIt) {
  testing::GuardedPage page;
  ASSERT_TRUE(page.ready());
  for (std::size_t size = 1; size < 40; ++size) {
    const std::string_view line = page.place(std::string(size, 'Q'));
    char out[64 + 16] = {' '};
    std::size_t i = 0;
    std::size_t length = 1;  // out[0] is the column before the first
    EXPECT_TRUE(copy_lowered_run<'{'>(line, i, out, length));
    EXPECT_EQ(i, size);
    EXPECT_EQ(std::string_view(out + 1, length - 1), std::string(size, 'q'));
  }
}

}  // namespace
}  // namespace nest
