#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "core/text_helpers.h"

namespace nest::fuzz {

namespace {

// The values an answer selector picks from: small values, the column limits of the record, and
// the 32-bit extremes.
// clang-format off
constexpr int kEdges[] = {
    0, 1, -1, 2, 7, 8, 9, 12, 13, 80, 120, 160, 4986, 4987, 4988, 4989, 4999, 5000, 5001, 9999,
    -13, -4988,
    std::numeric_limits<int>::max(), std::numeric_limits<int>::min(),
    std::numeric_limits<int>::max() - 13, std::numeric_limits<int>::min() + 1,
};
// clang-format on

// The longest record either stream can hold: a line echoed on the console as
// " Line " + form + " " + the 5000 columns of the line.
constexpr std::size_t kLongestRecord = 6 + 5 + 1 + 5000;

constexpr std::string_view kFormFeedNotice = " ------------FORM FEED------------";
constexpr std::string_view kRuler =
    "....,....1....,....2....,....3....,....4....,....5....,....6....,....7....,....8";

// The bytes a record may hold: the printable codes, and where asked the eight IBM PC glyphs and
// the tab.
class ByteSet {
 public:
  ByteSet(bool ibmpc, bool tabs) {
    for (int c = 32; c <= 127; ++c) {
      allowed_[c] = true;
    }
    if (ibmpc) {
      for (const int glyph : {0xDA, 0xC0, 0xC3, 0xB3, 0xC4, 0xC2, 0xC1, 0xC5}) {
        allowed_[glyph] = true;
      }
    }
    allowed_[static_cast<unsigned char>('\t')] = tabs;
  }
  // The first byte of `record` outside the set, or -1.
  int first_outside(std::string_view record) const {
    bool all = true;
    for (const char c : record) {
      all &= allowed_[static_cast<unsigned char>(c)];
    }
    if (all) {
      return -1;
    }
    for (const char c : record) {
      if (!allowed_[static_cast<unsigned char>(c)]) {
        return static_cast<unsigned char>(c);
      }
    }
    return -1;
  }

 private:
  bool allowed_[256] = {};
};

// Splits `bytes` into records ended by CR LF; fails on a lone CR or LF or an unended record.
std::vector<std::string_view> records(std::string_view bytes, std::string_view stream) {
  std::vector<std::string_view> out;
  const char* const begin = bytes.data();
  const char* const end = begin + bytes.size();
  const char* start = begin;
  while (start != end) {
    const auto left = static_cast<std::size_t>(end - start);
    const auto* cr = static_cast<const char*>(std::memchr(start, '\r', left));
    const auto* lf = static_cast<const char*>(std::memchr(start, '\n', left));
    if (cr == nullptr || cr + 1 == end || cr[1] != '\n' || lf != cr + 1) {
      fail(std::string(stream) + ": a record not ended by CR LF, or a lone CR or LF");
    }
    if (static_cast<std::size_t>(cr - start) > kLongestRecord) {
      fail(std::string(stream) + ": a record longer than any record can be");
    }
    out.emplace_back(start, static_cast<std::size_t>(cr - start));
    start = cr + 2;
  }
  return out;
}

// Checks that every record holds only bytes of `allowed`, except one that is exactly
// `control_record`, the one record of this stream that is made of a control byte.
void check_bytes(const std::vector<std::string_view>& records, std::size_t from,
                 std::string_view control_record, const ByteSet& allowed, std::string_view stream) {
  for (std::size_t k = from; k < records.size(); ++k) {
    const std::string_view record = records[k];
    if (record == control_record) {
      continue;
    }
    if (const int c = allowed.first_outside(record); c >= 0) {
      fail(std::string(stream) + ": byte " + std::to_string(c) + " in the record \"" +
           std::string(record.substr(0, 200)) + "\"");
    }
  }
}

bool is_message(std::string_view record) {
  return record.starts_with(" ***ERROR ") || record.starts_with(" ***WARNING ");
}

}  // namespace

void fail(std::string_view what) {
  std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
  std::abort();
}

std::uint8_t FuzzInput::next_byte() {
  return at_ < bytes_.size() ? static_cast<std::uint8_t>(bytes_[at_++]) : 0;
}

int FuzzInput::answer() {
  const std::uint8_t selector = next_byte();
  if (selector < 128) {
    return kEdges[selector % std::size(kEdges)];
  }
  std::uint32_t value = 0;
  for (int k = 0; k < 4; ++k) {
    value |= std::uint32_t{next_byte()} << (8 * k);
  }
  return static_cast<int>(value);
}

std::string_view FuzzInput::text(std::size_t max) {
  const std::size_t wanted = std::min<std::size_t>(next_byte(), max);
  const std::string_view taken = bytes_.substr(at_, wanted);
  at_ += taken.size();
  return taken;
}

void check_listing_pair(CapturedRun& to_file, CapturedRun& to_screen,
                        std::string_view filnam, int ruler_indent, bool ibmpc) {
  const std::vector<std::string_view> file = records(to_file.file(), "listing file");
  const std::vector<std::string_view> console = records(to_file.console(), "console");
  const std::vector<std::string_view> screen = records(to_screen.console(), "screen");

  const std::string header =
      " \f=============--" + shown_safely(upto_lena(filnam)) + "--=============";
  const std::string ruler =
      std::string(static_cast<std::size_t>(ruler_indent), ' ') + std::string(kRuler);
  if (file.size() < 3 || file[0] != header || file[1] != ruler || !file[2].empty()) {
    fail("listing file: no page header, ruler and empty record at its start");
  }
  check_bytes(file, 1, "\f", ByteSet(ibmpc, false), "listing file");
  // Beside a listing file, the console shows the line of a warning as read, tabs unexpanded.
  check_bytes(console, 0, " \a", ByteSet(ibmpc, true), "console");
  check_bytes(screen, 0, " \a", ByteSet(ibmpc, false), "screen");

  // The screen shows what the file holds, with the bell after each message and the notice in
  // place of each page break.
  std::size_t at = 0;
  const auto expect = [&](std::string_view record) {
    if (at >= screen.size() || screen[at] != record) {
      fail("screen: the listing differs from the listing file");
    }
    ++at;
  };
  for (std::size_t k = 1; k < file.size(); ++k) {
    if (file[k] == "\f") {
      expect(kFormFeedNotice);
      continue;
    }
    expect(file[k]);
    if (is_message(file[k])) {
      expect(" \a");
    }
  }
  if (at != screen.size()) {
    fail("screen: more records than the listing file");
  }

  // Beside a listing file, the console copies every message of the file, in the same order.
  std::size_t copied = 0;
  std::vector<std::string_view> messages;
  for (std::size_t k = 1; k < file.size(); ++k) {
    if (is_message(file[k])) {
      messages.push_back(file[k]);
    }
  }
  for (const std::string_view record : console) {
    if (copied < messages.size() && record == messages[copied]) {
      ++copied;
    }
  }
  if (copied != messages.size()) {
    fail("console: the messages of the listing file are not all copied, in order");
  }
}

}  // namespace nest::fuzz
