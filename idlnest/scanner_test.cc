#include "idlnest/scanner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "core/formline.h"
#include "core/padded_text.h"
#include "core/test_support.h"

namespace idlnest {
namespace {

struct ScanCase {
  const char* name;
  std::string line;
  std::string scan_text;
  bool hascode;
  bool hascomment;
};

TEST(IdlScanTextTest, BuildsTheNormalisedText) {
  const ScanCase cases[] = {
      {"lower case and collapsed blanks", "  IF  X   THEN", " if x then", true, false},
      {"comment cut", "x = 1 ; note", "x = 1 ", true, true},
      {"comment only", "   ; note", " ", false, true},
      {"semicolon in quotes is no comment", "print, 'a;b' ; c", "print, ", true, true},
      {"single quotes vanish with their contents", "s = 'It''s'", "s = ", true, false},
      {"closing double quote stays", "s = \"abc\" + t", "s = \" + t", true, false},
      {"other quote kind inside is text", "s = \"it's\"", "s = \"", true, false},
      {"colon gets a blank", "1:y", "1: y", true, false},
      {"colon before a blank", "else : y", "else : y", true, false},
      {"two colons", "x::y", "x: : y", true, false},
      {"batch line", "@batch file", "", true, false},
      {"at sign later is text", " @x", " @x", true, false},
      {"blank line", "", "", false, false},
  };
  for (const ScanCase& c : cases) {
    Scanner scanner(false, false);
    nest::testing::Captured out(false);
    nest::LineState state;
    scanner.scan(nest::PaddedString(c.line), {' ', ' ', ' ', ' ', '1'}, state, out.streams());
    EXPECT_EQ(scanner.scan_text(), c.scan_text) << c.name;
    EXPECT_EQ(state.hascode, c.hascode) << c.name;
    EXPECT_EQ(state.hascomment, c.hascomment) << c.name;
  }
}

TEST(IdlScanTextTest, ColonsPushCharactersPastColumn5000) {
  Scanner scanner(false, false);
  nest::testing::Captured out(false);
  nest::LineState state;
  // A line of 5000 columns whose colons push its last "z" past column 5000 of the scan text.
  const std::string line = std::string(4994, 'x') + ":y:zz;";
  scanner.scan(nest::PaddedString(line), {' ', ' ', ' ', ' ', '1'}, state, out.streams());
  EXPECT_EQ(scanner.scan_text(), std::string(4994, 'x') + ": y: z");
  EXPECT_TRUE(state.hascomment);  // the line is still read to its end
}

TEST(IdlScannerTest, CarriedState) {
  Scanner scanner(false, false);
  nest::testing::Captured out(false);
  nest::LineState state;
  const nest::Form form = {' ', ' ', ' ', ' ', '1'};
  const auto step = [&](std::string_view line) {
    scanner.scan(nest::PaddedString(line), form, state, out.streams());
    state.primary.oldlev = state.primary.newlev;  // what the renderer does after each line
  };
  step("pro p");
  EXPECT_EQ(scanner.nunit(), 1);
  step("case x of");
  EXPECT_EQ(scanner.caselev(), 1);
  step("y = f(a, $");
  EXPECT_TRUE(scanner.contin());
  step("  b)");
  EXPECT_FALSE(scanner.contin());
  step("endcase");
  EXPECT_EQ(scanner.caselev(), 1);  // the level is back at 1, not below it
  step("end");
  EXPECT_EQ(scanner.caselev(), 0);
  EXPECT_EQ(scanner.nunit(), 0);
  EXPECT_EQ(scanner.nmain(), 0);
  step("x = 1");
  EXPECT_EQ(scanner.nmain(), 1);
  EXPECT_EQ(state.primary.newlev, 1);
}

// Levels are 64-bit: a source of more than 2^31 nested blocks (too large for a fixture, so the
// carried level starts there) counts on without wrapping, and the margin shows only the columns
// it has.
TEST(IdlScannerTest, LevelsPastThe32BitRange) {
  constexpr std::int64_t kTop = std::numeric_limits<std::int32_t>::max();
  Scanner scanner(false, false);
  nest::testing::Captured out(true);
  nest::LineState state;
  nest::Form form = {' ', ' ', ' ', ' ', '1'};
  nest::GlyphTable glyphs;
  scanner.scan(nest::PaddedString("pro p"), form, state, out.streams());
  state.primary.oldlev = kTop;
  state.primary.newlev = kTop;

  scanner.scan(nest::PaddedString("if a then begin"), form, state, out.streams());
  EXPECT_EQ(state.primary.newlev, kTop + 1);
  nest::formline("if a then begin", state, form, frame(0, 0, 160).render, glyphs, out.streams());
  EXPECT_EQ(out.file(), " ||||||||||| if a then begin\r\n");
  EXPECT_EQ(state.primary.oldlev, kTop + 1);

  scanner.scan(nest::PaddedString("endif"), form, state, out.streams());
  EXPECT_EQ(state.primary.newlev, kTop);
  EXPECT_EQ(scanner.nunit(), 1);
}

}  // namespace
}  // namespace idlnest
