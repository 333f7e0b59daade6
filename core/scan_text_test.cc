#include "core/scan_text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/padded_text.h"

namespace nest {
namespace {

TEST(CopyLoweredRunTest, CopiesUpToTheLineEndWhateverThePaddingHolds) {
  // The last block is read from the padding, which may hold anything (here letters and stops);
  // only the line's own columns are copied. AddressSanitizer and valgrind check that nothing
  // past the padding is read.
  for (std::size_t size = 1; size < 40; ++size) {
    const std::string text = std::string(size, 'Q') + "  {{{{{{{{{{{{{{{{";
    const PaddedString padded(text);
    const PaddedView line = padded.view().first(size);
    char out[64 + 16] = {' '};
    std::size_t i = 0;
    std::size_t length = 1;  // out[0] is the column before the first
    EXPECT_TRUE(copy_lowered_run<'{'>(line, i, out, length));
    EXPECT_EQ(i, size);
    EXPECT_EQ(std::string_view(out + 1, length - 1), std::string(size, 'q'));
  }
}

TEST(NextNonblankTest, FindsTheFirstNonblankFromAnyColumnWhateverThePaddingHolds) {
  // Blanks, one "x" at every place (or none), then letters in the padding that must not count.
  for (std::size_t size = 0; size < 40; ++size) {
    for (std::size_t place = 0; place <= size; ++place) {
      std::string text(size, ' ');
      if (place < size) {
        text[place] = 'x';
      }
      const PaddedString padded(text + "yyyyyyyyyyyyyyyyyyyy");
      const PaddedView line = padded.view().first(size);
      for (std::size_t from = 0; from <= size; ++from) {
        EXPECT_EQ(next_nonblank(line, from), from <= place ? place : size)
            << size << " " << place << " " << from;
      }
    }
  }
}

}  // namespace
}  // namespace nest
