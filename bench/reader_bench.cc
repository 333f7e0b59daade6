// The line reader: bytes of a source to expanded lines.
#include <benchmark/benchmark.h>

#include "bench/corpus.h"
#include "bench/support.h"
#include "core/reader.h"

namespace {

void read_all(benchmark::State& state, const std::string& source) {
  bench::NullStreams out;
  nest::LineBuffer line;
  nest::Form form{};
  for (auto _ : state) {
    nest::ByteSource input(source);
    std::int64_t count = 0;
    while (!nest::irdlin(input, out.streams(), 160, line, count, form)) {
      benchmark::DoNotOptimize(line.length);
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
}

void BM_irdlin_idl(benchmark::State& state) {
  static const std::string source = bench::idl_source(4'000'000);
  read_all(state, source);
}
BENCHMARK(BM_irdlin_idl);

void BM_irdlin_c(benchmark::State& state) {
  static const std::string source = bench::c_source(4'000'000);
  read_all(state, source);
}
BENCHMARK(BM_irdlin_c);

void BM_irdlin_wide(benchmark::State& state) {
  static const std::string source = bench::wide_source("c", 4'000'000);
  read_all(state, source);
}
BENCHMARK(BM_irdlin_wide);

void BM_irdlin_empty(benchmark::State& state) {
  static const std::string source = bench::empty_lines(1'000'000);
  read_all(state, source);
}
BENCHMARK(BM_irdlin_empty);

}  // namespace
