#include "core/text_helpers.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace nest {
namespace {

// Every length up to three blocks of 16, with the first non-blank at every place, or none; other
// characters after it must not matter.
TEST(FirstNonblankTest, AgreesWithTheLibraryAtEveryLengthAndPlace) {
  for (std::size_t size = 0; size <= 48; ++size) {
    for (std::size_t first = 0; first <= size; ++first) {
      std::string text(size, ' ');
      if (first < size) {
        text[first] = 'x';
        if (first + 3 < size) {
          text[first + 3] = ';';
        }
      }
      EXPECT_EQ(first_nonblank(text), text.find_first_not_of(' ')) << size << " " << first;
    }
  }
}

// What is written of a text "up to its length": its first lena columns, lena being the position
// of the last non-blank, and 1 (a single blank) for an all-blank text.
TEST(UptoLenaTest, SignificantLength) {
  const struct {
    std::string_view text;
    std::string_view written;
  } cases[] = {
      {"abc  ", "abc"},   {"a    ", "a"},   {"     ", " "},
      {"", " "},          {"ab\t", "ab\t"}, {std::string_view("ab\0", 3), std::string_view("ab\0", 3)},
      {"  x", "  x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(upto_lena(c.text), c.written) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace nest
