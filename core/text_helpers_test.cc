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

// Every byte value, in both modes: the controls below 32 and 127 always become '?', 128 to 159
// only where C1 controls are hidden too, and everything else passes.
TEST(ShownSafelyTest, EveryByteValue) {
  for (int value = 0; value < 256; ++value) {
    const char c = static_cast<char>(value);
    const std::string text = std::string("a") + c + "b";
    const bool control = value < 32 || value == 127;
    const bool c1 = value >= 128 && value < 160;
    EXPECT_EQ(shown_safely(text), control ? "a?b" : text) << value;
    EXPECT_EQ(shown_safely(text, Hidden::kControlsAndC1), control || c1 ? "a?b" : text) << value;
  }
}

// Names as a user gives them: a UTF-8 name passes whole where only the controls are hidden.
TEST(ShownSafelyTest, Names) {
  const struct {
    std::string_view text;
    std::string_view shown;
    std::string_view shown_without_c1;
  } cases[] = {
      {"", "", ""},
      {"\x1b]0;pwned\x07x.c", "?]0;pwned?x.c", "?]0;pwned?x.c"},
      {"caf\xc3\xa9.c", "caf\xc3\xa9.c", "caf\xc3\xa9.c"},  // e acute: C3 A9, both from 160 on
      {"\xc4\x81.c", "\xc4\x81.c", "\xc4?.c"},              // a macron: C4 81, 81 a C1 code
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shown_safely(c.text), c.shown);
    EXPECT_EQ(shown_safely(c.text, Hidden::kControlsAndC1), c.shown_without_c1);
  }
}

}  // namespace
}  // namespace nest
