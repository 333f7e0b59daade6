#include "core/simd.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/padded_text.h"

namespace nest {
namespace {

// Each idiom is checked in all its forms on the same inputs: the portable form in every build,
// the vector form where the build has one.

struct CopyForm {
  const char* name;
  void (*copy)(char*, const char*, std::size_t);
};

std::vector<CopyForm> copy_forms() {
  std::vector<CopyForm> forms = {{"portable", portable::copy_bytes}, {"chosen", copy_bytes}};
#if NEST_SSE2
  forms.push_back({"sse2", sse2::copy_bytes});
#endif
  return forms;
}

TEST(CopyBytesTest, CopiesEveryByteAndNothingAroundThem) {
  std::string from;
  for (int k = 0; k < 200; ++k) {
    from.push_back(static_cast<char>('!' + k % 90));
  }
  for (const CopyForm& form : copy_forms()) {
    for (std::size_t size = 0; size <= 100; ++size) {
      for (const std::size_t offset : {0U, 1U, 7U}) {
        std::string to(size + 40, '.');
        form.copy(to.data() + 20, from.data() + offset, size);
        EXPECT_EQ(to, std::string(20, '.') + from.substr(offset, size) + std::string(20, '.'))
            << form.name << ", size " << size << ", offset " << offset;
      }
    }
  }
}

// The first position at or after `from` where `is` holds, byte by byte.
template <typename ByteTest>
std::size_t reference_find(std::string_view bytes, std::size_t from, ByteTest is) {
  for (std::size_t k = from; k < bytes.size(); ++k) {
    if (is(bytes[k])) {
      return k;
    }
  }
  return bytes.size();
}

TEST(FindByteTest, OutsidePrintableAtEveryLengthPlaceAndStart) {
  for (const char special : {'\t', '\n', '\r', '\0', '\x1f', '\x80', '\xff'}) {
    for (std::size_t size = 0; size <= 50; ++size) {
      for (std::size_t place = 0; place <= size; ++place) {
        std::string text;
        for (std::size_t k = 0; k < size; ++k) {
          text.push_back(" ~\x7f" "aZ09"[k % 7]);
        }
        if (place < size) {
          text[place] = special;
        }
        if (place + 5 < size) {
          text[place + 5] = '\x90';
        }
        for (std::size_t from = 0; from <= size; ++from) {
          const std::size_t expected = reference_find(text, from, outside_printable);
          EXPECT_EQ(portable::find_byte(text, from, outside_printable), expected);
          EXPECT_EQ(
              portable::find_byte(text, from, portable::outside_printable_marks, outside_printable),
              expected)
              << size << " " << place << " " << from;
          EXPECT_EQ(find_outside_printable(text, from), expected);
#if NEST_SSE2
          EXPECT_EQ(sse2::find_byte(text, from, sse2::outside_printable_bits, outside_printable),
                    expected)
              << size << " " << place << " " << from;
#endif
        }
      }
    }
  }
}

TEST(FindByteTest, NonblankAtEveryLengthPlaceAndStart) {
  for (std::size_t size = 0; size <= 50; ++size) {
    for (std::size_t place = 0; place <= size; ++place) {
      std::string text(size, ' ');
      if (place < size) {
        text[place] = 'x';
      }
      if (place + 3 < size) {
        text[place + 3] = ';';
      }
      for (std::size_t from = 0; from <= size; ++from) {
        const auto nonblank = [](char c) { return c != ' '; };
        const std::size_t expected = reference_find(text, from, nonblank);
        EXPECT_EQ(find_nonblank(text, from), expected) << size << " " << place << " " << from;
        EXPECT_EQ(portable::find_byte(text, from, portable::nonblank_marks, nonblank), expected)
            << size << " " << place << " " << from;
      }
    }
  }
}

// Around the byte looked for, only bytes that are not it: a blank, controls and bytes from 128
// on, the signed-compare edges among them.
TEST(FindByteTest, PrintableNonblankAtEveryLengthPlaceAndStart) {
  const std::string_view filler(" \t\x80\xff\x1f\0\x9f", 7);
  for (const char special : {'!', '~', '\x7f', 'a'}) {
    for (std::size_t size = 0; size <= 50; ++size) {
      for (std::size_t place = 0; place <= size; ++place) {
        std::string text;
        for (std::size_t k = 0; k < size; ++k) {
          text.push_back(filler[k % filler.size()]);
        }
        if (place < size) {
          text[place] = special;
        }
        if (place + 5 < size) {
          text[place + 5] = 'Z';
        }
        for (std::size_t from = 0; from <= size; ++from) {
          const std::size_t expected = reference_find(text, from, printable_nonblank);
          EXPECT_EQ(portable::find_byte(text, from, printable_nonblank), expected);
          EXPECT_EQ(portable::find_byte(text, from, portable::printable_nonblank_marks,
                                        printable_nonblank),
                    expected)
              << size << " " << place << " " << from;
          EXPECT_EQ(find_printable_nonblank(text, from), expected);
#if NEST_SSE2
          EXPECT_EQ(sse2::find_byte(text, from, sse2::printable_nonblank_bits, printable_nonblank),
                    expected)
              << size << " " << place << " " << from;
#endif
        }
      }
    }
  }
}

#if NEST_SSE2
std::string bytes_of(__m128i block) {
  char out[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
  return {out, 16};
}

TEST(LoweredTest, LowersExactlyAToZInEveryPlace) {
  for (int value = 0; value < 256; ++value) {
    const char c = static_cast<char>(value);
    const char expected = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    for (std::size_t place = 0; place < 16; ++place) {
      char bytes[16];
      std::memset(bytes, 'Q', 16);
      bytes[place] = c;
      char lowered[16];
      _mm_storeu_si128(reinterpret_cast<__m128i*>(lowered),
                       sse2::lowered(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes))));
      EXPECT_EQ(lowered[place], expected) << value << " " << place;
      EXPECT_EQ(lowered[place == 0 ? 1 : 0], 'q') << value << " " << place;
    }
  }
}

TEST(LoadColumnsTest, GivesTheColumnsThenZerosWhereverTheTextEnds) {
  // What follows the text in its padding is never part of the block.
  const PaddedString padded("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  for (std::size_t size = 1; size <= 40; ++size) {
    const PaddedView text = padded.view().first(size);
    for (std::size_t i = 0; i < size; ++i) {
      unsigned end = 0;
      const std::string block = bytes_of(sse2::load_columns(text, i, end));
      const std::size_t left = size - i;
      if (left >= 16) {
        EXPECT_EQ(block, text.text().substr(i, 16)) << size << " " << i;
        EXPECT_EQ(end, 0U);
      } else {
        EXPECT_EQ(block, std::string(text.text().substr(i)) + std::string(16 - left, '\0'))
            << size << " " << i;
        EXPECT_EQ(end, 1U << left) << size << " " << i;
      }
    }
  }
}
#endif

TEST(WordTest, EachTestHoldsForExactlyItsBytesWhateverTheirNeighbours) {
  // Every byte value in every place of a word, among neighbours that sit on the edges of the
  // tests: a carry or a borrow from one byte into the next would show here.
  for (const char neighbour : {'\0', ' ', '!', '@', 'A', 'Z', '[', '\x7f', '\x80', '\xff'}) {
    for (int value = 0; value < 256; ++value) {
      for (std::size_t place = 0; place < 8; ++place) {
        char bytes[8];
        std::memset(bytes, neighbour, 8);
        bytes[place] = static_cast<char>(value);
        const portable::Word word = portable::load_word(bytes);
        const auto marked = [&](portable::Word marks, std::size_t k) {
          return (marks >> (8 * k) & 0x80U) != 0;
        };
        char lowered[8];
        portable::store_word(lowered, portable::lowered(word));
        for (std::size_t k = 0; k < 8; ++k) {
          const char c = bytes[k];
          EXPECT_EQ(marked(portable::equal_marks(word, 'q'), k), c == 'q') << value << " " << k;
          EXPECT_EQ(marked(portable::outside_printable_marks(word), k), outside_printable(c))
              << value << " " << k;
          EXPECT_EQ(marked(portable::printable_nonblank_marks(word), k), printable_nonblank(c))
              << value << " " << k;
          EXPECT_EQ(marked(portable::nonblank_marks(word), k), c != ' ') << value << " " << k;
          EXPECT_EQ(lowered[k], c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c)
              << value << " " << k;
        }
      }
    }
  }
}

TEST(WordTest, FirstEqualMarksFindTheFirstMatchAsEqualMarksDo) {
  // Two bytes set in every pair of places, among neighbours: a match followed by the byte its
  // borrow may mark ('q' then 'p'), and the edges of the subtraction.
  const char values[] = {'q', 'p', 'r', '\0', '\x01', '\x7f', '\x80', '\xf1', '\xff', ' '};
  for (const char neighbour : {'\0', ' ', 'p', 'q', '\xff'}) {
    for (const char first : values) {
      for (const char second : values) {
        for (std::size_t i = 0; i < 8; ++i) {
          for (std::size_t j = i + 1; j < 8; ++j) {
            char bytes[8];
            std::memset(bytes, neighbour, 8);
            bytes[i] = first;
            bytes[j] = second;
            const portable::Word word = portable::load_word(bytes);
            const portable::Word exact = portable::equal_marks(word, 'q');
            const portable::Word quick = portable::first_equal_marks(word, 'q');
            ASSERT_EQ(quick != 0, exact != 0) << i << " " << j;
            if (exact != 0) {
              EXPECT_EQ(portable::first_marked(quick), portable::first_marked(exact))
                  << i << " " << j;
            }
          }
        }
      }
    }
  }
}

TEST(FindByteTest, ReadsNothingPastTheText) {
  // A text that ends where its allocation ends: AddressSanitizer and valgrind see a read past it.
  for (std::size_t size = 1; size < 40; ++size) {
    const auto bytes = std::make_unique<char[]>(size);
    std::memset(bytes.get(), 'Q', size);
    const std::string_view text(bytes.get(), size);
    EXPECT_EQ(find_outside_printable(text, 0), size);
    EXPECT_EQ(find_nonblank(text, size - 1), size - 1);
    EXPECT_EQ(find_printable_nonblank(text, size - 1), size - 1);
  }
}

}  // namespace
}  // namespace nest
