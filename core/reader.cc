#include "core/reader.h"

#include <algorithm>

#include "core/diagnostics.h"
#include "core/prompts.h"

namespace nest {

namespace {

constexpr int kTooLongColumn = 4989;  // a character here cannot be diagrammed

bool dropped(unsigned char c) { return (c < 32 && c != '\t') || c >= 128; }

// The line as read for the console copy of a warning, without the bytes that the listing drops
// too: a source line must not send control sequences to the user's terminal.
std::string console_copy(std::string_view raw) {
  std::string copy;
  copy.reserve(raw.size());
  for (char c : raw) {
    if (!dropped(static_cast<unsigned char>(c))) {
      copy.push_back(c);
    }
  }
  return copy;
}

}  // namespace

void format_line_number(std::int64_t count, Form& form) {
  if (count > 99999 || count < 0) {
    form.fill('*');
    return;
  }
  form.fill(' ');
  for (std::size_t k = form.size(); k > 0 && (count > 0 || k == form.size()); --k) {
    form[k - 1] = static_cast<char>('0' + count % 10);
    count /= 10;
  }
}

bool irdlin(ByteSource& source, Streams& streams, int maxlen, LineBuffer& line,
            std::int64_t& linecount, Form& form) {
  line.length = 0;
  if (!source.read_line(line.raw, kTextWidth)) {
    return true;
  }
  ++linecount;
  format_line_number(linecount, form);

  std::string_view raw = line.raw;
  if (!raw.empty() && raw.front() == '\f') {
    if (streams.tofile) {
      streams.listing.record("\f");
    } else {
      streams.console.record(" ------------FORM FEED------------");
    }
    raw.remove_prefix(1);
  }
  raw = trimmed(raw);

  // Both warnings look at the column of each character that is not a blank. Below `watch`
  // neither can fire, so the common case costs one comparison per character.
  bool too_long_given = false;
  bool length_given = false;
  const std::int64_t watch = std::min<std::int64_t>(kTooLongColumn, std::int64_t{maxlen} + 1);

  char* out = line.expanded.data();
  std::int64_t column = 1;  // the output column of the next character; may pass 5000
  for (const char ch : raw) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '\t') {
      column = ((column - 1) / 8 + 1) * 8 + 1;
      continue;
    }
    if (dropped(c)) {
      continue;
    }
    if (column <= kTextWidth) {
      // Tabs leave gaps; blank them as they are passed.
      std::fill(out + line.length, out + column - 1, ' ');
      out[column - 1] = ch;
      line.length = static_cast<std::size_t>(column);
    }
    if (c != ' ' && column >= watch) {
      if (column >= kTooLongColumn && !too_long_given) {
        warn("Line too long to diagram", form, streams, console_copy(raw));
        too_long_given = true;
      } else if (column > maxlen && !length_given) {
        warn("Line over warning length", form, streams, console_copy(raw));
        length_given = true;
      }
    }
    ++column;
  }
  // Dropped characters and blanks may end the expanded line.
  while (line.length > 0 && out[line.length - 1] == ' ') {
    --line.length;
  }
  return false;
}

}  // namespace nest
