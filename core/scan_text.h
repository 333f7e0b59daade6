// What the block scanners of both programs do alike while they build a scan text: copy the
// columns that no rule of theirs acts on, lower-cased, a run at a time.
#pragma once

#include <cstddef>
#include <string_view>

#include "core/padded_text.h"
#include "core/simd.h"

namespace nest {

/// Copies the columns of `line` from `i` on, with A to Z lower-cased, to the scan text at
/// `out + length`, up to the first column that holds one of `kStops`, or a blank after a blank
/// (the one before column `i` being `out[length - 1]`), or the end of the line. Advances `i` and
/// `length` past what it copied and returns true when that held a character other than a blank.
/// `out` must have room for 16 bytes past the copy; `out[-1]` must be readable.
///
/// Works 16 columns at a time where SSE2 is there, 8 at a time in the portable build; the last
/// block reads into the line's padding.
/// Always inlined: in the caller's loop the compiler keeps its byte constants in registers
/// instead of building them again at every call.
///
/// performance-critical; please benchmark any changes.
template <char... kStops>
[[gnu::always_inline]] inline bool copy_lowered_run(PaddedView line, std::size_t& i, char* out,
                                                    std::size_t& length) {
  bool nonblank = false;
#if NEST_SSE2
  while (i < line.size()) {
    unsigned end = 0;  // a stop after the last column, for the last block
    const __m128i bytes = sse2::load_columns(line, i, end);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + length), sse2::lowered(bytes));
    const unsigned blanks = sse2::bits_of(bytes, ' ');
    const unsigned blank_before = length > 0 && out[length - 1] == ' ' ? 1U : 0U;
    __m128i marks = _mm_setzero_si128();
    ((marks = _mm_or_si128(marks, sse2::equal_bytes(bytes, kStops))), ...);
    const unsigned stops = sse2::bits(marks) |
                           (blanks & ((blanks << 1) | blank_before)) | end;
    const unsigned count = stops == 0 ? 16U : lowest_bit(stops);
    if ((~blanks & ((1U << count) - 1U)) != 0) {
      nonblank = true;
    }
    i += count;
    length += count;
    if (stops != 0) {
      return nonblank;
    }
  }
#else
  while (i < line.size()) {
    const std::size_t left = line.size() - i;
    const portable::Word bytes = portable::load_word(line.data() + i);
    portable::store_word(out + length, portable::lowered(bytes));
    const portable::Word blanks = portable::equal_marks(bytes, ' ');
    const portable::Word blank_before = length > 0 && out[length - 1] == ' ' ? 0x80U : 0U;
    portable::Word marks = 0;
    // Only the first stop counts, so the marks need be exact only up to it.
    ((marks |= portable::first_equal_marks(bytes, kStops)), ...);
    const portable::Word end = left < 8 ? portable::Word{0x80} << (8 * left) : 0;
    const portable::Word stops = marks | (blanks & ((blanks << 8) | blank_before)) | end;
    const std::size_t count = stops == 0 ? 8 : portable::first_marked(stops);
    if ((~blanks & portable::kHigh & portable::first_bytes(count)) != 0) {
      nonblank = true;
    }
    i += count;
    length += count;
    if (stops != 0) {
      return nonblank;
    }
  }
#endif
  return nonblank;
}

/// The first column of `line` at or after `from` that is not a blank, or the size of `line`.
/// Reads whole blocks of 16 columns (8 in the portable build), the last into the line's padding:
/// the indentation of most lines is found in one block.
///
/// performance-critical; please benchmark any changes.
[[gnu::always_inline]] inline std::size_t next_nonblank(PaddedView line, std::size_t from) {
  const std::size_t n = line.size();
#if NEST_SSE2
  for (; from < n; from += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + from));
    const unsigned nonblank = ~sse2::bits_of(block, ' ') & 0xFFFFU;
    if (nonblank != 0) {
      const std::size_t at = from + lowest_bit(nonblank);
      return at < n ? at : n;
    }
  }
#else
  for (; from < n; from += 8) {
    const portable::Word nonblank =
        portable::nonblank_marks(portable::load_word(line.data() + from));
    if (nonblank != 0) {
      const std::size_t at = from + portable::first_marked(nonblank);
      return at < n ? at : n;
    }
  }
#endif
  return n;
}

/// Calls `check(p)`, in order, for every column `p` of the scan text `a` that holds the first
/// two characters of a key, given in `pairs` (two characters each), and follows one of the
/// characters of `starts` (column 0 follows the blank at a.data()[-1]). The portable form also
/// calls it for columns that hold only the first character of a key: the caller's check
/// decides the rest, the key's characters included. In the vector form, looking at fewer
/// candidates one by one matters more than the few compares it takes: their number, from line
/// to line, is what the processor cannot foresee.
///
/// The storage of `a` must be readable one byte before it and 17 bytes past its end; what
/// stands past the end may be anything. Always inlined, so that the keys are constants.
///
/// performance-critical; please benchmark any changes.
template <typename Check>
[[gnu::always_inline]] inline void for_each_key_start(std::string_view a, std::string_view starts,
                                                      std::string_view pairs, const Check& check) {
  const std::size_t n = a.size();
  std::size_t p = 0;
#if NEST_SSE2
  for (; p < n; p += 16) {
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.data() + p - 1));
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.data() + p));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.data() + p + 1));
    __m128i after_start = _mm_setzero_si128();
    for (const char c : starts) {
      after_start = _mm_or_si128(after_start, sse2::equal_bytes(before, c));
    }
    __m128i key_start = _mm_setzero_si128();
    for (std::size_t k = 0; k + 1 < pairs.size(); k += 2) {
      key_start = _mm_or_si128(
          key_start, _mm_and_si128(sse2::equal_bytes(here, pairs[k]),
                                   sse2::equal_bytes(next, pairs[k + 1])));
    }
    // Past the text may stand anything; the mask is taken without a branch, as the number of
    // blocks varies from line to line.
    const auto left = static_cast<unsigned>(n - p < 16 ? n - p : 16);
    auto candidates = sse2::bits(_mm_and_si128(key_start, after_start)) & ((1U << left) - 1U);
    while (candidates != 0) {
      check(p + lowest_bit(candidates));
      candidates &= candidates - 1;
    }
  }
#else
  for (; p < n; p += 8) {
    const portable::Word before = portable::load_word(a.data() + p - 1);
    const portable::Word here = portable::load_word(a.data() + p);
    portable::Word after_start = 0;
    for (const char c : starts) {
      after_start |= portable::equal_marks(before, c);
    }
    // Only the first character of each key: a word test costs more here than a block compare
    // does, and the check looks at the second character anyway.
    portable::Word key_start = 0;
    for (std::size_t k = 0; k + 1 < pairs.size(); k += 2) {
      key_start |= portable::equal_marks(here, pairs[k]);
    }
    portable::Word candidates = key_start & after_start & portable::first_bytes(n - p);
    while (candidates != 0) {
      check(p + portable::first_marked(candidates));
      candidates &= candidates - 1;
    }
  }
#endif
}

}  // namespace nest
