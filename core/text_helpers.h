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

/// Which bytes shown_safely hides.
enum class Hidden {
  /// The controls below 32, and 127. Bytes from 128 on pass: they make up the letters beyond
  /// ASCII of a name in UTF-8.
  kControls,
  /// Those, and 128 to 159 as well, which a terminal set for 8-bit codes obeys as controls (C1).
  kControlsAndC1,
};

/// `text` as it may be shown on a terminal or in a listing: each byte that `hidden` names as '?',
/// so that what a user typed or named cannot move the cursor, clear the screen or retitle the
/// window when it is shown, or when the listing is shown later.
inline std::string shown_safely(std::string_view text, Hidden hidden = Hidden::kControls) {
  const unsigned high_end = hidden == Hidden::kControlsAndC1 ? 160 : 128;
  std::string shown(text);
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || (byte >= 127 && byte < high_end)) {
      c = '?';
    }
  }
  return shown;
}

}  // namespace nest
