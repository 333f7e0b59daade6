// The IDL scanner step.
#include <benchmark/benchmark.h>

#include "bench/corpus.h"
#include "bench/support.h"
#include "idlnest/scanner.h"

namespace {

const std::vector<std::string>& idl_lines() {
  static const auto lines = bench::delivered_lines(bench::idl_source(2'000'000));
  return lines;
}

void scan_all(benchmark::State& state, const std::vector<std::string>& lines) {
  bench::scan_lines(state, lines, [] { return idlnest::Scanner(false, false); });
}

void BM_idl_scan(benchmark::State& state) {
  scan_all(state, idl_lines());
}
BENCHMARK(BM_idl_scan);

void BM_idl_scan_wide(benchmark::State& state) {
  static const auto lines = bench::delivered_lines(bench::wide_source("idl", 2'000'000));
  scan_all(state, lines);
}
BENCHMARK(BM_idl_scan_wide);

void BM_idl_scan_empty(benchmark::State& state) {
  static const auto lines = bench::delivered_lines(bench::empty_lines(200'000));
  scan_all(state, lines);
}
BENCHMARK(BM_idl_scan_empty);

}  // namespace
