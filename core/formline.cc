#include "core/formline.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/simd.h"
#include "core/text_helpers.h"

namespace nest {

void GlyphTable::load_ibmpc() {
  blockbegin = '\xDA';
  blockend = '\xC0';
  blockelse = '\xC3';
  blockcontinue = '\xB3';
  blockhoriz = '\xC4';
  blockbeginh = '\xC2';
  blockendh = '\xC1';
  blockelseh = '\xC5';
}

void append_glyphs_in_utf8(std::string_view bytes, std::string& out) {
  out.reserve(out.size() + bytes.size());
  for (const char c : bytes) {
    switch (static_cast<unsigned char>(c)) {
      case 0xDA:
        out += "\xE2\x94\x8C";
        break;  // ┌
      case 0xC0:
        out += "\xE2\x94\x94";
        break;  // └
      case 0xC3:
        out += "\xE2\x94\x9C";
        break;  // ├
      case 0xB3:
        out += "\xE2\x94\x82";
        break;  // │
      case 0xC4:
        out += "\xE2\x94\x80";
        break;  // ─
      case 0xC2:
        out += "\xE2\x94\xAC";
        break;  // ┬
      case 0xC1:
        out += "\xE2\x94\xB4";
        break;  // ┴
      case 0xC5:
        out += "\xE2\x94\xBC";
        break;  // ┼
      default:
        out += c;
        break;
    }
  }
}

namespace {

constexpr std::int64_t kRecordWidth = kTextWidth;
constexpr std::int64_t kGutter = 13;  // flag column and the 12 margin columns before the text
constexpr std::int64_t kTextRoom = kRecordWidth - kGutter;  // 4987 columns of text

// Sets `size` bytes to `c`; the few columns of most margins in one or two moves.
[[gnu::always_inline]] inline void fill_bytes(char* to, char c, std::size_t size) {
  if (size > 32) {
    std::memset(to, c, size);
#if NEST_SSE2
  } else if (size >= 16) {
    const __m128i pattern = _mm_set1_epi8(c);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), pattern);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + size - 16), pattern);
#else
  } else if (size >= 16) {
    std::memset(to, c, size);
#endif
  } else if (size >= 8) {
    const std::uint64_t pattern = 0x0101010101010101ULL * static_cast<unsigned char>(c);
    std::memcpy(to, &pattern, 8);
    std::memcpy(to + size - 8, &pattern, 8);
  } else if (size >= 4) {
    const std::uint32_t pattern = 0x01010101U * static_cast<unsigned char>(c);
    std::memcpy(to, &pattern, 4);
    std::memcpy(to + size - 4, &pattern, 4);
  } else if (size >= 2) {
    const auto pattern = static_cast<std::uint16_t>(0x0101U * static_cast<unsigned char>(c));
    std::memcpy(to, &pattern, 2);
    std::memcpy(to + size - 2, &pattern, 2);
  } else if (size == 1) {
    to[0] = c;
  }
}

// The record of one line, columns 1 to 5000, written straight into the listing's buffer. Only
// the columns up to `filled` hold defined bytes; every column past it is a blank. So a short
// line costs only the columns it uses.
class Record {
 public:
  explicit Record(char* cells) : cells_(cells) { std::memset(cells_, ' ', kGutter); }

  void text(std::string_view text) {
    if (!text.empty()) {
      copy_bytes(cells_ + kGutter, text.data(), text.size());
      filled_ = kGutter + static_cast<std::int64_t>(text.size());
      last_ = filled_;
    }
  }
  // Column `column` (1 to 5000) becomes `glyph`, which is not a blank.
  void put(std::int64_t column, char glyph) {
    extend_to(column);
    cells_[column - 1] = glyph;
    last_ = std::max(last_, column);
  }
  // The cells with every column up to `column` defined, for the caller to draw in; column k is
  // cells[k - 1]. The caller then tells the last column it made non-blank with drawn().
  char* cells_through(std::int64_t column) {
    extend_to(column);
    return cells_;
  }
  void drawn(std::int64_t column) { last_ = std::max(last_, column); }
  void flag(char c) {
    cells_[0] = c;
    if (c != ' ') {
      last_ = std::max<std::int64_t>(last_, 1);
    }
  }
  // The position of the last column that is not blank, 0 when all are blank.
  std::int64_t last() const { return last_; }
  // The length of the record by lena: its last non-blank column, and 1 when it is all blank.
  std::size_t length() const { return static_cast<std::size_t>(std::max<std::int64_t>(last_, 1)); }

