// The C scanner step and its keyword search.
#include <benchmark/benchmark.h>

#include "bench/corpus.h"
#include "bench/support.h"
#include "cnest/scanner.h"

namespace {

const std::vector<std::string>& c_lines() {
  static const auto lines = bench::delivered_lines(bench::c_source(2'000'000));
  return lines;
}

void scan_all(benchmark::State& state, const std::vector<std::string>& lines) {
  bench::NullStreams out;
  const nest::Form form = {' ', ' ', ' ', '4', '2'};
  for (auto _ : state) {
    cnest::Scanner scanner;
    nest::LineState line_state;
    for (const std::string& line : lines) {
      scanner.scan(line, form, line_state, out.streams());
      line_state.primary.oldlev = line_state.primary.newlev;
      line_state.secondary.oldlev = line_state.secondary.newlev;
    }
    benchmark::DoNotOptimize(line_state);
  }
  state.SetBytesProcessed(state.iterations() * bench::bytes_of(lines));
}

void BM_c_scan(benchmark::State& state) {
  scan_all(state, c_lines());
}
BENCHMARK(BM_c_scan);

void BM_c_scan_wide(benchmark::State& state) {
  static const auto lines = bench::delivered_lines(bench::wide_source("c", 2'000'000));
  scan_all(state, lines);
}
BENCHMARK(BM_c_scan_wide);

void BM_c_scan_empty(benchmark::State& state) {
  static const auto lines = bench::delivered_lines(bench::empty_lines(200'000));
  scan_all(state, lines);
}
BENCHMARK(BM_c_scan_empty);

void find_all(benchmark::State& state, std::string_view key, int flags) {
  static const std::vector<std::string> texts = [] {
    bench::NullStreams out;
    cnest::Scanner scanner;
    nest::LineState line_state;
    std::vector<std::string> result;
    for (const std::string& line : c_lines()) {
      scanner.scan(line, {' ', ' ', ' ', ' ', '1'}, line_state, out.streams());
      result.emplace_back(scanner.scan_text());
    }
    return result;
  }();
  for (auto _ : state) {
    int found = 0;
    for (const std::string& text : texts) {
      found += cnest::find(text, key, flags) ? 1 : 0;
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size()));
}

void BM_c_find_directive(benchmark::State& state) {
  find_all(state, "#if", cnest::kFirstWord);
}
BENCHMARK(BM_c_find_directive);

void BM_c_find_jump(benchmark::State& state) {
  find_all(state, "return", cnest::kStatementBefore | cnest::kNoWordAfter);
}
BENCHMARK(BM_c_find_jump);

}  // namespace
