// Faults table, answers: every way a question can be left or answered badly, and the extremes
// that are valid.
#include <cstddef>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/faults.h"

namespace nest::testing {
namespace {

/// `records` (each ended by CR LF) with the record " ***WARNING <message>: Line <n>:" before
/// each, n counting from 1 in the five columns of the line number.
std::string warned_before_each(std::string_view records, std::string_view message) {
  std::string out;
  int line = 0;
  while (!records.empty()) {
    const std::size_t end = records.find("\r\n") + 2;
    std::string number = std::to_string(++line);
    number.insert(0, 5 - number.size(), ' ');
    out += " ***WARNING " + std::string(message) + ": Line " + number + ":\r\n";
    out += records.substr(0, end);
    records.remove_prefix(end);
  }
  return out;
}

void add_answer_rows(const Program& p, std::vector<Row>& rows) {
  const std::string start = listing_start(p, "s");
  const std::vector<std::string> full = dialogue(p, {});
  for (std::size_t asked = 0; asked < full.size(); ++asked) {
    rows.push_back(
        {.name = "EndOfInputAtQuestion" + std::to_string(asked + 1),
         .program = &p,
         .prepare = small_source(p),
         .input = answers({full.begin(), full.begin() + static_cast<std::ptrdiff_t>(asked)}),
         .status = 2,
         .error =
             fatal(p, "standard input: end of input at the question '" + p.prompts[asked] + "'")});
  }

  const std::string& numcol_prompt = p.prompts[2];
  const struct {
    const char* name;
    const char* typed;
    const char* shown;  // what the diagnostic quotes
  } malformed[] = {{"DigitsThenLetters", "12abc", "12a"},
                   {"DecimalPoint", "1.5", "1."},
                   {"Letters", "abc", "a"},
                   {"LonePlus", "+", "+"},
                   {"LoneMinus", "-", "-"}};
  for (const auto& m : malformed) {
    rows.push_back({.name = std::string("Malformed") + m.name,
                    .program = &p,
                    .prepare = small_source(p),
                    .input = console_input(p, {.numcol = m.typed}),
                    .status = 2,
                    .error = fatal(p, std::string("standard input: malformed number '") + m.shown +
                                          "' at the question '" + numcol_prompt + "'")});
  }

  // Past the 32-bit range, at the last question: every question checks its number.
  const std::string& last_prompt = p.prompts.back();
  for (const char* number : {"2147483648", "-2147483649"}) {
    Answers a;
    (p.idl ? a.warnquote : a.maxlen) = number;
    rows.push_back({.name = std::string(number[0] == '-' ? "Below" : "Above") + "Int32Range",
                    .program = &p,
                    .prepare = small_source(p),
                    .input = console_input(p, a),
                    .status = 2,
                    .error = fatal(p, std::string("standard input: number out of range '") +
                                          number + "' at the question '" + last_prompt + "'")});
  }

  // The 32-bit extremes everywhere: each behaves as the in-range value it stands for.
  const auto everywhere = [](const std::string& number) {
    return Answers{.numcol = number,
                   .ibmpc = number,
                   .warnend = number,
                   .maxlen = number,
                   .warnquote = number};
  };
  for (const auto& [name, number, maxlen] : {std::tuple{"LargestNumbers", "2147483647", "5000"},
                                             std::tuple{"SmallestNumbers", "-2147483648", "0"}}) {
    rows.push_back(
        {.name = name,
         .program = &p,
         .prepare = small_source(p),
         .input = console_input(p, everywhere(number)),
         .changes = "o.lst",
         .left = same_listing_as(
             p,
             {.numcol = "0", .ibmpc = "1", .warnend = "1", .maxlen = maxlen, .warnquote = "1"})});
  }

  // A line number column past the 5000-column record draws nothing.
  for (const char* numcol : {"2147483647", "5000", "4988"}) {
    rows.push_back({.name = std::string("NumberColumn") + numcol,
                    .program = &p,
                    .prepare = small_source(p),
                    .input = console_input(p, {.numcol = numcol}),
                    .changes = "o.lst",
                    .left = listing(start + p.small_listing)});
  }
  const std::string every_line_warned =
      start + warned_before_each(p.small_listing, "Line over warning length");
  for (const auto& [name, maxlen] : {std::pair{"Zero", "0"}, std::pair{"MinusOne", "-1"},
                                     std::pair{"Smallest", "-2147483648"}}) {
    rows.push_back({.name = std::string("MaximumLength") + name,
                    .program = &p,
                    .prepare = small_source(p),
                    .input = console_input(p, {.maxlen = maxlen}),
                    .changes = "o.lst",
                    .left = listing(every_line_warned)});
  }

  // A 6000-character name is cut to its first 5000 characters, and the next question still
  // reads the next line: it is the file system that refuses the name.
  rows.push_back(
      {.name = "NameOf6000Characters",
       .program = &p,
       .prepare = small_source(p),
       .input = console_input(p, {.source = std::string(6000, 'n')}),
       .status = 2,
       .error = fatal(p, "cannot open '" + std::string(5000, 'n') + "': File name too long")});
  // A name is taken as the bytes typed: a name in UTF-8 names the file of that name, on every
  // system, and shows as it is.
  const std::string utf8 = "caf\xc3\xa9 \xe2\x86\x92 s";
  rows.push_back({.name = "NameInUtf8",
                  .program = &p,
                  .prepare = [&p, utf8](Scene& s) { s.write(utf8, p.small_source); },
                  .input = console_input(p, {.source = utf8}),
                  .changes = "o.lst",
                  .left = listing(listing_start(p, utf8) + p.small_listing)});
  // Leading blanks are part of a name.
  rows.push_back({.name = "NameWithLeadingBlanks",
                  .program = &p,
                  .prepare = [&p](Scene& s) { s.write("  s", p.small_source); },
                  .input = console_input(p, {.source = "  s"}),
                  .changes = "o.lst",
                  .left = listing(listing_start(p, "  s") + p.small_listing)});

  // A name is used as typed, but its control bytes are shown as '?' wherever it is shown: in
  // the echo, in the page header (a listing is shown on a terminal later) and on standard error,
  // C1 controls (128 to 159 alone, or in UTF-8) as well. An escape sequence in a name sets no
  // window title and clears no screen; UTF-8 letters pass.
  const std::string hostile = "\x1b]0;pwned\x07x\xc3\xa9\x7f";
  // Windows takes no control byte in a name: there both are refused, and said so the same way.
  const bool windows = system_under_test() == System::kWindows;
  rows.push_back(
      {.name = "ControlBytesInTheSourceName",
       .program = &p,
       .prepare = [&p, hostile](Scene& s) { s.write(hostile, p.small_source); },
       .input = console_input(p, {.source = hostile}),
       .status = windows ? 2 : 0,
       .error = windows ? fatal(p, "cannot open '?]0;pwned?x\xc3\xa9?': Invalid argument") : "",
       .changes = windows ? "" : "o.lst",
       .left =
           windows ? nullptr : listing(listing_start(p, "?]0;pwned?x\xc3\xa9?") + p.small_listing),
       .shown = echoed("?]0;pwned?x\xc3\xa9?")});
  const std::string missing = "\x1b]0;pwned\x07\x9bJ caf\xc3\xa9";
  rows.push_back(
      {.name = "ControlBytesInAMissingSourceName",
       .program = &p,
       .prepare = small_source(p),
       .input = console_input(p, {.source = missing}),
       .status = 2,
       .error = fatal(p, std::string("cannot open '?]0;pwned??J caf\xc3\xa9': ") +
                             (windows ? "Invalid argument" : "No such file or directory")),
       .shown = echoed("?]0;pwned??J caf\xc3\xa9")});
}

INSTANTIATE_TEST_SUITE_P(Answers, FaultTest, ::testing::ValuesIn(rows_of(add_answer_rows)),
                         row_name);

}  // namespace
}  // namespace nest::testing
