// Byte-block idioms of the per-line path. Each has a portable form, which every build compiles
// and the tests check, and, where SSE2 is there (every x86-64) and the build does not turn it
// off (NEST_SIMD=OFF, which defines NEST_NO_SIMD), a form that works 16 bytes at a time. Both
// give the same results: the scalar build runs the whole test suite on the portable forms.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/padded_text.h"

#if defined(__SSE2__) && !defined(NEST_NO_SIMD)
#define NEST_SSE2 1
#include <emmintrin.h>
#else
#define NEST_SSE2 0
#endif

namespace nest {

/// The position of the lowest set bit of `bits`, which is not 0.
inline unsigned lowest_bit(unsigned bits) {
  return static_cast<unsigned>(__builtin_ctz(bits));
}

/// Whether a byte lies outside the printable codes 32 to 127: a control byte (the tab and the
/// line ends among them) or one from 128 on.
inline bool outside_printable(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 32 || byte >= 128;
}

/// Whether a byte is one that a listing shows as text: printable (32 to 127) and not a blank.
inline bool printable_nonblank(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte > 32 && byte < 128;
}

namespace portable {

/// Copies `size` bytes between buffers that do not overlap, reading and writing nothing outside
/// them, with a few moves of 8 or 4 bytes that may overlap each other.
inline void copy_bytes(char* to, const char* from, std::size_t size) {
  if (size >= 8) {
    // Whole words, then the last word, overlapping what is copied already.
    std::uint64_t word = 0;
    for (std::size_t k = 0; k + 8 <= size; k += 8) {
      std::memcpy(&word, from + k, 8);
      std::memcpy(to + k, &word, 8);
    }
    std::memcpy(&word, from + size - 8, 8);
    std::memcpy(to + size - 8, &word, 8);
  } else if (size >= 4) {
    std::uint32_t head = 0;
    std::uint32_t tail = 0;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + size - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + size - 4, &tail, 4);
  } else {
    for (std::size_t k = 0; k < size; ++k) {
      to[k] = from[k];
    }
  }
}

/// The position of the first byte of `bytes` at or after `from` for which `is(c)` holds, or the
/// size of `bytes`.
template <typename ByteTest>
std::size_t find_byte(std::string_view bytes, std::size_t from, const ByteTest& is) {
  for (; from < bytes.size(); ++from) {
    if (is(bytes[from])) {
      return from;
    }
  }
  return bytes.size();
}

/// Eight bytes as one word, the first of them in the lowest 8 bits whatever the byte order: the
/// portable form of a block. A test of a word gives a "marks" word, with the high bit of each
/// byte set where the test holds for that byte and every other bit clear; each test below but
/// first_equal_marks is exact for every byte (no carry crosses from one byte into the next).
using Word = std::uint64_t;
inline constexpr Word kOnes = 0x0101010101010101ULL;
inline constexpr Word kHigh = 0x8080808080808080ULL;
inline constexpr Word kLow7 = 0x7F7F7F7F7F7F7F7FULL;

inline Word load_word(const char* from) {
  Word word = 0;
  std::memcpy(&word, from, 8);
  if constexpr (std::endian::native == std::endian::big) {
    word = __builtin_bswap64(word);
  }
  return word;
}

inline void store_word(char* to, Word word) {
  if constexpr (std::endian::native == std::endian::big) {
    word = __builtin_bswap64(word);
  }
  std::memcpy(to, &word, 8);
}

/// The marks of the bytes equal to `c`.
inline Word equal_marks(Word word, char c) {
  const Word x = word ^ (kOnes * static_cast<unsigned char>(c));
  return ~(((x & kLow7) + kLow7) | x) & kHigh;
}

/// The marks of the bytes equal to `c`, in fewer steps but exact only up to the first: the borrow
/// out of a byte equal to `c` may also mark a later byte equal to `c ^ 1`. The first marked byte,
/// and whether any is marked, are those of equal_marks.
inline Word first_equal_marks(Word word, char c) {
  const Word x = word ^ (kOnes * static_cast<unsigned char>(c));
  return (x - kOnes) & ~x & kHigh;
}

/// The marks of the bytes outside 32 to 127: from 128 on, or below 32 (adding 96 to the low seven
/// bits carries into the high bit exactly from 32 on).
inline Word outside_printable_marks(Word word) {
  return (word | ~((word & kLow7) + kOnes * 96)) & kHigh;
}

/// The marks of the bytes from 33 to 127.
inline Word printable_nonblank_marks(Word word) {
  return ~word & ((word & kLow7) + kOnes * 95) & kHigh;
}

/// The marks of the bytes that are not a blank.
inline Word nonblank_marks(Word word) {
  return ~equal_marks(word, ' ') & kHigh;
}

/// The word with A to Z lower-cased: the bytes from 65 to 90 get the bit of 32.
inline Word lowered(Word word) {
  const Word low = word & kLow7;
  const Word upper = ~word & (low + kOnes * (128 - 'A')) & ~(low + kOnes * (128 - 'Z' - 1)) & kHigh;
  return word | (upper >> 2);
}

/// The position (0 to 7) of the first byte marked in `marks`, which is not 0.
inline std::size_t first_marked(Word marks) {
  return static_cast<std::size_t>(__builtin_ctzll(marks)) / 8;
}

/// The marks of the first `count` bytes (0 to 8) of a word.
inline Word first_bytes(std::size_t count) {
  return count >= 8 ? ~Word{0} : (Word{1} << (8 * count)) - 1;
}

/// As find_byte above, a word of 8 bytes at a time, with `marks(word)` giving the marks of the
/// bytes for which the test holds. Words are read only inside `bytes`: the last bytes are looked
/// at in the word that ends `bytes`, without the bytes before them.
template <typename WordTest, typename ByteTest>
std::size_t find_byte(std::string_view bytes, std::size_t from, const WordTest& marks,
                      const ByteTest& is) {
  const std::size_t size = bytes.size();
  if (size < 8) {
    return find_byte(bytes, from, is);
  }
  for (; from + 8 <= size; from += 8) {
    const Word found = marks(load_word(bytes.data() + from));
    if (found != 0) {
      return from + first_marked(found);
    }
  }
  if (from < size) {
    const Word found = marks(load_word(bytes.data() + size - 8)) >> (8 * (8 - (size - from)));
    return found != 0 ? from + first_marked(found) : size;
  }
  return size;
}

}  // namespace portable

