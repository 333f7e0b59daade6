// Helpers for blank-padded texts: the significant part of a text, its first non-blank column, a
// word at a column, the character classes that the scanners test, and a text made safe to show.
// A text travels as a std::string_view of its first bytes; every column past the end of the view
// is a blank.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/simd.h"

namespace nest {

inline bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

inline bool is_lower(char c) {
  return c >= 'a' && c <= 'z';
}

/// `a` without its trailing blanks (possibly empty); the significant part of a padded text.
[[gnu::always_inline]] inline std::string_view trimmed(std::string_view a) {
  std::size_t size = a.size();
  while (size > 0 && a[size - 1] == ' ') {
    --size;
  }
  return {a.data(), size};
}

/// The columns of `a` from `from` on (none when `from` is past its end), at most `count` of them:
/// what `a.substr(from, count)` gives, without the check that makes substr throw, which the
/// compiler may then keep out of line and call on every line.
[[gnu::always_inline]] inline std::string_view columns(std::string_view a, std::size_t from,
                                                       std::size_t count = std::string_view::npos) {
  from = from < a.size() ? from : a.size();
  const std::size_t left = a.size() - from;
  return {a.data() + from, count < left ? count : left};
}

/// The significant length of a text, `lena`: the position of its last character that is not a
/// blank (only character 32 is blank), and 1 for an all-blank or empty text, never 0. Returns the
/// first that many columns: what is written where a text is written "up to its length". So an
/// all-blank text gives a single blank.
inline std::string_view upto_lena(std::string_view a) {
  const std::string_view text = trimmed(a);
  return text.empty() ? std::string_view(" ") : text;
}

/// The position (from 0) of the first character of `a` that is not a blank, or npos. Inline:
/// it runs a few times on every line, mostly over a short indentation.
inline std::size_t first_nonblank(std::string_view a) {
  const std::size_t at = find_nonblank(a, 0);
  return at < a.size() ? at : std::string_view::npos;
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

/// The length of the UTF-8 sequence of two to four bytes that starts at `at` in `text`, or 0 when
/// none starts there: a lead byte and the continuation bytes it calls for, with no overlong form,
/// no surrogate and nothing past U+10FFFF.
inline std::size_t utf8_sequence_at(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t k) {
    return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0u;
  };
  const unsigned lead = byte(0);
  std::size_t size = 0;
  // The range of the second byte, which rules out the overlong forms, the surrogates and what
  // lies past U+10FFFF; every later byte is a plain continuation byte, 0x80 to 0xBF.
  unsigned low = 0x80;
  unsigned high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    size = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    size = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    size = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (byte(1) < low || byte(1) > high) {
    return 0;
  }
  for (std::size_t k = 2; k < size; ++k) {
    if (byte(k) < 0x80 || byte(k) > 0xBF) {
      return 0;
    }
  }
  return size;
}

/// `text` as it may be shown on a terminal or in a listing, so that what a user typed or named
/// cannot move the cursor, clear the screen or retitle the window when it is shown, or when the
/// listing is shown later. Each control is written as one '?': the bytes below 32 but the tab,
/// 127, the C1 controls U+0080 to U+009F in their UTF-8 form (C2 80 to C2 9F), and a byte from
/// 0x80 to 0x9F that is no part of a UTF-8 sequence (which a terminal set for 8-bit codes obeys
/// as a C1 control). The tab passes, and so do the other UTF-8 sequences whole (the letters of a
/// name in UTF-8, whose continuation bytes also lie from 0x80 to 0xBF) and every other byte.
inline std::string shown_safely(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (const std::size_t size = utf8_sequence_at(text, i); size > 0) {
      const bool c1 = byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
      if (c1) {
        shown += '?';
      } else {
        shown.append(text, i, size);
      }
      i += size;
      continue;
    }
    const bool control = (byte < 32 && byte != '\t') || (byte >= 127 && byte < 160);
    shown += control ? '?' : text[i];
    ++i;
  }
  return shown;
}

}  // namespace nest
