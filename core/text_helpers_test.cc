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

// Every byte value alone, between two letters: the controls below 32 but the tab, 127 and the
// C1 controls 128 to 159 become '?'; the tab and every byte from 160 on pass, as no byte after
// them makes a UTF-8 sequence of them.
TEST(ShownSafelyTest, EveryByteValueAlone) {
  for (int value = 0; value < 256; ++value) {
    const char c = static_cast<char>(value);
    const std::string text = std::string("a") + c + "b";
    const bool control = (value < 32 && value != '\t') || (value >= 127 && value < 160);
    EXPECT_EQ(shown_safely(text), control ? "a?b" : text) << value;
  }
}

// Names as a user gives them: the controls of both forms hidden, one '?' for each, the letters of
// a name in UTF-8 kept whole, continuation bytes from 0x80 to 0x9F included, and a byte of a
// broken sequence judged on its own.
TEST(ShownSafelyTest, Names) {
  const struct {
    std::string_view text;
    std::string_view shown;
  } cases[] = {
      {"", ""},
      {"\x1b]0;pwned\x07x.c", "?]0;pwned?x.c"},
      {"a\tb.c\t", "a\tb.c\t"},                      // the tab cannot drive a terminal
      {"caf\xc3\xa9.c", "caf\xc3\xa9.c"},            // e acute, C3 A9
      {"\xc4\x81\xc4\x9b.c", "\xc4\x81\xc4\x9b.c"},  // a macron, e caron: C4 81, C4 9B
      {"\xe2\x80\x9b \xe2\x82\xac", "\xe2\x80\x9b \xe2\x82\xac"},  // U+201B, the euro sign
      {"\xf0\x9f\x98\x80.c", "\xf0\x9f\x98\x80.c"},                // a four-byte sequence
      {"\xc2\x9b[2J\xc2\x80\xc2\x9f.c", "?[2J??.c"},               // CSI, PAD, APC in UTF-8
      {"\xc2\xa0\xc2\xbf", "\xc2\xa0\xc2\xbf"},                    // U+00A0 and U+00BF: no controls
      {"\x9b[2J\x80\x9f.c", "?[2J??.c"},                  // the same controls, one byte each
      {"caf\xe9 \xc2", "caf\xe9 \xc2"},                   // Latin-1, a lead byte at the end
      {"\xc0\x9b \xc1\x80", "\xc0? \xc1?"},               // overlong forms are no sequence
      {"\xe0\x80\x9b \xed\xa0\x80", "\xe0?? \xed\xa0?"},  // overlong; a surrogate
      {"\xf4\x90\x80\x80 \xe2\x82", "\xf4??? \xe2?"},     // past U+10FFFF; cut short
  };
  for (const auto& c : cases) {
    EXPECT_EQ(shown_safely(c.text), c.shown);
  }
}

}  // namespace
}  // namespace nest
