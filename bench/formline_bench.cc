// The renderer: one record per line, at the nesting a scanner would give.
#include <benchmark/benchmark.h>

#include "bench/corpus.h"
#include "bench/support.h"
#include "core/formline.h"

namespace {

void render_all(benchmark::State& state, const std::vector<std::string>& lines, int leftcols,
                int numcol) {
  bench::NullStreams out;
  nest::RenderSettings settings;
  settings.leftcols = leftcols;
  settings.numcol = numcol;
  nest::GlyphTable glyphs;
  nest::Form form = {' ', ' ', ' ', '4', '2'};
  bench::Random random(9);
  // A line without text opens and closes nothing, as in the programs.
  std::vector<std::int64_t> levels;
  std::int64_t level = 0;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (!lines[k].empty()) {
      level = static_cast<std::int64_t>(random.below(6));
    }
    levels.push_back(level);
  }
  for (auto _ : state) {
    nest::LineState line_state;
    for (std::size_t k = 0; k < lines.size(); ++k) {
      line_state.primary.newlev = levels[k];
      line_state.primary.nmark = 0;
      line_state.hascode = true;
      nest::formline(lines[k], line_state, form, settings, glyphs, out.streams());
    }
  }
  state.SetBytesProcessed(state.iterations() * bench::bytes_of(lines));
}

void BM_formline_idl(benchmark::State& state) {
  static const auto lines = bench::delivered_lines(bench::idl_source(2'000'000));
  render_all(state, lines, 0, 0);
}
BENCHMARK(BM_formline_idl);

void BM_formline_c_numbered(benchmark::State& state) {
  static const auto lines = bench::delivered_lines(bench::c_source(2'000'000));
  render_all(state, lines, 3, 80);
}
BENCHMARK(BM_formline_c_numbered);

void BM_formline_empty(benchmark::State& state) {
  static const auto lines = bench::delivered_lines(bench::empty_lines(200'000));
  render_all(state, lines, 0, 0);
}
BENCHMARK(BM_formline_empty);

}  // namespace
