// The C scanner step.
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

}  // namespace
