// Shared types of the listing core: text fields, the line number field and the nesting state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace nest {

/// Copies `size` bytes between buffers that do not overlap, reading and writing nothing outside
/// them. The short copies of source lines take a few moves, without the start-up cost of a
/// library call.
///
/// performance-critical; please benchmark any changes.
inline void copy_bytes(char* to, const char* from, std::size_t size) {
#if defined(__SSE2__)
  if (size >= 16) {
    for (std::size_t k = 0; k + 16 <= size; k += 16) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k)));
    }
    // The last 16 bytes, overlapping what is copied already.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + size - 16),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + size - 16)));
    return;
  }
#endif
  if (size >= 8) {
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + size - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + size - 8, &tail, 8);
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

#if defined(__SSE2__)
// Set where a sanitizer checks every read against the object it starts in.
#if defined(__SANITIZE_ADDRESS__)
#define NEST_CHECKED_READS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define NEST_CHECKED_READS 1
#endif
#endif

/// The `left` bytes at `from` (1 to 15 of them), then zero bytes. Where the 16 bytes from `from`
/// lie in one 4 KB block (pages are 4 KB or a multiple of it) they are loaded at once and the
/// bytes past `left` masked off: a load cannot fault inside a page that holds a byte of the text,
/// and nothing it reads past the text is used. Otherwise they go through memory. Loading them at
/// once matters: the bytes were mostly written just before, and a load that gathers them from
/// several recent stores stalls.
///
/// Under a sanitizer, which rightly sees a read past an object, they always go through memory.
[[gnu::always_inline]] inline __m128i load_tail(const char* from, std::size_t left) {
#if !defined(NEST_CHECKED_READS)
  static constexpr char kKeep[32] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0};
  if ((reinterpret_cast<std::uintptr_t>(from) & 4095) <= 4096 - 16) {
    const __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeep + 16 - left));
    return _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)), keep);
  }
#endif
  alignas(16) char tail[16] = {};
  std::memcpy(tail, from, left);
  return _mm_load_si128(reinterpret_cast<const __m128i*>(tail));
}

#endif

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
