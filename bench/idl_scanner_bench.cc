// The IDL scanner step and its keyword search.
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

// find alone, over the scan texts of the corpus, for one key and flag word.
void find_all(benchmark::State& state, std::string_view key, int flags) {
  static const std::vector<std::string> texts =
      bench::scan_texts(idl_lines(), [] { return idlnest::Scanner(false, false); });
  bench::find_in_texts(
      state, texts, [&](const std::string& text) { return idlnest::find(text, key, flags) != 0; });
}

void BM_idl_find_first_word(benchmark::State& state) {
  find_all(state, "endif ", idlnest::kFirstWord);
}
BENCHMARK(BM_idl_find_first_word);

void BM_idl_find_line_end(benchmark::State& state) {
  find_all(state, "begin  ", idlnest::kBlankBefore);
}
BENCHMARK(BM_idl_find_line_end);

void BM_idl_find_anywhere(benchmark::State& state) {
  find_all(state, "return", idlnest::kBlankBefore | idlnest::kBlankOrOpenParenAfter);
}
BENCHMARK(BM_idl_find_anywhere);

void BM_idl_find_colon(benchmark::State& state) {
  find_all(state, ":", 0);
}
BENCHMARK(BM_idl_find_colon);

}  // namespace