 private:
  void extend_to(std::int64_t column) {
    if (column > filled_) {
      fill_bytes(cells_ + filled_, ' ', static_cast<std::size_t>(column - filled_));
      filled_ = column;
    }
  }

  char* cells_;
  std::int64_t filled_ = kGutter;
  std::int64_t last_ = 0;
};

// Reports the negative values of a nesting and sets each to 0.
[[gnu::noinline]] void clear_negative(Nesting& n, const Form& form, Streams& streams,
                                      std::string_view b) {
  errr("Invalid diagramming index", form, streams, b);
  n.oldlev = std::max<std::int64_t>(n.oldlev, 0);
  n.toplev = std::max<std::int64_t>(n.toplev, 0);
  n.newlev = std::max<std::int64_t>(n.newlev, 0);
  n.nmark = std::max<std::int64_t>(n.nmark, 0);
}

// Reports a negative value among the four of a nesting, sets each negative one to 0, then
// makes the top level the larger of old and new level and raises the mark count to the change.
[[gnu::always_inline]] inline void check_and_normalise(Nesting& n, const Form& form,
                                                       Streams& streams, std::string_view b) {
  if ((n.oldlev | n.toplev | n.newlev | n.nmark) < 0) {
    clear_negative(n, form, streams, b);
  }
  n.toplev = std::max(n.oldlev, n.newlev);
  const std::int64_t change = n.newlev > n.oldlev ? n.newlev - n.oldlev : n.oldlev - n.newlev;
  n.nmark = std::max(n.nmark, change);
}

// Draws a normalised nesting whose level k stands in column base + k + 1, using no column past
// `limit`. A mark converts the glyph just right of it to its horizontal variant when that
// column is not past `convert_limit`. Levels past the limit cost nothing: only the visible
// columns are visited, so a line at level 1,000,000 costs what one at level 12 does.
[[gnu::always_inline]] inline void draw(const Nesting& n, std::int64_t base, std::int64_t limit,
                                        std::int64_t convert_limit, const GlyphTable& glyphs,
                                        Record& record) {
  const std::int64_t visible = limit - base - 1;  // deepest level whose column fits
  if (visible < 1) {
    return;
  }
  // The columns drawn or looked at: the levels shown, the one right of the deepest, and the
  // run to the text.
  const bool run_to_text = n.toplev > 0 && n.nmark != 0 && n.toplev < visible;
  const std::int64_t deepest_shown = std::min(std::max<std::int64_t>(n.toplev, 1), visible);
  const std::int64_t reach = run_to_text ? limit + 1 : base + deepest_shown + 2;
  char* const cells = record.cells_through(std::min(reach, kRecordWidth));
  const auto cell = [cells](std::int64_t column) -> char& { return cells[column - 1]; };
  std::int64_t last = 0;  // the last column made non-blank
  if (n.toplev > 0) {
    const std::int64_t shown = std::min(n.toplev, visible);
    fill_bytes(&cell(base + 2), glyphs.blockcontinue, static_cast<std::size_t>(shown));
    last = base + shown + 1;
    if (run_to_text) {
      fill_bytes(&cell(base + n.toplev + 2), glyphs.blockhoriz,
                 static_cast<std::size_t>(limit - base - n.toplev - 1));
      last = limit;
    }
  }
  if (n.nmark != 0) {
    const char glyph = n.oldlev < n.newlev   ? glyphs.blockbegin
                       : n.oldlev > n.newlev ? glyphs.blockend
                                             : glyphs.blockelse;
    // Marks go deepest first; surplus marks fall on level 1 and change nothing more.
    const std::int64_t deepest = std::max<std::int64_t>(n.toplev, 1);
    const std::int64_t shallowest = n.nmark >= deepest ? 1 : deepest - n.nmark + 1;
    for (std::int64_t level = deepest_shown; level >= shallowest; --level) {
      const std::int64_t column = base + level + 1;
      cell(column) = glyph;
      last = std::max(last, column);
      const std::int64_t right = column + 1;
      if (right > convert_limit || right > kRecordWidth) {
        continue;
      }
      char next = cell(right);
      if (next == glyphs.blockelse) {
        next = glyphs.blockelseh;
      }
      if (next == glyphs.blockbegin) {
        next = glyphs.blockbeginh;
      }
      if (next == glyphs.blockend) {
        next = glyphs.blockendh;
      }
      if (next != ' ') {
        cell(right) = next;
        last = std::max(last, right);
      }
    }
  }
  record.drawn(last);
}

}  // namespace

