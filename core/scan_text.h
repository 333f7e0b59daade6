// What the block scanners of both programs do alike while they build a scan text: copy the
// columns that no rule of theirs acts on, lower-cased, a run at a time.
#pragma once

#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace nest {

#if defined(__SSE2__)
/// Each of 16 bytes compared with `c`: 0xFF where equal, else 0.
inline __m128i equal_bytes(__m128i bytes, char c) {
  return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c));
}
#endif

/// Copies the columns of `line` from `i` on, with A to Z lower-cased, to the scan text at
/// `out + length`, up to the first column that holds one of `kStops`, or a blank after a blank
/// (the one before column `i` being `out[length - 1]`), or the end of the line. Advances `i` and
/// `length` past what it copied and returns true when that held a character other than a blank.
/// `out` must have room for 16 bytes past the copy; `out[-1]` must be readable.
///
/// Works 16 columns at a time where SSE2 is there (every x86-64), column by column elsewhere.
/// Always inlined: in the caller's loop the compiler keeps its byte constants in registers
/// instead of building them again at every call.
///
/// performance-critical; please benchmark any changes.
template <char... kStops>
[[gnu::always_inline]] inline bool copy_lowered_run(std::string_view line, std::size_t& i, char* out, std::size_t& length) {
  bool nonblank = false;
#if defined(__SSE2__)
  const std::size_t n = line.size();
  while (n >= 16 && i < n) {
    __m128i bytes;
    unsigned end = 0;  // a stop after the last column, for the last block
    if (i + 16 <= n) {
      bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + i));
    } else {
      // The last columns: the block that ends the line, moved down so that column i comes
      // first (through memory: SSE2 has no variable byte shift); what follows them is cut off
      // by a stop.
      alignas(16) char moved[32] = {};
      _mm_store_si128(reinterpret_cast<__m128i*>(moved),
                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + n - 16)));
      const std::size_t left = n - i;
      bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(moved + 16 - left));
      end = 1U << left;
    }
    const __m128i upper = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('A' - 1)),
                                        _mm_cmplt_epi8(bytes, _mm_set1_epi8('Z' + 1)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + length),
                     _mm_add_epi8(bytes, _mm_and_si128(upper, _mm_set1_epi8(0x20))));
    const auto blanks = static_cast<unsigned>(_mm_movemask_epi8(equal_bytes(bytes, ' ')));
    const unsigned blank_before = length > 0 && out[length - 1] == ' ' ? 1U : 0U;
    __m128i marks = _mm_setzero_si128();
    ((marks = _mm_or_si128(marks, equal_bytes(bytes, kStops))), ...);
    const unsigned stops = static_cast<unsigned>(_mm_movemask_epi8(marks)) |
                           (blanks & ((blanks << 1) | blank_before)) | end;
    const unsigned count = stops == 0 ? 16U : static_cast<unsigned>(__builtin_ctz(stops));
    if ((~blanks & ((1U << count) - 1U)) != 0) {
      nonblank = true;
    }
    i += count;
    length += count;
    if (stops != 0) {
      return nonblank;
    }
  }
#endif
  while (i < line.size()) {
    const char c = line[i];
    if (((c == kStops) || ...) || (c == ' ' && length > 0 && out[length - 1] == ' ')) {
      break;
    }
    if (c != ' ') {
      nonblank = true;
    }
    out[length++] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    ++i;
  }
  return nonblank;
}

}  // namespace nest
