// Shared types of the listing core: text fields, the line number field and the nesting state.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace nest {

/// Width of every text field: file names, answers, source lines and scan texts.
///
/// A text is conceptually a field of this many bytes padded on the right with blanks. In code
/// a text travels as a std::string_view of its first bytes; every column past the end of the view
/// is a blank. So a 10-character line costs 10 steps, not kTextWidth.
inline constexpr int kTextWidth = 5000;

/// The line number as five right-justified characters; "*****" above 99999.
using Form = std::array<char, 5>;

inline std::string_view view(const Form& form) {
  return {form.data(), form.size()};
}

/// One nesting as the renderer draws it. Levels count from 0 (outside all blocks).
///
/// 64-bit so that a source of billions of braces cannot overflow; every value that stays in the
/// 32-bit range behaves exactly as it would there.
struct Nesting {
  std::int64_t oldlev = 0;  ///< level at the start of the line
  std::int64_t toplev = 0;  ///< number of level columns drawn beside the line
  std::int64_t newlev = 0;  ///< level at the end of the line
  std::int64_t nmark = 0;   ///< level columns, deepest first, that get a corner or junction
};

/// What the block scanner works out for one line and the renderer draws.
struct LineState {
  Nesting primary;          ///< the block nesting
  Nesting secondary;        ///< preprocessor conditionals in cnest; unused in idlnest
  bool jump = false;        ///< the line holds a jump statement
  bool hascode = false;     ///< the line holds code outside comments
  bool hascomment = false;  ///< the line holds a comment
  bool incomment = false;   ///< the line ends inside a comment that goes on
};

}  // namespace nest
