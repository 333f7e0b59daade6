// Faults table, sources: what the program is pointed at.
#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "tests/faults.h"

namespace nest::testing {
namespace {

// Enough lines to cross the last line number that the five columns show (99999).
constexpr std::size_t kManyLines = 100'000;

/// Makes the source "s" a FIFO fed with each line of `lines` repeated its count of times.
Prepare fed_lines(std::vector<std::pair<std::string, std::size_t>> lines) {
  return [lines = std::move(lines)](Scene& scene) {
    scene.feed("s", [lines](const FifoFeeder::Writer& write) {
      constexpr std::size_t kBlock = 4096;
      for (const auto& [line, count] : lines) {
        std::string block;
        for (std::size_t k = 0; k < std::min(count, kBlock); ++k) {
          block += line;
        }
        std::size_t left = count;
        for (; left >= kBlock; left -= kBlock) {
          if (!write(block)) {
            return;
          }
        }
        if (!write(std::string_view(block).substr(0, line.size() * left))) {
          return;
        }
      }
    });
  };
}

/// The listing file starts with `start`, holds `count` records in all, and passes `check` on
/// each record after `start` (given its index, the page header being record 0).
Left records_like(std::string start, std::size_t count,
                  std::function<bool(std::size_t, std::string_view)> check) {
  return [start = std::move(start), count, check = std::move(check)](const Scene& scene) {
    ASSERT_TRUE(scene.dir.exists("o.lst"));
    const std::string bytes = scene.dir.read("o.lst");
    ASSERT_TRUE(bytes.starts_with(start));
    ASSERT_TRUE(bytes.ends_with("\r\n"));
    const std::vector<std::string_view> all = records(bytes);
    EXPECT_EQ(all.size(), count);
    for (std::size_t k = records(start).size(); k < all.size(); ++k) {
      if (!check(k, all[k])) {
        ADD_FAILURE() << "record " << k << ": " << all[k].substr(0, 200);
        return;
      }
    }
  };
}

/// Whether `record` is `lead`, then the margin of a line whose deepest level is `level` in a
/// margin of `width` level columns (a stroke for each level above, `mark` on the line's own
/// level, the horizontal run after it; only strokes when the level lies beyond the margin), then
/// a blank and `text`.
bool drawn_as(std::string_view record, std::string_view lead, std::size_t width, std::size_t level,
              char mark, std::string_view text) {
  if (record.size() != lead.size() + width + 1 + text.size() || !record.starts_with(lead) ||
      !record.ends_with(text) || record[lead.size() + width] != ' ') {
    return false;
  }
  for (std::size_t column = 1; column <= width; ++column) {
    const char expected = column < level ? '|' : column == level ? mark : '-';
    if (record[lead.size() + column - 1] != expected) {
      return false;
    }
  }
  return true;
}

/// The line number field of a message: five columns, right-justified; "*****" above 99999.
std::string form(std::size_t line) {
  if (line > 99999) {
    return "*****";
  }
  std::string number = std::to_string(line);
  return std::string(5 - number.size(), ' ') + number;
}

void add_source_rows(const Program& p, std::vector<Row>& rows) {
  const std::string start = listing_start(p, "s");
  const std::string input = console_input(p, {});

  rows.push_back({.name = "EmptySource",
                  .program = &p,
                  .prepare = [](Scene& s) { s.write("s", ""); },
                  .input = input,
                  .changes = "o.lst",
                  .left = listing(start)});

  // A compiled program: listed like any text, its bytes outside 32 to 127 dropped.
  rows.push_back({.name = "CompiledProgram",
                  .program = &p,
                  .prepare =
                      [&p](Scene& s) {
                        std::ifstream in(p.path, std::ios::binary);
                        s.write("s", std::string(std::istreambuf_iterator<char>(in), {}));
                      },
                  .input = input,
                  .changes = "o.lst",
                  .left =
                      [start](const Scene& scene) {
                        const std::string bytes = scene.dir.read("o.lst");
                        ASSERT_TRUE(bytes.starts_with(start));
                        ASSERT_TRUE(bytes.ends_with("\r\n"));
                        for (const std::string_view record :
                             records(std::string_view(bytes).substr(start.size()))) {
                          if (record == "\f") {
                            continue;  // a form feed that began a line: a page break
                          }
                          ASSERT_LE(record.size(), 5000u);
                          for (const char c : record) {
                            const auto byte = static_cast<unsigned char>(c);
                            ASSERT_TRUE(byte >= 32 && byte <= 127)
                                << static_cast<int>(byte) << " in " << record;
                          }
                        }
                      }});

  std::string every_byte;
  for (int c = 0; c < 256; ++c) {
    every_byte.push_back(static_cast<char>(c));
  }
  // Three lines: 0 to 9 ending at the LF, 11 and 12 ending at the CR, 14 to 255 without a line
  // end. The first two hold nothing printable; the third keeps 32 to 127.
  std::string printable;
  for (int c = 32; c < 128; ++c) {
    printable.push_back(static_cast<char>(c));
  }
  rows.push_back(
      {.name = "EveryByteValue",
       .program = &p,
       .prepare = [every_byte](Scene& s) { s.write("s", every_byte); },
       .input = input,
       .changes = "o.lst",
       .left = listing(start + crlf(" \n \n") +
                       (p.idl ? " /-----------" + printable +
                                    "\r\n ***ERROR Nest levels left hanging at end: Line     3:"
                                    "\r\n"
                              : " ***ERROR Unclosed quote: Line     3:\r\n    +        " +
                                    printable + "\r\n"))});

  // NUL bytes are dropped like every other control character, and the columns close up.
  std::string with_nuls;
  for (const char c : p.small_source) {
    if (c == ' ' || c == '\n') {
      with_nuls += '\0';
    }
    with_nuls += c;
  }
  rows.push_back({.name = "NulBytesInLines",
                  .program = &p,
                  .prepare = [with_nuls](Scene& s) { s.write("s", with_nuls); },
                  .input = input,
                  .changes = "o.lst",
                  .left = listing(start + p.small_listing)});

  // A line loses what follows its 5000th byte. Here its first 5000 bytes take fewer columns
  // (blanks; a UTF-8 comment, whose bytes are dropped), so that nothing reaches column 4989, and
  // what is lost closes a block or the comment: the listing says so just above the line.
  std::string utf8_comment;
  for (int k = 0; k < 2500; ++k) {
    utf8_comment += "\xc3\xa9";
  }
  const std::string cut_source =
      p.idl ? "pro p\n  if a then begin\n    b = 1\n" + std::string(5000, ' ') + "endif\nend\n"
            : "int f()\n{\n  /* " + utf8_comment + " */\n  x = 1;\n}\n";
  rows.push_back(
      {.name = "TextLostPastTheLineCap",
       .program = &p,
       .prepare = [cut_source](Scene& s) { s.write("s", cut_source); },
       .input = input,
       .changes = "o.lst",
       .left = listing(start +
                       crlf(p.idl ? " /---------- pro p\n"
                                    " |/----------- if a then begin\n"
                                    " ||              b = 1\n"
                                    " ***WARNING Line too long to diagram: Line     4:\n"
                                    " ||\n"
                                    " |\\--------- end\n"
                                    " ***ERROR Nest levels left hanging at end: Line     5:\n"
                                  : "             int f()\n"
                                    "    /------- {\n"
                                    " ***WARNING Line too long to diagram: Line     3:\n"
                                    "=   |          /*\n"
                                    "=   |          x = 1;\n"
                                    "=   |        }\n"
                                    " ***ERROR Some nest levels unclosed at end: Line     5:\n"))});

  std::string cr_only = p.small_source;
  std::replace(cr_only.begin(), cr_only.end(), '\n', '\r');
  rows.push_back({.name = "CarriageReturnLineEnds",
                  .program = &p,
                  .prepare = [cr_only](Scene& s) { s.write("s", cr_only); },
                  .input = input,
                  .changes = "o.lst",
                  .left = listing(start + p.small_listing)});

  // One line of 320 MiB with no line end, made on the fly: listed from its first 5000 columns,
  // in less memory than the line takes. (bench/scaling runs the 1 GiB form.)
  constexpr std::size_t kLongLineMib = 320;
  const std::string columns(4987, 'x');
  const std::string long_line_listing =
      start +
      crlf(
          " ***WARNING Line over warning length: Line     1:\n"
          " ***WARNING Line too long to diagram: Line     1:\n") +
      (p.idl ? crlf(" ***WARNING Too many columns to diagram: Line     1:\n"
                    " /---------- " +
                    columns +
                    "\n"
                    " ***ERROR Nest levels left hanging at end: Line     1:\n")
             : crlf(" ***ERROR Too many columns to diagram: Line     1:\n" + std::string(13, ' ') +
                    columns + "\n"));
  rows.push_back({.name = "LongLineWithoutLineEnd",
                  .program = &p,
                  .prepare =
                      [](Scene& s) {
                        s.feed("s", [](const FifoFeeder::Writer& write) {
                          const std::string chunk(1 << 20, 'x');
                          for (std::size_t k = 0; k < kLongLineMib && write(chunk); ++k) {
                          }
                        });
                      },
                  .input = input,
                  .changes = "o.lst",
                  .left = all_fed(kLongLineMib << 20, listing(long_line_listing)),
                  .max_rss_mib = 256});

  rows.push_back({.name = "ManyEmptyLines",
                  .program = &p,
                  .prepare = fed_lines({{"\n", kManyLines}}),
                  .input = input,
                  .changes = "o.lst",
                  .left = all_fed(kManyLines, [start](const Scene& scene) {
                    const std::string bytes = scene.dir.read("o.lst");
                    ASSERT_EQ(bytes.size(), start.size() + 3 * kManyLines);
                    EXPECT_TRUE(bytes.starts_with(start));
                    // Each line is one record of a single blank.
                    for (std::size_t at = start.size(); at < bytes.size(); at += 3) {
                      ASSERT_EQ(bytes.compare(at, 3, " \r\n"), 0) << "at byte " << at;
                    }
                  })});

  // Many blocks, each inside the one before, then closed one by one: the margin shows as many
  // levels as it has columns, and the levels beyond cost nothing. Then as many closings of blocks
  // that were never opened: each one reported, the level kept at 0, the line numbers past 99999
  // shown as "*****".
  if (p.idl) {
    rows.push_back({.name = "ManyNestedBlocks",
                    .program = &p,
                    .prepare = fed_lines({{"pro p\n", 1},
                                          {"if a then begin\n", kManyLines},
                                          {"endif\n", kManyLines},
                                          {"end\n", 1}}),
                    .input = input,
                    .changes = "o.lst",
                    .left = records_like(
                        start, 3 + 2 * kManyLines + 2, [](std::size_t k, std::string_view record) {
                          const std::size_t line = k - 3;  // from 0
                          if (line == 0) {
                            return drawn_as(record, " ", 11, 1, '/', "pro p");
                          }
                          if (line <= kManyLines) {
                            return drawn_as(record, " ", 11, line + 1, '/', "if a then begin");
                          }
                          const std::size_t level = 2 * kManyLines + 2 - line;
                          return drawn_as(record, " ", 11, level, '\\',
                                          level == 1 ? "end" : "endif");
                        })});
    rows.push_back(
        {.name = "ManyStrayClosings",
         .program = &p,
         .prepare = fed_lines({{"endif\n", kManyLines}}),
         .input = input,
         .changes = "o.lst",
         .left =
             records_like(start, 3 + 2 * kManyLines, [](std::size_t k, std::string_view record) {
               // The first "endif" opens the main level and closes it.
               const std::string listed = std::string(13, ' ') + "endif";
               if (k == 3) {
                 return record == listed;
               }
               if (k == 2 + 2 * kManyLines) {
                 return record == " ***ERROR Nest levels left hanging at end: Line *****:";
               }
               const std::size_t line = (k - 4) / 2 + 2;
               return (k - 4) % 2 == 1 ? record == listed
                                       : record == " ***ERROR Invalid diagramming index: Line " +
                                                       form(line) + ":";
             })});
  } else {
    rows.push_back({.name = "ManyNestedBlocks",
                    .program = &p,
                    .prepare = fed_lines({{"{\n", kManyLines}, {"}\n", kManyLines}}),
                    .input = input,
                    .changes = "o.lst",
                    .left = records_like(
                        start, 3 + 2 * kManyLines, [](std::size_t k, std::string_view record) {
                          const std::size_t line = k - 3;  // from 0
                          if (line < kManyLines) {
                            return drawn_as(record, "    ", 8, line + 1, '/', "{");
                          }
                          return drawn_as(record, "    ", 8, 2 * kManyLines - line, '\\', "}");
                        })});
    rows.push_back({.name = "ManyStrayClosings",
                    .program = &p,
                    .prepare = fed_lines({{"}\n", kManyLines}}),
                    .input = input,
                    .changes = "o.lst",
                    .left = records_like(
                        start, 3 + 2 * kManyLines, [](std::size_t k, std::string_view record) {
                          const std::size_t line = (k - 3) / 2 + 1;
                          return (k - 3) % 2 == 1 ? record == "    +        }"
                                                  : record ==
                                                        " ***ERROR Invalid diagramming index: "
                                                        "Line " +
                                                            form(line) + ":";
                        })});
  }

  rows.push_back({.name = "SourceIsAFolder",
                  .program = &p,
                  .prepare = [](Scene& s) { std::filesystem::create_directory(s.dir / "folder"); },
                  .input = console_input(p, {.source = "folder"}),
                  .status = 2,
                  .error = fatal(p, "cannot open 'folder': Is a directory")});
  rows.push_back({.name = "SourceMissing",
                  .program = &p,
                  .input = input,
                  .status = 2,
                  .error = fatal(p, "cannot open 's': No such file or directory")});

  // A source that fails to read halfway (here at once, once the listing is begun): the old
  // listing stays. (/proc is Linux's.)
  if (system_under_test() == System::kPosix) {
    rows.push_back({.name = "ReadErrorKeepsTheOldListing",
                    .program = &p,
                    .prepare = small_source_and_listing(p, "an old listing\r\n"),
                    .input = console_input(p, {.source = "/proc/self/mem"}),
                    .status = 2,
                    .error = fatal(p, "cannot read '/proc/self/mem': Input/output error"),
                    .changes = "o.lst",
                    .left = file_holds("o.lst", "an old listing\r\n")});
  }
}

INSTANTIATE_TEST_SUITE_P(Sources, FaultTest, ::testing::ValuesIn(rows_of(add_source_rows)),
                         row_name);

}  // namespace
}  // namespace nest::testing