#if NEST_SSE2
namespace sse2 {

/// As portable::copy_bytes, 16 bytes at a time.
inline void copy_bytes(char* to, const char* from, std::size_t size) {
  if (size < 16) {
    portable::copy_bytes(to, from, size);
    return;
  }
  for (std::size_t k = 0; k + 16 <= size; k += 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k)));
  }
  // The last 16 bytes, overlapping what is copied already.
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to + size - 16),
                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + size - 16)));
}

/// As portable::find_byte, with `marks(block)` giving the bit of each byte of a block of 16 for
/// which the test holds. Blocks are read only inside `bytes`: the last columns are looked at in
/// the block of 16 that ends `bytes`, without the columns before them.
template <typename BlockTest, typename ByteTest>
[[gnu::always_inline]] inline std::size_t find_byte(std::string_view bytes, std::size_t from,
                                                    const BlockTest& marks, const ByteTest& is) {
  const std::size_t size = bytes.size();
  if (size < 16) {
    return portable::find_byte(bytes, from, is);
  }
  for (; from + 16 <= size; from += 16) {
    const unsigned found =
        marks(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + from)));
    if (found != 0) {
      return from + lowest_bit(found);
    }
  }
  if (from < size) {
    const unsigned found =
        marks(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + size - 16))) >>
        (16 - (size - from));
    return found != 0 ? from + lowest_bit(found) : size;
  }
  return size;
}

/// Each of 16 bytes compared with `c`: 0xFF where equal, else 0.
inline __m128i equal_bytes(__m128i bytes, char c) {
  return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c));
}

/// The mask of a comparison, as a bit per byte.
inline unsigned bits(__m128i mask) {
  return static_cast<unsigned>(_mm_movemask_epi8(mask));
}

/// Each of 16 bytes compared with `c`, as a bit per byte: bit k set where byte k equals `c`.
inline unsigned bits_of(__m128i bytes, char c) {
  return bits(equal_bytes(bytes, c));
}

