#include "cnest/scanner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "core/formline.h"
#include "core/padded_text.h"
#include "core/test_support.h"

namespace cnest {
namespace {

const nest::Form kLine1 = {' ', ' ', ' ', ' ', '1'};

// One scanner stepped over lines, with the renderer's one duty between lines left to scan().
struct Stepper {
  explicit Stepper(bool tofile = false) : out(tofile) {}
  void step(std::string_view line) {
    scanner.scan(nest::PaddedString(line), kLine1, state, out.streams());
  }

  Scanner scanner;
  nest::LineState state;
  nest::testing::Captured out;
};

struct ScanCase {
  const char* name;
  std::string line;
  std::string scan_text;
  bool hascode;
  bool hascomment;
  bool incomment;
};

TEST(CScanTextTest, BuildsTheNormalisedText) {
  const ScanCase cases[] = {
      {"lower case, blank runs collapsed", "  IF (X)   {", " if (x) { ", true, false, false},
      {"block comment shrinks to one blank", "a/* b */c", "a c ", true, true, false},
      {"line comment ends the text", "x = 1; // Note {", "x = 1; ", true, true, false},
      {"line comment mark inside a block comment is text", "a /* http://x { */ b {", "a b { ", true,
       true, false},
      {"and leaves the block comment open", "a /* see // x {", "a ", true, true, true},
      {"after a closed block comment it ends the text", "/* a */ // b */ {", " ", false, true,
       false},
      {"quoted text stays, lower-cased", "s = \"A /* b\";", "s = \"a /* b\"; ", true, false, false},
      {"comment left open", "x; /* open", "x; ", true, true, true},
      {"comment only", "   /* c */", " ", false, true, false},
      {"slash star slash opens and stays open", "/*/ x", " ", false, true, true},
      {"closing without opening is a blank", "a */ b", "a b ", true, false, false},
      {"blank line", "", " ", false, false, false},
  };
  for (const ScanCase& c : cases) {
    Stepper s;
    s.step(c.line);
    EXPECT_EQ(s.scanner.scan_text(), c.scan_text) << c.name;
    EXPECT_EQ(s.state.hascode, c.hascode) << c.name;
    EXPECT_EQ(s.state.hascomment, c.hascomment) << c.name;
    EXPECT_EQ(s.state.incomment, c.incomment) << c.name;
  }
}

// The step looks only at the line's own characters; the blank columns after them up to column
// 5000 must change nothing, whatever state the line ends in.
TEST(CScannerTest, TrailingBlankColumnsChangeNothing) {
  const std::string lines[] = {
      "int f(void) {", "x = '{';  ", "/* open", "still open",      "*/ } else {",      "s = \"open",
      "// only",       "}}",         "#IF X",   "case 1: return;", "a */ b /* c /* d", "",
  };
  Stepper trimmed(true);
  Stepper padded(true);
  for (const std::string& line : lines) {
    trimmed.step(line);
    padded.step(line + std::string(nest::kTextWidth - line.size(), ' '));
    EXPECT_EQ(trimmed.scanner.scan_text(), padded.scanner.scan_text()) << line;
    EXPECT_EQ(trimmed.state.primary.newlev, padded.state.primary.newlev) << line;
    EXPECT_EQ(trimmed.state.primary.nmark, padded.state.primary.nmark) << line;
    EXPECT_EQ(trimmed.state.secondary.newlev, padded.state.secondary.newlev) << line;
    EXPECT_EQ(trimmed.state.jump, padded.state.jump) << line;
    EXPECT_EQ(trimmed.state.hascode, padded.state.hascode) << line;
    EXPECT_EQ(trimmed.state.hascomment, padded.state.hascomment) << line;
    EXPECT_EQ(trimmed.state.incomment, padded.state.incomment) << line;
  }
  EXPECT_EQ(trimmed.out.console(), padded.out.console());
  EXPECT_EQ(trimmed.out.file(), padded.out.file());
}

// Column 4999 is the last that starts a pair; a "/" or "*" in column 5000 has nothing after it.
TEST(CScannerTest, PairsAtTheEndOfTheField) {
  const auto at_end = [](std::string_view tail) {
    return "x" + std::string(nest::kTextWidth - 1 - tail.size(), ' ') + std::string(tail);
  };
  {
    Stepper s;
    s.step(at_end("/*"));
    EXPECT_TRUE(s.state.incomment);
    s.step(at_end("*/"));  // closes it
    EXPECT_FALSE(s.state.incomment);
    EXPECT_TRUE(s.state.hascomment);
  }
  {
    Stepper s;
    s.step(at_end("{//"));
    EXPECT_TRUE(s.state.hascomment);
    EXPECT_FALSE(s.state.incomment);
    EXPECT_EQ(s.state.primary.newlev, 1);
    EXPECT_EQ(s.scanner.scan_text(), "x {");
  }
  {
    Stepper s;
    s.step(at_end("/"));
    EXPECT_FALSE(s.state.hascomment);
    EXPECT_EQ(s.scanner.scan_text(), "x /");
    // A "*" in column 5001 is not part of the line, so no comment opens.
    s.step(at_end("/") + "*");
    EXPECT_FALSE(s.state.incomment);
  }
}

struct QuoteCase {
  const char* line;
  bool unclosed;
};

TEST(CScannerTest, BackslashBeforeAClosingQuote) {
  const QuoteCase cases[] = {
      {R"(c = '\'';)", false},       // the quote after the backslash stays open; the next closes
      {R"(c = '\\';)", true},        // any backslash before the quote keeps the literal open
      {R"(s = "C:\\";)", true},      //
      {R"(s = "\\\"";)", false},     // open after the backslash, closed by the last quote
      {R"(s = "a\";)", true},        //
      {R"(x = \'a';)", false},       // outside a literal a backslash does not stop the opening
      {R"(s = "it's";)", false},     // the other kind of quote is plain text
      {R"(/* don't */ x;)", false},  // so is a quote in a comment
      {R"(x; // don't)", false},     //
      {R"(#error don't do this)", true},
  };
  for (const QuoteCase& c : cases) {
    Stepper s;
    s.step(c.line);
    EXPECT_EQ(s.out.console().find("Unclosed quote") != std::string::npos, c.unclosed) << c.line;
  }
}

TEST(CScannerTest, ClosingBelowLevelZeroKeepsTheMarks) {
  Stepper s;
  s.step("{ {");
  EXPECT_EQ(s.state.primary.newlev, 2);
  s.step("}}}}");  // from level 2: two blocks closed, then two braces too many
  EXPECT_EQ(s.state.primary.newlev, 0);
  EXPECT_EQ(s.state.primary.nmark, 3);
  EXPECT_EQ(s.out.console(),
            " ***ERROR Invalid diagramming index: Line     1:\r\n \a\r\n"
            " ***ERROR Invalid diagramming index: Line     1:\r\n \a\r\n");
}

// Levels are 64-bit: a source of more than 2^31 braces (too large for a fixture, so the carried
// levels start there) counts on without wrapping, and the margin shows only the columns it has.
TEST(CScannerTest, LevelsPastThe32BitRange) {
  constexpr std::int64_t kTop = std::numeric_limits<std::int32_t>::max();
  Stepper s(true);
  s.state.primary.newlev = kTop;
  s.state.secondary.newlev = kTop;
  s.step("#if X { {");
  EXPECT_EQ(s.state.primary.newlev, kTop + 2);
  EXPECT_EQ(s.state.secondary.newlev, kTop + 1);

  nest::Form form = kLine1;
  nest::GlyphTable glyphs;
  nest::formline("#if X { {", s.state, form, frame(0, 0, 120).render, glyphs, s.out.streams());
  EXPECT_EQ(s.out.file(), " ||||||||||| #if X { {\r\n");  // three conditional, eight block columns
  EXPECT_EQ(s.state.primary.oldlev, kTop + 2);

  s.step("} } }");
  EXPECT_EQ(s.state.primary.newlev, kTop - 1);
  EXPECT_EQ(s.state.primary.nmark, 3);
  EXPECT_EQ(s.out.console(), "");  // nothing reported, no echo: no brace was at level 0
}

}  // namespace
}  // namespace cnest
