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
  bench::scan_lines(state, lines, [] { return cnest::Scanner(); });
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
  static const std::vector<std::string> texts =
      bench::scan_texts(c_lines(), [] { return cnest::Scanner(); });
  bench::find_in_texts(state, texts,
                       [&](const std::string& text) { return cnest::find(text, key, flags); });
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
