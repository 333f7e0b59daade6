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
  bench::NullStreams out;
  const nest::Form form = {' ', ' ', ' ', '4', '2'};
  for (auto _ : state) {
    idlnest::Scanner scanner(false, false);
    nest::LineState line_state;
    for (const std::string& line : lines) {
      scanner.scan(line, form, line_state, out.streams());
      line_state.primary.oldlev = line_state.primary.newlev;
    }
    benchmark::DoNotOptimize(line_state);
  }
  state.SetBytesProcessed(state.iterations() * bench::bytes_of(lines));
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
  static const std::vector<std::string> texts = [] {
    bench::NullStreams out;
    idlnest::Scanner scanner(false, false);
    nest::LineState line_state;
    std::vector<std::string> result;
    for (const std::string& line : idl_lines()) {
      scanner.scan(line, {' ', ' ', ' ', ' ', '1'}, line_state, out.streams());
      result.emplace_back(scanner.scan_text());
    }
    return result;
  }();
  for (auto _ : state) {
    int found = 0;
    for (const std::string& text : texts) {
      found += idlnest::find(text, key, flags) != 0 ? 1 : 0;
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(texts.size()));
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
