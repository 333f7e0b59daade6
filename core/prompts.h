// The console dialogue: questions for a text and for a number, and the significant length of a
// blank-padded text.
#pragma once

#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/streams.h"

namespace nest {

/// The significant length of a blank-padded text: the position of its last character that is
/// not a blank (only character 32 is blank), and 1 for an all-blank or empty text, never 0.
int lena(std::string_view a);

/// `a` without its trailing blanks (possibly empty); the significant part of a padded text.
///
/// performance-critical; please benchmark any changes.
inline std::string_view trimmed(std::string_view a) {
  std::size_t size = a.size();
  while (size > 0 && a[size - 1] == ' ') {
    --size;
  }
  return a.substr(0, size);
}

/// The position (from 0) of the first character of `a` that is not a blank, or npos. Inline:
/// it runs a few times on every line, mostly over a short indentation.
///
/// performance-critical; please benchmark any changes.
inline std::size_t first_nonblank(std::string_view a) {
  std::size_t at = 0;
#if defined(__SSE2__)
  // Indentation is mostly shorter than 16 columns: one compare finds its end.
  for (; at + 16 <= a.size(); at += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.data() + at));
    const auto blanks =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(' '))));
    if (blanks != 0xFFFFU) {
      return at + static_cast<std::size_t>(__builtin_ctz(~blanks));
    }
  }
  if (at < a.size() && a.size() >= 16) {
    // The last columns: the block of 16 that ends the text, without the columns before `at`.
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.data() + a.size() - 16));
    const auto others =
        (~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(' ')))) &
         0xFFFFU) >>
        (16 - (a.size() - at));
    return others != 0 ? at + static_cast<std::size_t>(__builtin_ctz(others))
                       : std::string_view::npos;
  }
#endif
  for (; at < a.size(); ++at) {
    if (a[at] != ' ') {
      return at;
    }
  }
  return std::string_view::npos;
}

/// Whether `word` stands in `a` from position `at` (from 0) on; an inline loop, as the words
/// compared are a few characters long.
inline bool word_at(std::string_view a, std::size_t at, std::string_view word) {
  if (at > a.size() || word.size() > a.size() - at) {
    return false;
  }
  for (std::size_t k = 0; k < word.size(); ++k) {
    if (a[at + k] != word[k]) {
      return false;
    }
  }
  return true;
}

/// The first lena(a) columns of `a`: what is written where a text is written "up to its length".
/// An all-blank text gives a single blank.
std::string_view upto_lena(std::string_view a);

/// Asks for a text: writes " <prompt>:" (the prompt at its full length), reads one line of
/// console input (its first kTextWidth bytes; the rest of a longer line is thrown away), echoes
/// it without its trailing blanks and returns it. Columns past the end of the result are blank.
/// Throws Fatal when console input ends before the answer.
std::string ard(std::string_view prompt, Sink& console, ByteSource& input);

/// Asks for a whole number: writes " <prompt>:" (trailing blanks of the prompt dropped), reads a
/// free-form integer, echoes the value right-justified in 11 columns and returns it. A comma,
/// semicolon or slash keeps `fallback`; empty and blank lines are skipped. Throws Fatal at the end
/// of console input, on a malformed number and on one outside the 32-bit signed range.
int ird(std::string_view prompt, int fallback, Sink& console, ByteSource& input);

}  // namespace nest
