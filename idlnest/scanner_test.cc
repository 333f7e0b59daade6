#include "idlnest/scanner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "core/formline.h"
#include "core/test_support.h"

namespace idlnest {
namespace {

struct FindCase {
  const char* name;
  std::string text;
  std::string key;
  int flags;
  int matchpos;  // 0: not found
};

TEST(IdlFindTest, ConditionBits) {
  const FindCase cases[] = {
      {"no conditions: first occurrence", "abc abc", "abc", 0, 1},
      {"case matters", "ABC abc", "abc", 0, 5},
      {"not there", "abc", "abd", 0, 0},
      {"blank before: start of text counts", "end x", "end ", kBlankBefore, 1},
      {"blank before: later occurrence passes", "xend end x", "end ", kBlankBefore, 6},
      {"blank before: none passes", "xend", "end", kBlankBefore, 0},
      {"first word after one blank", " pro x", "pro ", kFirstWord, 2},
      {"first word: later word fails", "x pro y", "pro ", kFirstWord, 0},
      {"first word: embedded fails", "propro x", "pro ", kFirstWord, 0},
      {"blank or paren before: paren", "if(x)goto,l", "goto", kBlankOrParenBefore, 6},
      {"blank or paren before: letter", "xgoto", "goto", kBlankOrParenBefore, 0},
      {"no word after: comma", "goto, l", "goto", kNoWordAfter, 1},
      {"no word after: letter", "gotox", "goto", kNoWordAfter, 0},
      {"no word after: digit", "goto1", "goto", kNoWordAfter, 0},
      {"no word after: underscore", "goto_x", "goto", kNoWordAfter, 1},
      {"no word after: upper case letter", "gotoX", "goto", kNoWordAfter, 1},
      {"blank or open paren after: end of text", "if x then return", "return",
       kBlankOrOpenParenAfter, 11},
      {"blank or open paren after: paren", "return(x)", "return", kBlankOrOpenParenAfter, 1},
      {"blank or open paren after: comma", "return, x", "return", kBlankOrOpenParenAfter, 0},
      {"digits before: label", " 12: x", ":", kDigitsBefore, 4},
      {"digits before: name", "a1: x", ":", kDigitsBefore, 0},
      {"digits before: second colon fails", "1: a: x", ":", kDigitsBefore, 2},
      {"combined 129", "x=return (1)", "return", kBlankBefore | kBlankOrOpenParenAfter, 0},
      {"key with two blanks at the end of the code", "if x then begin", "begin  ", kBlankBefore,
       11},
      {"key with two blanks inside the code", "begin x", "begin  ", kBlankBefore, 0},
      {"continuation mark", "a = b + $", "$  ", 0, 9},
      {"key starting with a blank matches the padding", "x", " ", 0, 2},
      {"key longer than the field", std::string(10, 'a'), std::string(5001, 'a'), 0, 0},
  };
  for (const FindCase& c : cases) {
    EXPECT_EQ(idlnest::find(c.text, c.key, c.flags), c.matchpos) << c.name;
  }
}

TEST(IdlFindTest, EdgesOfTheField) {
  // A key that ends in blanks fits only where the field still has room for them.
  const std::string ends_at_4998 = std::string(4993, 'x') + "begin";
  EXPECT_EQ(idlnest::find(" " + ends_at_4998.substr(1), "begin  ", 0), 4994);
  const std::string ends_at_4999 = std::string(4994, 'x') + "begin";
  EXPECT_EQ(idlnest::find(ends_at_4999, "begin  ", 0), 0);
  EXPECT_EQ(idlnest::find(ends_at_4999, "begin ", 0), 4995);
  // Past column 5000 stands a blank.
  const std::string ends_at_5000 = std::string(4996, 'x') + "goto";
  EXPECT_EQ(idlnest::find(ends_at_5000, "goto", kNoWordAfter), 4997);
  // Text past column 5000 is not part of the field.
  EXPECT_EQ(idlnest::find(std::string(5000, 'x') + "goto", "goto", 0), 0);
}

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
    scanner.scan(c.line, {' ', ' ', ' ', ' ', '1'}, state, out.streams());
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
  scanner.scan(line, {' ', ' ', ' ', ' ', '1'}, state, out.streams());
  EXPECT_EQ(scanner.scan_text(), std::string(4994, 'x') + ": y: z");
  EXPECT_TRUE(state.hascomment);  // the line is still read to its end
}

TEST(IdlScannerTest, CarriedState) {
  Scanner scanner(false, false);
  nest::testing::Captured out(false);
  nest::LineState state;
  const nest::Form form = {' ', ' ', ' ', ' ', '1'};
  const auto step = [&](std::string_view line) {
    scanner.scan(line, form, state, out.streams());
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
  scanner.scan("pro p", form, state, out.streams());
  state.primary.oldlev = kTop;
  state.primary.newlev = kTop;

  scanner.scan("if a then begin", form, state, out.streams());
  EXPECT_EQ(state.primary.newlev, kTop + 1);
  nest::formline("if a then begin", state, form, frame(0, 0, 160).render, glyphs, out.streams());
  EXPECT_EQ(out.file(), " ||||||||||| if a then begin\r\n");
  EXPECT_EQ(state.primary.oldlev, kTop + 1);

  scanner.scan("endif", form, state, out.streams());
  EXPECT_EQ(state.primary.newlev, kTop);
  EXPECT_EQ(scanner.nunit(), 1);
}

}  // namespace
}  // namespace idlnest
