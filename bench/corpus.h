// Deterministic sources for the benchmarks: realistic IDL and C programs of any size, and the
// shapes that show how cost scales (lines of 5000 columns, deep nesting, one huge line, many
// empty lines). The same arguments always give the same bytes, on every machine.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace bench {

/// A small, fast generator with a fixed sequence for a fixed seed.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  /// The next 64 random bits (splitmix64).
  std::uint64_t next();
  /// A number from 0 to n - 1.
  std::uint64_t below(std::uint64_t n) { return next() % n; }
  /// True with the given chance in percent.
  bool chance(int percent) { return below(100) < static_cast<std::uint64_t>(percent); }

 private:
  std::uint64_t state_;
};

/// A realistic IDL program of at least `bytes` bytes: procedures and functions with nested
/// if/for/while/repeat blocks, case statements with selectors, comments, strings with both
/// quote kinds, continuation lines, jumps, tab indentation and now and then a line near 5000
/// columns.
std::string idl_source(std::uint64_t bytes, std::uint64_t seed = 1);

/// A realistic C program of at least `bytes` bytes: functions with nested blocks, switch
/// statements, block and line comments, strings and character constants holding quotes and
/// braces, nested preprocessor conditionals, jumps, tab indentation and now and then a line
/// near 5000 columns.
std::string c_source(std::uint64_t bytes, std::uint64_t seed = 1);

/// About `bytes` bytes of lines that each reach column 5000, in the style of `language`
/// ("idl" or "c").
std::string wide_source(const std::string& language, std::uint64_t bytes);

/// A source nesting `levels` blocks deep and closing them again: IDL "begin" lines or C braces.
std::string deep_source(const std::string& language, std::uint64_t levels);

/// Writes one line of `bytes` bytes (code-like text) and its line end to `out`.
void write_one_line(std::FILE* out, std::uint64_t bytes);

/// `count` empty lines.
std::string empty_lines(std::uint64_t count);

}  // namespace bench
