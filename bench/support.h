// What the micro-benchmarks share: streams that discard what they get, and the lines of a
// generated source as the reader delivers them.
#pragma once

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/padded_text.h"
#include "core/reader.h"
#include "core/streams.h"

namespace bench {

/// Console and listing streams that write to /dev/null, as a listing to a file would.
class NullStreams {
 public:
  NullStreams()
      : fd_(::open("/dev/null", O_WRONLY)),
        console_(fd_, "console"),
        file_(fd_, "listing"),
        streams_{console_, file_, true} {}
  ~NullStreams() {
    console_.flush();
    file_.flush();
    ::close(fd_);
  }
  NullStreams(const NullStreams&) = delete;
  NullStreams& operator=(const NullStreams&) = delete;

  nest::Streams& streams() { return streams_; }

 private:
  int fd_;
  nest::Sink console_;
  nest::Sink file_;
  nest::Streams streams_;
};

/// The lines of `source` as irdlin delivers them: tabs expanded, without trailing blanks.
inline std::vector<std::string> delivered_lines(const std::string& source) {
  NullStreams out;
  nest::ByteSource input(source);
  nest::LineBuffer line;
  std::int64_t count = 0;
  nest::Form form{};
  std::vector<std::string> lines;
  while (!nest::irdlin(input, out.streams(), 160, line, count, form)) {
    lines.emplace_back(line.view());
  }
  return lines;
}

/// The total size of `lines`, with one line end each.
inline std::int64_t bytes_of(const std::vector<std::string>& lines) {
  std::int64_t total = 0;
  for (const std::string& l : lines) {
    total += static_cast<std::int64_t>(l.size()) + 1;
  }
  return total;
}

/// Runs a fresh scanner from `make_scanner` over `lines` once per iteration, moving the levels
/// on after each line as the renderer would.
template <typename MakeScanner>
void scan_lines(benchmark::State& state, const std::vector<std::string>& lines,
                MakeScanner make_scanner) {
  NullStreams out;
  const nest::Form form = {' ', ' ', ' ', '4', '2'};
  // Padded once, as the reader's buffer is.
  const std::vector<nest::PaddedString> padded(lines.begin(), lines.end());
  for (auto _ : state) {
    auto scanner = make_scanner();
    nest::LineState line_state;
    for (const nest::PaddedString& line : padded) {
      scanner.scan(line, form, line_state, out.streams());
      line_state.primary.oldlev = line_state.primary.newlev;
      line_state.secondary.oldlev = line_state.secondary.newlev;
    }
    benchmark::DoNotOptimize(line_state);
  }
  state.SetBytesProcessed(state.iterations() * bytes_of(lines));
}

}  // namespace bench