void formline(std::string_view b, LineState& state, Form& form, const RenderSettings& settings,
              GlyphTable& glyphs, Streams& streams) {
  if (settings.ibmpc) {
    glyphs.load_ibmpc();
  }
  // The messages come first, in their order; none depends on the drawing, so the record can
  // then be built where it is written.
  check_and_normalise(state.primary, form, streams, b);
  const std::string_view text = trimmed(b);
  if (static_cast<std::int64_t>(text.size()) > kTextRoom) {
    report(settings.too_many_columns, "Too many columns to diagram", form, streams, b);
  }
  const std::int64_t leftcols = settings.leftcols;
  if (leftcols > 0) {
    check_and_normalise(state.secondary, form, streams, b);
  }

  // Room for the longest record and its CR LF.
  char* const cells = streams.listing.room(static_cast<std::size_t>(kRecordWidth) + 2);
  Record record(cells);
  record.text(static_cast<std::int64_t>(text.size()) > kTextRoom
                  ? trimmed(text.substr(0, static_cast<std::size_t>(kTextRoom)))
                  : text);

  if (state.jump) {
    record.flag('*');
  }
  if (state.incomment) {
    state.hascomment = true;
  }
  if (!state.hascode && state.hascomment) {
    record.flag('=');
  }

  // The margin may use every column up to two before the first character of the text found in
  // record columns 2 to 4999, so that one blank always separates the two.
  const std::size_t first = first_nonblank(text);
  const std::int64_t limit = first != std::string_view::npos && first < kTextRoom - 1
                                 ? static_cast<std::int64_t>(first) + kGutter - 1
                                 : kRecordWidth - 2;

  // A nesting at level 0 with no marks draws nothing.
  const auto drawn = [](const Nesting& n) { return n.toplev > 0 || n.nmark != 0; };
  if (drawn(state.primary)) {
    draw(state.primary, leftcols, limit, kRecordWidth, glyphs, record);
  }
  if (leftcols > 0 && drawn(state.secondary)) {
    draw(state.secondary, 0, std::min(leftcols + 1, limit), leftcols + 1, glyphs, record);
  }

  if (settings.numcol > 0) {
    const std::int64_t start = std::int64_t{settings.numcol} + kGutter;
    if (record.last() < start) {
      if (form[0] == ' ') {
        form[0] = glyphs.blockcontinue;
      }
      for (std::int64_t k = 0; k < 5 && start + k <= kRecordWidth; ++k) {
        const char c = form[static_cast<std::size_t>(k)];
        if (c != ' ') {
          record.put(start + k, c);
        }
      }
    }
  }

  const std::size_t length = record.length();
  cells[length] = '\r';
  cells[length + 1] = '\n';
  streams.listing.commit(length + 2);

  state.primary.oldlev = state.primary.newlev;
  state.secondary.oldlev = state.secondary.newlev;
}

}  // namespace nest
