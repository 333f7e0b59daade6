#include "core/reader.h"

#include <algorithm>
#include <cstring>

#include "core/diagnostics.h"
#include "core/simd.h"
#include "core/text_helpers.h"

namespace nest {

namespace {

constexpr int kTooLongColumn = 4989;  // a character here cannot be diagrammed

// A character that the listing drops: outside 32 to 127, and not a tab.
bool dropped(char c) {
  return c != '\t' && outside_printable(c);
}

// The line as read for the console copy of a warning, without the bytes that the listing drops
// too: a source line must not send control sequences to the user's terminal. Uses `storage`
// only when there is something to drop.
std::string_view console_copy(std::string_view raw, std::string& storage) {
  // Runs of printable characters are passed over a block at a time; tabs are kept.
  std::size_t first_dropped = find_outside_printable(raw, 0);
  while (first_dropped < raw.size() && raw[first_dropped] == '\t') {
    first_dropped = find_outside_printable(raw, first_dropped + 1);
  }
  if (first_dropped == raw.size()) {
    return raw;
  }
  storage.assign(raw.substr(0, first_dropped));
  for (char c : raw.substr(first_dropped)) {
    if (!dropped(c)) {
      storage.push_back(c);
    }
  }
  return storage;
}

}  // namespace

void format_line_number(std::int64_t count, Form& form) {
  if (count > 99999 || count < 0) {
    form.fill('*');
    return;
  }
  // Two digits at a time from a table, then the leading zeros become blanks.
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  const auto n = static_cast<unsigned>(count);
  const unsigned high = n / 100;
  form[0] = static_cast<char>('0' + high / 100);
  std::memcpy(form.data() + 1, kPairs + 2 * (high % 100), 2);
  std::memcpy(form.data() + 3, kPairs + 2 * (n % 100), 2);
  for (std::size_t k = 0; k + 1 < form.size() && form[k] == '0'; ++k) {
    form[k] = ' ';
  }
}

bool irdlin(ByteSource& source, Streams& streams, int maxlen, LineBuffer& line,
            std::int64_t& linecount, Form& form) {
  line.length = 0;
  line.in_source = nullptr;
  std::string_view raw;  // the line as read, at most 5000 bytes; valid until the next read
  bool plain = false;    // every byte in 32 to 127: nothing to expand or drop
  if (!source.read_line(raw, kTextWidth, plain)) {
    return true;
  }
  ++linecount;
  format_line_number(linecount, form);
  if (streams.reports != nullptr) {
    streams.reports->line = linecount;
  }

  // Below `watch` neither warning can fire; so a plain line that ends before it is the line, and
  // is viewed where the source holds it (with the padding it owns), valid past the next read.
  const std::int64_t watch = std::min<std::int64_t>(kTooLongColumn, std::int64_t{maxlen} + 1);
  if (plain && static_cast<std::int64_t>(raw.size()) < watch) {
    raw = trimmed(raw);
    line.in_source = raw.data();
    line.length = raw.size();
    return false;
  }
  // What the source threw away past the line's 5000th byte is no longer in `raw`.
  const bool lost_text = raw.size() == static_cast<std::size_t>(kTextWidth) && source.lost_text();

  if (!raw.empty() && raw.front() == '\f') {
    if (streams.tofile) {
      streams.listing.record("\f");
    } else {
      streams.console.record(" ------------FORM FEED------------");
    }
    raw.remove_prefix(1);
  }
  raw = trimmed(raw);

  // Both warnings look at the column of each character that is not a blank: only the columns
  // from `watch` on are looked at one by one.
  bool too_long_given = false;
  bool length_given = false;
  std::string storage;
  std::string_view shown;  // the console copy, made at the first warning
  const auto warn_once = [&](std::string_view message) {
    if (shown.data() == nullptr) {
      shown = console_copy(raw, storage);
    }
    warn(message, form, streams, shown);
  };
  // Checks the characters of `run`, which start at output column `column`, for the warnings.
  const auto check_run = [&](std::string_view run, std::int64_t column) {
    const std::int64_t end = column + static_cast<std::int64_t>(run.size());
    for (std::int64_t at = std::max(column, watch); at < end; ++at) {
      if (too_long_given && length_given) {
        return;
      }
      if (length_given && at < kTooLongColumn) {
        at = kTooLongColumn - 1;  // only the too-long warning is left to give
        continue;
      }
      if (run[static_cast<std::size_t>(at - column)] == ' ') {
        continue;
      }
      if (at >= kTooLongColumn && !too_long_given) {
        warn_once("Line too long to diagram");
        too_long_given = true;
      } else if (at > maxlen && !length_given) {
        warn_once("Line over warning length");
        length_given = true;
      }
    }
  };

  // The line is copied a run of printable characters at a time; a tab moves the output column
  // on to the next stop, leaving blanks; other characters outside 32 to 127 are dropped.
  char* const out = line.expanded.data();
  std::int64_t column = 1;  // the output column of the next character; may pass 5000
  std::size_t i = 0;
  while (i < raw.size()) {
    const std::size_t run_end = find_outside_printable(raw, i);
    if (run_end > i) {
      const std::string_view run = columns(raw, i, run_end - i);
      if (column <= kTextWidth) {
        const std::size_t room = static_cast<std::size_t>(kTextWidth - column + 1);
        copy_bytes(out + column - 1, run.data(), std::min(room, run.size()));
      }
      if (column + static_cast<std::int64_t>(run.size()) > watch) {
        check_run(run, column);
      }
      column += static_cast<std::int64_t>(run.size());
      i = run_end;
      continue;
    }
    if (raw[i] == '\t') {
      const std::int64_t stop = ((column - 1) / 8 + 1) * 8 + 1;
      if (stop <= kTextWidth - 7) {
        // At most eight blanks, written at once; the columns past the stop are written again
        // by what follows, or lie past the line.
        std::memcpy(out + column - 1, "        ", 8);
      } else if (column <= kTextWidth) {
        std::memset(
            out + column - 1, ' ',
            static_cast<std::size_t>(std::min<std::int64_t>(stop, kTextWidth + 1) - column));
      }
      column = stop;
    }
    ++i;
  }
  // Text thrown away past the line's 5000th byte is met after every character above, and cannot
  // be diagrammed wherever it would have stood. Warned here without warn_once: a third copy of
  // it inlined made the copying above measurably slower on lines of 5000 columns.
  if (lost_text && !too_long_given) {
    warn("Line too long to diagram", form, streams,
         shown.data() != nullptr ? shown : console_copy(raw, storage));
  }
  // The line as read ends in a non-blank; unless it is a tab or a dropped character, or the
  // line passes column 5000, the expanded line ends there too.
  std::size_t length = static_cast<std::size_t>(std::min<std::int64_t>(column - 1, kTextWidth));
  if (!raw.empty() &&
      (outside_printable(raw.back()) || column - 1 > kTextWidth)) {
    while (length > 0 && out[length - 1] == ' ') {
      --length;
    }
  }
  line.length = length;
  return false;
}

}  // namespace nest
