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
  for (auto _ : state) {
    auto scanner = make_scanner();
    nest::LineState line_state;
    for (const std::string& line : lines) {
      scanner.scan(line, form, line_state, out.streams());
      line_state.primary.oldlev = line_state.primary.newlev;
      line_state.secondary.oldlev = line_state.secondary.newlev;
    }
    benchmark::DoNotOptimize(line_state);
  }
  state.SetBytesProcessed(state.iterations() * bytes_of(lines));
}

/// The scan texts that a scanner from `make_scanner` builds for `lines`.
template <typename MakeScanner>
std::vector<std::string> scan_texts(const std::vector<std::string>& lines,
                                    MakeScanner make_scanner) {
  NullStreams out;
  auto scanner = make_scanner();
  nest::LineState line_state;
  std::vector<std::string> texts;
  for (const std::string& line : lines) {
    scanner.scan(line, {' ', ' ', ' ', ' ', '1'}, line_state, out.streams());
    texts.emplace_back(scanner.scan_text());
  }
  return texts;
}

/// Calls `found(text)` for each of `texts` once per iteration: a keyword search on its own.
template <typename Found>
void find_in_texts(benchmark::State& state, const std::vector<std::string>& texts, Found found) {
  for (auto _ : state) {
    int hits = 0;
    for (const std::string& text : texts) {
      hits += found(text) ? 1 : 0;
    }
    benchmark::DoNotOptimize(hits);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size()));
}

}  // namespace bench
