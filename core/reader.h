// The source line reader: one line per call, counted, numbered, tab-expanded and cleaned of
// characters outside the codes 32 to 127.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/padded_text.h"
#include "core/streams.h"
#include "core/text.h"

namespace nest {

/// The line reader's buffers, kept for the whole run so that no line allocates.
struct LineBuffer {
  /// The expanded line: columns 1 to length; every column past it is a blank.
  PaddedView view() const {
    return PaddedView::over(in_source != nullptr ? in_source : expanded.data(), length);
  }

  std::array<char, kTextWidth + kPadding> expanded{};  ///< the expanded line, then the padding
  /// A line that needs no expanding or cleaning, where the source's buffer holds it; or null
  /// when the line is in `expanded`.
  const char* in_source = nullptr;
  std::size_t length = 0;  ///< significant length of the line (may be 0)
};

/// Reads the next source line into `line`: counts it in `linecount` and writes its number into
/// `form` ("*****" above 99999), turns a form feed in column 1 into a page break (a record of
/// the form feed alone in the listing file, or a notice on the screen), expands tabs to stops
/// every 8 columns and drops every other character outside 32 to 127. Warns once per line about
/// text at column 4989 or beyond, or thrown away past the line's 5000th byte, and about text past
/// `maxlen`. Returns true at the end of the source, leaving the line empty and `linecount` and
/// `form` unchanged.
///
/// performance-critical; please benchmark any changes.
bool irdlin(ByteSource& source, Streams& streams, int maxlen, LineBuffer& line,
            std::int64_t& linecount, Form& form);

/// The lines of a source read in turn by irdlin, for the listing loop.
class LineReader {
 public:
  /// Reads `source`, warning about lines longer than `maxlen`.
  LineReader(ByteSource& source, int maxlen) : source_(source), maxlen_(maxlen) {}

  /// The next line, as irdlin delivers it, and its number in `form`, after irdlin has written
  /// for it what it writes (a page break, warnings). False at the end of the source, leaving
  /// `form` as it is. A line stays valid until the next call that gives a line: after the end,
  /// the last line stays valid, as the report at the end quotes it.
  bool next(PaddedView& line, Form& form, Streams& streams) {
    if (irdlin(source_, streams, maxlen_, lines_[current_], linecount_, form)) {
      return false;
    }
    line = lines_[current_].view();
    current_ ^= 1;  // the next line goes into the other buffer
    return true;
  }

 private:
  ByteSource& source_;
  int maxlen_;
  LineBuffer lines_[2];
  int current_ = 0;
  std::int64_t linecount_ = 0;
};

/// Writes `count` into `form`: right-justified in five columns, or five asterisks above 99999.
void format_line_number(std::int64_t count, Form& form);

}  // namespace nest
