#include "core/formline.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "core/test_support.h"

namespace nest {
namespace {

using testing::Captured;

// Margins are written in letters so that one table serves both glyph sets:
// B begin, E end, L else, C continue, H horizontal, b/e/l the horizontal variants.
std::string glyphs_of(std::string_view pattern, bool ibmpc) {
  GlyphTable table;
  if (ibmpc) {
    table.load_ibmpc();
  }
  std::string out;
  for (char c : pattern) {
    switch (c) {
      case 'B': out += table.blockbegin; break;
      case 'E': out += table.blockend; break;
      case 'L': out += table.blockelse; break;
      case 'C': out += table.blockcontinue; break;
      case 'H': out += table.blockhoriz; break;
      case 'b': out += table.blockbeginh; break;
      case 'e': out += table.blockendh; break;
      case 'l': out += table.blockelseh; break;
      default: out += c;
    }
  }
  return out;
}

struct Line {
  std::string text = "x";
  Nesting primary;
  Nesting secondary;
  int leftcols = 0;
  int numcol = 0;
  bool ibmpc = false;
  bool jump = false;
  bool hascode = true;
  bool hascomment = false;
  bool incomment = false;
  Severity too_many_columns = Severity::kWarning;
};

struct Result {
  std::string listing;  // the record as written, CR LF included
  std::string console;
  LineState state;
  Form form;
};

Result render(const Line& line, bool tofile = true, Form form = {' ', ' ', ' ', '1', '2'}) {
  Captured out(tofile);
  LineState state;
  state.primary = line.primary;
  state.secondary = line.secondary;
  state.jump = line.jump;
  state.hascode = line.hascode;
  state.hascomment = line.hascomment;
  state.incomment = line.incomment;
  RenderSettings settings;
  settings.leftcols = line.leftcols;
  settings.numcol = line.numcol;
  settings.ibmpc = line.ibmpc;
  settings.too_many_columns = line.too_many_columns;
  GlyphTable glyphs;
  formline(line.text, state, form, settings, glyphs, out.streams());
  Result result{tofile ? out.file() : out.console(), tofile ? out.console() : "", state, form};
  return result;
}

Nesting levels(std::int64_t oldlev, std::int64_t newlev, std::int64_t nmark = 0) {
  return Nesting{oldlev, 0, newlev, nmark};
}

struct MarginCase {
  const char* name;
  std::string text;
  Nesting primary;
  int leftcols;
  const char* record;  // the expected record without CR LF, in pattern letters
};

void PrintTo(const MarginCase& c, std::ostream* os) { *os << c.name; }

class MarginTest : public ::testing::TestWithParam<std::tuple<MarginCase, bool>> {};

TEST_P(MarginTest, DrawsTheRecord) {
  const auto& [c, ibmpc] = GetParam();
  Line line;
  line.text = c.text;
  line.primary = c.primary;
  line.leftcols = c.leftcols;
  line.ibmpc = ibmpc;
  EXPECT_EQ(render(line).listing, glyphs_of(c.record, ibmpc) + "\r\n");
}

const MarginCase kMarginCases[] = {
    {"OpensABlock", "x", levels(0, 1), 0, " BHHHHHHHHHH x"},
    {"InsideTheBlock", "x", levels(1, 1), 0, " C           x"},
    {"OpensAnInnerBlock", "x", levels(1, 2), 0, " CBHHHHHHHHH x"},
    {"BranchAtLevelTwo", "x", levels(2, 2, 1), 0, " CLHHHHHHHHH x"},
    {"ClosesTwoBlocks", "x", levels(2, 0), 0, " EeHHHHHHHHH x"},
    {"OpensTwoBlocksAtOnce", "x", levels(0, 2), 0, " BbHHHHHHHHH x"},
    {"BranchWithTwoMarks", "x", levels(2, 2, 2), 0, " LlHHHHHHHHH x"},
    {"EmptyLineAtLevelTwo", "", levels(2, 2), 0, " CC"},
    {"IndentedTextGivesMoreRoom", "    x", levels(2, 2), 0, " CC              x"},
    {"RunReachesIntoLeadingBlanks", "  x", levels(0, 1), 0, " BHHHHHHHHHHHH x"},
    {"LevelTwelveIsNotDrawn", "x", levels(12, 12), 0, " CCCCCCCCCCC x"},
    {"MarkBeyondTheLimitIsNotDrawn", "x", levels(12, 13), 0, " CCCCCCCCCCC x"},
    {"OnlyVisibleMarksAreConverted", "x", levels(9, 13), 0, " CCCCCCCCCBb x"},
    {"MarkCountRaisedToTheChange", "x", levels(3, 0, 1), 0, " EeeHHHHHHHH x"},
    {"BranchOutsideAllBlocks", "x", levels(0, 0, 1), 0, " L           x"},
    {"SurplusMarksFallOnLevelOne", "x", levels(2, 2, 5), 0, " LlHHHHHHHHH x"},
    {"LevelOneBeyondEmptyLine", "", levels(0, 0, 0), 0, " "},
    {"SecondaryAreaOpensAtColumnFive", "x", levels(0, 1), 3, "    BHHHHHHH x"},
    {"SecondaryAreaInnerBlock", "x", levels(1, 2), 3, "    CBHHHHHH x"},
};

std::string case_name(const ::testing::TestParamInfo<MarginTest::ParamType>& info) {
  return std::string(std::get<0>(info.param).name) +
         (std::get<1>(info.param) ? "_IbmPc" : "_Plain");
}

INSTANTIATE_TEST_SUITE_P(WorkedExamples, MarginTest,
                         ::testing::Combine(::testing::ValuesIn(kMarginCases), ::testing::Bool()),
                         case_name);

TEST(FormlineTest, IbmPcBytesAreCodePage437) {
  Line line;
  line.primary = levels(0, 2);
  line.ibmpc = true;
  EXPECT_EQ(render(line).listing, " \xDA\xC2\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4 x\r\n");
  line.primary = levels(2, 0);
  EXPECT_EQ(render(line).listing, " \xC0\xC1\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4 x\r\n");
  line.primary = levels(2, 2, 2);
  EXPECT_EQ(render(line).listing, " \xC3\xC5\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4 x\r\n");
  line.primary = levels(1, 1);
  EXPECT_EQ(render(line).listing, " \xB3           x\r\n");
}

TEST(FormlineTest, MarginLimitWhenOnlyColumn5000HoldsText) {
  // Record column 5000 is not looked at for the limit, so the margin may run to column 4998.
  Line line;
  line.text = std::string(4986, ' ') + "y";
  line.primary = levels(0, 1);
  const std::string record = render(line).listing;
  ASSERT_EQ(record.size(), 5002u);
  EXPECT_EQ(record.substr(0, 3), " /-");
  EXPECT_EQ(record.substr(4997, 5), "- y\r\n");
  EXPECT_EQ(record.find(' ', 2), 4998u);  // column 4999 is the one blank before the text

  line.text = std::string(4985, ' ') + "x";  // text in record column 4999
  const std::string shorter = render(line).listing;
  EXPECT_EQ(shorter.substr(4995, 6), "-- x\r\n");
  EXPECT_EQ(shorter.size(), 5001u);
}

TEST(FormlineTest, DeepLevelsDrawOnlyTheVisibleColumns) {
  Line line;
  line.text = "";
  line.primary = levels(1'000'000, 1'000'000);
  EXPECT_EQ(render(line).listing, " " + std::string(4997, '|') + "\r\n");

  // Extreme values neither overflow nor draw past the limit: every visible level gets a mark.
  line.text = "x";
  line.primary = levels(INT_MAX, INT_MAX - 1, INT_MAX);
  line.primary.toplev = INT_MAX;
  EXPECT_EQ(render(line).listing, glyphs_of(" Eeeeeeeeeee x", false) + "\r\n");
  line.ibmpc = true;
  EXPECT_EQ(render(line).listing, glyphs_of(" Eeeeeeeeeee x", true) + "\r\n");
}

struct FlagCase {
  const char* name;
  bool jump, hascode, hascomment, incomment;
  char flag;
};

TEST(FormlineTest, FlagColumn) {
  const FlagCase cases[] = {
      {"plain code", false, true, false, false, ' '},
      {"jump", true, true, false, false, '*'},
      {"code and comment", false, true, true, false, ' '},
      {"comment only", false, false, true, false, '='},
      {"comment only wins over jump", true, false, true, false, '='},
      {"inside a comment that goes on", false, false, false, true, '='},
      {"code before a comment that goes on", false, true, false, true, ' '},
      {"blank line outside comments", false, false, false, false, ' '},
  };
  for (const FlagCase& c : cases) {
    Line line;
    line.jump = c.jump;
    line.hascode = c.hascode;
    line.hascomment = c.hascomment;
    line.incomment = c.incomment;
    const Result result = render(line);
    EXPECT_EQ(result.listing, std::string(1, c.flag) + "            x\r\n") << c.name;
    if (c.incomment) {
      EXPECT_TRUE(result.state.hascomment) << c.name;
    }
  }
}

TEST(FormlineTest, AllBlankRecordIsOneBlank) {
  Line line;
  line.text = "";
  EXPECT_EQ(render(line).listing, " \r\n");
  EXPECT_EQ(render(line, false).listing, " \r\n");
}

TEST(FormlineTest, ScreenRecordIsTheFileRecord) {
  Line line;
  line.primary = levels(0, 1);
  const Result screen = render(line, false);
  EXPECT_EQ(screen.listing, render(line, true).listing);
}

struct NumberCase {
  const char* name;
  std::string text;
  Nesting primary;
  int numcol;
  Form form;
  bool ibmpc;
  std::string record;  // expected, without CR LF
  char form_first;     // first character of form afterwards
};

TEST(FormlineTest, LineNumberField) {
  const Form twelve = {' ', ' ', ' ', '1', '2'};
  const Form five_digits = {'1', '2', '3', '4', '5'};
  const NumberCase cases[] = {
      {"shown at column 20", "x", {}, 20, twelve, false,
       " " + std::string(12, ' ') + "x" + std::string(18, ' ') + "|  12", '|'},
      {"IBM PC bar", "x", {}, 20, twelve, true,
       " " + std::string(12, ' ') + "x" + std::string(18, ' ') + "\xB3  12", '\xB3'},
      {"no room at column 3", "abc", {}, 3, twelve, false, "             abc", ' '},
      {"right after the text", "ab", {}, 3, twelve, false, "             ab|  12", '|'},
      {"five digits unchanged", "x", {}, 3, five_digits, false, "             x 12345", '1'},
      {"margin glyphs keep it off", "", {13, 0, 13, 0}, 1, twelve, false,
       " " + std::string(13, '|'), ' '},
      {"margin glyph before its column", "", {1, 0, 1, 0}, 1, twelve, false,
       " |           |  12", '|'},
      {"cut at column 5000", "", {}, 4985, twelve, false, std::string(4997, ' ') + "|", '|'},
      {"past column 5000", "", {}, 4988, twelve, false, " ", '|'},
      {"huge column", "", {}, INT_MAX, twelve, false, " ", '|'},
      {"zero is none", "", {}, 0, twelve, false, " ", ' '},
      {"negative is none", "", {}, -5, twelve, false, " ", ' '},
  };
  for (const NumberCase& c : cases) {
    Line line;
    line.text = c.text;
    line.primary = c.primary;
    line.numcol = c.numcol;
    line.ibmpc = c.ibmpc;
    const Result result = render(line, true, c.form);
    EXPECT_EQ(result.listing, c.record + "\r\n") << c.name;
    EXPECT_EQ(result.form[0], c.form_first) << c.name;
    EXPECT_EQ(std::string(result.form.begin() + 1, result.form.end()),
              std::string(c.form.begin() + 1, c.form.end()))
        << c.name;
  }
}

TEST(FormlineTest, NegativeLevelsAreReportedAndDrawnAsZero) {
  Line line;
  line.primary = Nesting{2, 0, -1, 0};
  const Result result = render(line);
  // Level 2 closes to 0: two marks and a run.
  EXPECT_EQ(result.listing, " ***ERROR Invalid diagramming index: Line    12:\r\n" +
                                glyphs_of(" EeHHHHHHHHH x", false) + "\r\n");
  EXPECT_EQ(result.console,
            " ***ERROR Invalid diagramming index: Line    12:\r\n x\r\n \a\r\n");
  EXPECT_EQ(result.state.primary.oldlev, 0);
  EXPECT_EQ(result.state.primary.newlev, 0);
  EXPECT_EQ(result.state.primary.toplev, 2);
  EXPECT_EQ(result.state.primary.nmark, 2);
}

TEST(FormlineTest, MessagesComeInTheirOrderBeforeTheRecord) {
  Line line;
  line.text = std::string(4988, 'y');
  line.primary = Nesting{-1, 0, 0, 0};
  line.secondary = Nesting{0, 0, -1, 0};
  line.leftcols = 3;
  line.too_many_columns = Severity::kError;
  const Result result = render(line);
  const std::string expected_messages =
      " ***ERROR Invalid diagramming index: Line    12:\r\n"
      " ***ERROR Too many columns to diagram: Line    12:\r\n"
      " ***ERROR Invalid diagramming index: Line    12:\r\n";
  ASSERT_GT(result.listing.size(), expected_messages.size());
  EXPECT_EQ(result.listing.substr(0, expected_messages.size()), expected_messages);
  // The record holds the first 4987 characters of the text.
  EXPECT_EQ(result.listing.substr(expected_messages.size()),
            std::string(13, ' ') + std::string(4987, 'y') + "\r\n");
}

TEST(FormlineTest, TooManyColumnsIsAWarningInIdlnest) {
  Line line;
  line.text = std::string(4987, 'y');
  EXPECT_EQ(render(line).console, "");  // 4987 characters fit exactly
  line.text += 'z';
  const Result result = render(line);
  EXPECT_EQ(result.listing.substr(0, 55),
            " ***WARNING Too many columns to diagram: Line    12:\r\n ");
}

TEST(FormlineTest, TruncatedTextLosesTrailingBlanks) {
  Line line;
  line.text = "a" + std::string(4986, ' ') + "zz";
  const Result result = render(line);
  EXPECT_EQ(result.listing.substr(result.listing.find("\r\n") + 2),
            std::string(13, ' ') + "a\r\n");
}

TEST(FormlineTest, SecondaryNestingInTheLeftColumns) {
  struct Case {
    const char* name;
    Nesting primary, secondary;
    const char* record;
  };
  const Case cases[] = {
      {"#if at level 0", {}, {0, 0, 1, 1}, " BHH         x"},
      {"inside one conditional", {}, {1, 0, 1, 0}, " C           x"},
      {"#else in one", {}, {1, 0, 1, 1}, " LHH         x"},
      {"#endif of two", {}, {2, 0, 1, 1}, " CEH         x"},
      {"three conditionals fill the area", {}, {3, 0, 3, 0}, " CCC         x"},
      {"fourth level is not drawn", {}, {4, 0, 4, 1}, " CCC         x"},
      {"mark on level 3 does not convert the block column", {1, 0, 2, 0}, {3, 0, 3, 1},
       " CCLCBHHHHHH x"},
      {"both at once", {0, 0, 1, 0}, {0, 0, 1, 1}, " BHHBHHHHHHH x"},
      {"branch outside all conditionals", {}, {0, 0, 0, 1}, " L           x"},
  };
  for (const Case& c : cases) {
    Line line;
    line.primary = c.primary;
    line.secondary = c.secondary;
    line.leftcols = 3;
    EXPECT_EQ(render(line).listing, glyphs_of(c.record, false) + "\r\n") << c.name;
    line.ibmpc = true;
    EXPECT_EQ(render(line).listing, glyphs_of(c.record, true) + "\r\n") << c.name;
  }
}

TEST(FormlineTest, AdvancesTheNesting) {
  Line line;
  line.primary = Nesting{1, 0, 3, 1};
  line.secondary = Nesting{2, 0, 1, 0};
  line.leftcols = 3;
  const Result result = render(line);
  EXPECT_EQ(result.state.primary.oldlev, 3);
  EXPECT_EQ(result.state.primary.toplev, 3);
  EXPECT_EQ(result.state.primary.nmark, 2);
  EXPECT_EQ(result.state.secondary.oldlev, 1);
  EXPECT_EQ(result.state.secondary.toplev, 2);
  EXPECT_EQ(result.state.secondary.nmark, 1);
}

TEST(FormlineTest, GlyphSetStaysIbmPcForTheRun) {
  Captured out(true);
  GlyphTable glyphs;
  Form form = {' ', ' ', ' ', ' ', '1'};
  LineState state;
  state.primary = levels(0, 1);
  RenderSettings settings;
  settings.ibmpc = true;
  formline("x", state, form, settings, glyphs, out.streams());
  settings.ibmpc = false;
  state.primary.nmark = 0;
  formline("x", state, form, settings, glyphs, out.streams());
  EXPECT_EQ(out.file(), " \xDA" + std::string(10, '\xC4') + " x\r\n \xB3           x\r\n");
}

TEST(FormlineTest, EveryIbmPcGlyphInUtf8AndNothingElseChanged) {
  std::string out = "kept";
  append_glyphs_in_utf8("\xDA\xC0\xC3\xB3\xC4\xC2\xC1\xC5 x|-\r\n\f\xE9", out);
  EXPECT_EQ(out, "kept\u250C\u2514\u251C\u2502\u2500\u252C\u2534\u253C x|-\r\n\f\xE9");
}

}  // namespace
}  // namespace nest
