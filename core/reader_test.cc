#include "core/reader.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <string>
#include <vector>

#include "core/platform.h"
#include "core/test_support.h"

namespace nest {
namespace {

using testing::Captured;

struct Read {
  std::vector<std::string> lines;  // as delivered
  std::vector<std::string> forms;
  std::string file;
  std::string console;
  std::int64_t linecount = 0;
};

Read read_all(std::string_view source, bool tofile = true, int maxlen = 160) {
  Captured out(tofile);
  ByteSource input{std::string(source)};
  LineBuffer line;
  Read result;
  Form form;
  form.fill(' ');
  while (!irdlin(input, out.streams(), maxlen, line, result.linecount, form)) {
    result.lines.emplace_back(line.view().text());
    result.forms.emplace_back(form.begin(), form.end());
  }
  EXPECT_EQ(line.view().text(), "");
  result.file = out.file();
  result.console = out.console();
  return result;
}

using Lines = std::vector<std::string>;

TEST(IrdlinTest, LineEnds) {
  const struct {
    const char* name;
    std::string_view source;
    Lines lines;
  } cases[] = {
      {"empty file", "", {}},
      {"LF", "a\nb\n", {"a", "b"}},
      {"no final line end", "a\nb", {"a", "b"}},
      {"CR LF", "a\r\nb\r\n", {"a", "b"}},
      {"lone CR", "a\rb\r", {"a", "b"}},
      {"mixed", "a\r\n\rb\n\nc", {"a", "", "b", "", "c"}},
      {"CR then CR LF", "a\r\r\nb", {"a", "", "b"}},
      {"blank lines", "\n  \n\t\n", {"", "", ""}},
  };
  for (const auto& c : cases) {
    const Read r = read_all(c.source);
    EXPECT_EQ(r.lines, c.lines) << c.name;
    EXPECT_EQ(r.linecount, static_cast<std::int64_t>(c.lines.size())) << c.name;
    EXPECT_EQ(r.file, "") << c.name;
    EXPECT_EQ(r.console, "") << c.name;
  }
}

TEST(IrdlinTest, ExpansionAndDroppedCharacters) {
  const struct {
    const char* name;
    std::string_view source;
    std::string line;
  } cases[] = {
      {"tab in column 1", "\tx", std::string(8, ' ') + "x"},
      {"tab after two letters", "ab\tc", "ab      c"},
      {"tab at column 8", "1234567\tx", "1234567 x"},
      {"tab at column 9", "12345678\tx", "12345678        x"},
      {"high bytes close up", "a\xC3\xA9z", "az"},
      {"controls close up", std::string_view("a\0b\x1b[1mc\x7f", 9), "ab[1mc\x7f"},
      {"form feed inside a line is dropped", "a\fb", "ab"},
      {"second form feed at the start is dropped", "\f\fx", "x"},
      {"trailing tabs and controls", "ab \t\x01", "ab"},
  };
  for (const auto& c : cases) {
    const Read r = read_all(std::string(c.source) + "\n");
    ASSERT_EQ(r.lines.size(), 1u) << c.name;
    EXPECT_EQ(r.lines[0], c.line) << c.name;
  }
}

TEST(IrdlinTest, LongLinesAreCutAndTheRestSkipped) {
  const std::string source = std::string(6000, 'a') + "\nnext\n";
  const Read r = read_all(source, true, 10000);
  ASSERT_EQ(r.lines.size(), 2u);
  EXPECT_EQ(r.lines[0], std::string(5000, 'a'));
  EXPECT_EQ(r.lines[1], "next");
  // Expansion past column 5000 is lost as well.
  const Read tabs = read_all(std::string(4995, 'a') + "\t\tb\n", true, 10000);
  EXPECT_EQ(tabs.lines[0], std::string(4995, 'a'));
}

TEST(IrdlinTest, FormFeedIsAPageBreak) {
  const Read file = read_all("\f\nx\n", true);
  EXPECT_EQ(file.lines, (Lines{"", "x"}));
  EXPECT_EQ(file.file, "\f\r\n");
  EXPECT_EQ(file.console, "");

  const Read screen = read_all("\fpage two\n", false);
  EXPECT_EQ(screen.lines, (Lines{"page two"}));
  EXPECT_EQ(screen.console, " ------------FORM FEED------------\r\n");
}

TEST(IrdlinTest, LengthWarnings) {
  const std::string at160 = std::string(159, ' ') + "x";
  const std::string at161 = std::string(160, ' ') + "x";
  const std::string warning_161 =
      " ***WARNING Line over warning length: Line     1:\r\n";
  const std::string too_long =
      " ***WARNING Line too long to diagram: Line     1:\r\n";

  EXPECT_EQ(read_all(at160 + "\n").file, "");
  EXPECT_EQ(read_all(at161 + "\n").file, warning_161);
  EXPECT_EQ(read_all(at161 + "yyyy" + std::string(300, 'z') + "\n").file, warning_161);
  EXPECT_EQ(read_all(std::string(100, 'x') + std::string(200, ' ') + "\n").file, "");
  // Tabs count by the columns they reach.
  EXPECT_EQ(read_all(std::string(20, '\t') + "x\n").file, warning_161);

  const std::string reaching_4989 = std::string(4988, ' ') + "yz";
  EXPECT_EQ(read_all(reaching_4989 + "\n", true, 10000).file, too_long);
  // With a lower limit the too-long warning comes first here: the first character that is not a
  // blank stands in column 4989, and the length warning waits for the next one.
  EXPECT_EQ(read_all(reaching_4989 + "\n", true, 160).file, too_long + warning_161);
  EXPECT_EQ(read_all(std::string(4988, 'y') + "z\n", true, 160).file, warning_161 + too_long);
  EXPECT_EQ(read_all(std::string(4987, 'y') + "\n", true, 10000).file, "");
  EXPECT_EQ(read_all(std::string(4988, 'y') + "\n", true, 10000).file, "");
}

// A line loses what follows its 5000th byte. Where that held text (33 to 127) the line gets the
// too-long warning, even where its first 5000 bytes expand to fewer columns than 4989; after
// the length warning, as the lost text comes last; and never twice.
TEST(IrdlinTest, TextLostPastTheLineCapIsWarned) {
  const std::string too_long = " ***WARNING Line too long to diagram: Line     1:\r\n";
  const std::string over = " ***WARNING Line over warning length: Line     1:\r\n";
  std::string utf8_comment = "/* ";
  for (int k = 0; k < 2500; ++k) {
    utf8_comment += "\xc3\xa9";
  }
  const std::string blanks(5000, ' ');
  const std::string x_then_blanks = "x" + std::string(4999, ' ');
  const struct {
    const char* name;
    std::string source_line;
    int maxlen;
    std::string file;
    std::string line;
  } cases[] = {
      {"a closing brace after 5000 blanks", blanks + "}", 10000, too_long, ""},
      {"a comment end after 5000 blanks", blanks + "*/", 160, too_long, ""},
      {"the end of a long UTF-8 comment", utf8_comment + " */", 10000, too_long, "/*"},
      {"a letter after 5000 tabs", std::string(5000, '\t') + "x", 10000, too_long, ""},
      {"character 127", x_then_blanks + "\x7f", 10000, too_long, "x"},
      {"after a page break", "\f" + std::string(4999, ' ') + "}", 10000, "\f\r\n" + too_long, ""},
      {"after the length warning", std::string(200, 'x') + std::string(4800, ' ') + "}", 160,
       over + too_long, std::string(200, 'x')},
      {"once, given at column 4989", std::string(5000, 'y') + "}", 10000, too_long,
       std::string(5000, 'y')},
      {"blanks lost", x_then_blanks + "      ", 160, "", "x"},
      {"controls and tabs lost", x_then_blanks + "\x01\x1b\t\f\x80\xff", 160, "", "x"},
      {"bytes from 128 on lost", utf8_comment, 160, "", "/*"},
      {"nothing lost", "x" + std::string(4998, ' ') + "\x01", 160, "", "x"},
  };
  for (const auto& c : cases) {
    const Read r = read_all(c.source_line + "\nnext\n", true, c.maxlen);
    EXPECT_EQ(r.file, c.file) << c.name;
    EXPECT_EQ(r.lines, (Lines{c.line, "next"})) << c.name;
  }
}

TEST(IrdlinTest, WarningsShowTheLineAsReadWithoutControlBytes) {
  const std::string line = "\x1b]0;owned\x07\tvalue = 1" + std::string(200, 'x');
  const Read r = read_all(line + "\n", true, 20);
  const std::string shown = "]0;owned\tvalue = 1" + std::string(200, 'x');
  EXPECT_EQ(r.console,
            " ***WARNING Line over warning length: Line     1:\r\n " + shown + "\r\n \a\r\n");
}

TEST(IrdlinTest, MaxlenZeroAndNegativeWarnOnAnyText) {
  EXPECT_EQ(read_all("x\n", true, 0).file,
            " ***WARNING Line over warning length: Line     1:\r\n");
  EXPECT_EQ(read_all("x\n", true, -5).file,
            " ***WARNING Line over warning length: Line     1:\r\n");
  EXPECT_EQ(read_all("   \n", true, -5).file, "");
}

TEST(IrdlinTest, LineNumbers) {
  std::string source(100001, '\n');
  const Read r = read_all(source);
  ASSERT_EQ(r.forms.size(), 100001u);
  for (std::size_t k = 0; k < 99999; ++k) {
    char expected[16];
    std::snprintf(expected, sizeof expected, "%5zu", k + 1);
    ASSERT_EQ(r.forms[k], expected);
  }
  EXPECT_EQ(r.forms[99999], "*****");
  EXPECT_EQ(r.forms[100000], "*****");
}

TEST(IrdlinTest, EndOfFileKeepsTheCountAndForm) {
  Captured out(true);
  ByteSource input(std::string("a\n"));
  LineBuffer line;
  std::int64_t count = 0;
  Form form;
  form.fill(' ');
  EXPECT_FALSE(irdlin(input, out.streams(), 160, line, count, form));
  EXPECT_TRUE(irdlin(input, out.streams(), 160, line, count, form));
  EXPECT_TRUE(irdlin(input, out.streams(), 160, line, count, form));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(view(form), "    1");
}

// A plain line is viewed where the source's buffer holds it. The report at the end quotes the
// last line after the reads that found the end: here the LF of its CR LF comes in a read of its
// own, which must not land on the line.
TEST(LineReaderTest, LastLineOutlivesTheReadsThatFindTheEnd) {
  int fds[2] = {-1, -1};
  ASSERT_TRUE(testing::make_pipe(fds));
  Captured out(true);
  ByteSource input(fds[0], "pipe");
  LineReader reader(input, 160);
  Form form;
  PaddedView line;
  ASSERT_EQ(platform::write_all(fds[1], "last line\r"), 0);
  ASSERT_TRUE(reader.next(line, form, out.streams()));
  EXPECT_EQ(line.text(), "last line");
  ASSERT_EQ(platform::write_all(fds[1], "\n"), 0);
  platform::close(fds[1]);
  const PaddedView last = line;
  EXPECT_FALSE(reader.next(line, form, out.streams()));
  EXPECT_EQ(last.text(), "last line");
  platform::close(fds[0]);
}

}  // namespace
}  // namespace nest
