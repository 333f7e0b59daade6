// What the fuzz harnesses share: the split of a fuzz input into answers and source bytes, and
// the checks that every listing must pass whatever the source held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/streams.h"
#include "core/test_support.h"

namespace nest::fuzz {

/// Reads a fuzz input from the front: answers first, then a short text, then the rest as source.
/// Past the end of the input every answer is 0 and every text empty, so any input is usable.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size)
      : bytes_(reinterpret_cast<const char*>(data), size) {}

  /// A whole-number answer. One selector byte: below 128 it picks a value from a table of edges
  /// (0, small values, the column limits of the record, the 32-bit extremes); from 128 on, the
  /// next four bytes are the value, little-endian.
  int answer();

  /// A text of at most `max` bytes: one length byte, then that many bytes (fewer at the end).
  std::string_view text(std::size_t max);

  /// Every byte not yet taken.
  std::string_view rest() const { return bytes_.substr(at_); }

 private:
  std::uint8_t next_byte();

  std::string_view bytes_;
  std::size_t at_ = 0;
};

/// Captured streams of one listing run: the console and, when listing to a file, the file.
using CapturedRun = nest::testing::Captured;

/// Stops the process with a message on standard error: libFuzzer reports it as a finding.
[[noreturn]] void fail(std::string_view what);

/// Checks a pair of runs over the same source with the same answers, one listed to a file and
/// one to the screen: every record ends in CR LF and is no longer than a record can be; no byte
/// outside the printable codes, the record end, the form feed of a page break (file only), the
/// bell and the tabs of a line shown under a warning (console only) and, when `ibmpc`, the eight
/// glyphs reaches either stream beyond the page header; the file starts with the page header for
/// `filnam` (its control bytes shown as '?'), the ruler indented by `ruler_indent` blanks and an
/// empty record; and the screen listing is the file listing with a bell after each message and
/// the page-break notice for each form-feed record; the console beside the file copies each
/// message of the file, in order.
void check_listing_pair(CapturedRun& to_file, CapturedRun& to_screen,
                        std::string_view filnam, int ruler_indent, bool ibmpc);

}  // namespace nest::fuzz