/// The bit of each of 16 bytes outside the printable codes 32 to 127: as signed bytes, exactly
/// those below 32 and those from 128 on are less than 32.
inline unsigned outside_printable_bits(__m128i bytes) {
  return bits(_mm_cmplt_epi8(bytes, _mm_set1_epi8(32)));
}

/// The bit of each of 16 bytes that is printable and not a blank: as signed bytes, exactly 33 to
/// 127 are greater than 32.
inline unsigned printable_nonblank_bits(__m128i bytes) {
  return bits(_mm_cmpgt_epi8(bytes, _mm_set1_epi8(32)));
}

/// The 16 bytes with A to Z lower-cased.
inline __m128i lowered(__m128i bytes) {
  // Moved so that A to Z are the 26 lowest signed values: one compare finds them.
  const __m128i moved = _mm_add_epi8(bytes, _mm_set1_epi8(static_cast<char>(0x80 - 'A')));
  const __m128i upper = _mm_cmplt_epi8(moved, _mm_set1_epi8(static_cast<char>(0x80 + 26)));
  return _mm_add_epi8(bytes, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
}

/// The 16 columns of `line` from `i` on (i < line.size()). Where fewer than 16 are left, those
/// come first and zero bytes follow, and `end` gets the bit of the first column past the line;
/// otherwise `end` is 0. The block is read at once, inside the line's padding: the bytes were
/// mostly written just before, and gathering them from several recent stores would stall.
[[gnu::always_inline]] inline __m128i load_columns(PaddedView line, std::size_t i, unsigned& end) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + i));
  const std::size_t left = line.size() - i;
  if (left >= 16) {
    end = 0;
    return bytes;
  }
  static constexpr char kKeep[32] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0};
  end = 1U << left;
  return _mm_and_si128(bytes, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeep + 16 - left)));
}

}  // namespace sse2
#endif

/// Copies `size` bytes between buffers that do not overlap, reading and writing nothing outside
/// them. The short copies of source lines take a few moves, without the start-up cost of a
/// library call.
///
/// performance-critical; please benchmark any changes.
[[gnu::always_inline]] inline void copy_bytes(char* to, const char* from, std::size_t size) {
#if NEST_SSE2
  sse2::copy_bytes(to, from, size);
#else
  portable::copy_bytes(to, from, size);
#endif
}

/// The position of the first byte of `bytes` at or after `from` outside the printable codes 32
/// to 127 (a tab, a line end, another control byte or one from 128 on), or the size of `bytes`.
///
/// performance-critical; please benchmark any changes.
[[gnu::always_inline]] inline std::size_t find_outside_printable(std::string_view bytes,
                                                                 std::size_t from) {
#if NEST_SSE2
  return sse2::find_byte(bytes, from, sse2::outside_printable_bits, outside_printable);
#else
  return portable::find_byte(bytes, from, portable::outside_printable_marks, outside_printable);
#endif
}

/// The position of the first byte of `bytes` at or after `from` that is printable and not a blank
/// (33 to 127), or the size of `bytes`.
[[gnu::always_inline]] inline std::size_t find_printable_nonblank(std::string_view bytes,
                                                                  std::size_t from) {
#if NEST_SSE2
  return sse2::find_byte(bytes, from, sse2::printable_nonblank_bits, printable_nonblank);
#else
  return portable::find_byte(bytes, from, portable::printable_nonblank_marks, printable_nonblank);
#endif
}

/// The position of the first byte of `bytes` at or after `from` that is not a blank, or the size
/// of `bytes`.
///
/// performance-critical; please benchmark any changes.
[[gnu::always_inline]] inline std::size_t find_nonblank(std::string_view bytes, std::size_t from) {
  const auto nonblank = [](char c) { return c != ' '; };
#if NEST_SSE2
  return sse2::find_byte(
      bytes, from, [](__m128i block) { return ~sse2::bits_of(block, ' ') & 0xFFFFU; }, nonblank);
#else
  return portable::find_byte(bytes, from, portable::nonblank_marks, nonblank);
#endif
}

}  // namespace nest
