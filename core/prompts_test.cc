#include "core/prompts.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "core/test_support.h"
#include "core/text_helpers.h"

namespace nest {
namespace {

// Runs one dialogue over `typed` and returns what the console shows.
class Dialogue {
 public:
  explicit Dialogue(std::string typed) : input_(std::move(typed)) {}
  std::string ard(std::string_view prompt) { return nest::ard(prompt, out_.console_sink(), input_); }
  int ird(std::string_view prompt, int fallback) {
    return nest::ird(prompt, fallback, out_.console_sink(), input_);
  }
  const std::string& console() { return out_.console(); }

 private:
  ByteSource input_;
  testing::Captured out_{false};
};

TEST(ArdTest, TextQuestionRows) {
  Dialogue d("demo.pro\n");
  EXPECT_EQ(d.ard("IDL source file Name"), "demo.pro");
  EXPECT_EQ(d.console(), " IDL source file Name:\r\n demo.pro\r\n");
}

TEST(ArdTest, PromptIsWrittenAtFullLengthAndQuestionMarkGetsAColon) {
  Dialogue d("x\n");
  d.ard("Output file (blank=screen)?  ");
  EXPECT_EQ(d.console(), " Output file (blank=screen)?  :\r\n x\r\n");
}

TEST(ArdTest, EmptyAndBlankAnswersEchoTwoBlanks) {
  Dialogue d("\n   \n");
  EXPECT_EQ(trimmed(d.ard("A")), "");
  EXPECT_EQ(trimmed(d.ard("B")), "");
  EXPECT_EQ(d.console(), " A:\r\n  \r\n B:\r\n  \r\n");
}

TEST(ArdTest, LeadingBlanksAndTabsStay) {
  Dialogue d("  my file.pro  \n\tx\n");
  EXPECT_EQ(d.ard("A"), "  my file.pro  ");
  EXPECT_EQ(d.ard("B"), "\tx");
  // The tab stays in the answer and in its echo.
  EXPECT_EQ(d.console(), " A:\r\n   my file.pro\r\n B:\r\n \tx\r\n");
}

// The answer opens the file as typed, but what was typed never reaches the terminal raw: a
// control byte of the echo could retitle the window or clear the screen.
TEST(ArdTest, EchoShowsControlBytesAsQuestionMarks) {
  const struct {
    std::string typed;
    std::string echo;
  } cases[] = {
      {"\x1b]0;pwned\x07x.c", "?]0;pwned?x.c"},
      {"\x1b[2J\x1b[Hx.c", "?[2J?[Hx.c"},
      {std::string("a\0b\x7f\x01", 5), "a?b??"},
      // A control byte at the end is no blank: it is shown.
      {"caf\xc3\xa9.c  \x1f  ", "caf\xc3\xa9.c  ?"},
      // C1 controls, alone or in UTF-8, are hidden too; the letters of a UTF-8 name pass.
      {"\x9bJ \xc2\x9bJ \xc4\x9b", "?J ?J \xc4\x9b"},
  };
  for (const auto& c : cases) {
    Dialogue d(c.typed + "\n");
    EXPECT_EQ(d.ard("A"), c.typed);
    EXPECT_EQ(d.console(), " A:\r\n " + c.echo + "\r\n") << c.echo;
  }
}

TEST(ArdTest, LongAnswerIsCutAndTheNextQuestionReadsTheNextLine) {
  const std::string long_line = std::string(4999, 'a') + "bc" + std::string(999, 'd');
  Dialogue d(long_line + "\nsecond\n");
  const std::string first = d.ard("A");
  EXPECT_EQ(first, std::string(4999, 'a') + "b");
  EXPECT_EQ(d.ard("B"), "second");
  EXPECT_EQ(d.console(), " A:\r\n " + first + "\r\n B:\r\n second\r\n");
}

TEST(ArdTest, LineEnds) {
  Dialogue d("a\rb\r\nc\n\rd");
  EXPECT_EQ(d.ard("1"), "a");
  EXPECT_EQ(d.ard("2"), "b");
  EXPECT_EQ(d.ard("3"), "c");
  EXPECT_EQ(d.ard("4"), "");  // the lone CR after "c\n" ends an empty line
  EXPECT_EQ(d.ard("5"), "d");  // a last answer without a line end is an answer
}

TEST(ArdTest, EndOfInputIsFatal) {
  Dialogue d("only\n");
  d.ard("A");
  try {
    d.ard("Output file (blank=screen)");
    FAIL() << "no failure";
  } catch (const Fatal& failure) {
    EXPECT_STREQ(failure.what(),
                 "standard input: end of input at the question 'Output file (blank=screen)'");
  }
  // The question was on the console before the program gave up.
  EXPECT_EQ(d.console(), " A:\r\n only\r\n Output file (blank=screen):\r\n");
}

TEST(IrdTest, NumericQuestionRows) {
  Dialogue d("/\n80\n");
  EXPECT_EQ(d.ird("Maximum line length without warning(160?)", 160), 160);
  EXPECT_EQ(d.ird("Maximum line length without warning(160?)", 160), 80);
  EXPECT_EQ(d.console(),
            " Maximum line length without warning(160?):\r\n         160\r\n"
            " Maximum line length without warning(160?):\r\n          80\r\n");
}

TEST(IrdTest, AnswerForms) {
  const struct {
    const char* typed;
    int value;
  } cases[] = {
      {"/\n", 160},         {",\n", 160},          {";\n", 160},
      {"  /  9\n", 160},    {"  42  \n", 42},      {"-7\n", -7},
      {"+5\n", 5},          {"12 34\n", 12},       {"12,34\n", 12},
      {"12;x\n", 12},       {"12/\n", 12},         {"\t9\t\n", 9},
      {"\n\n  \n5\n", 5},   {"\n \t\n/\n", 160},   {"007\n", 7},
      {"7", 7},             {"2147483647\n", INT_MAX}, {"-2147483648\n", INT_MIN},
      {"0\r\n", 0},         {"\r\r3\r", 3},        {"12 abc\n", 12},
  };
  for (const auto& c : cases) {
    Dialogue d(c.typed);
    EXPECT_EQ(d.ird("Q", 160), c.value) << c.typed;
  }
}

TEST(IrdTest, EchoesTheValueRightJustifiedInElevenColumns) {
  Dialogue d("-2147483648\n-7\n");
  d.ird("Q  ", 0);  // trailing blanks of the prompt are dropped
  d.ird("Q", 0);
  EXPECT_EQ(d.console(), " Q:\r\n -2147483648\r\n Q:\r\n          -7\r\n");
}

TEST(IrdTest, RestOfTheLineIsThrownAway) {
  Dialogue d("12 34\n5\n/ 6\n7\n");
  EXPECT_EQ(d.ird("A", 0), 12);
  EXPECT_EQ(d.ird("B", 0), 5);
  EXPECT_EQ(d.ird("C", 1), 1);
  EXPECT_EQ(d.ird("D", 0), 7);
}

TEST(IrdTest, FatalAnswers) {
  const struct {
    std::string typed;
    const char* reason;
  } cases[] = {
      {"12abc\n", "malformed number '12a'"},
      {"1.5\n", "malformed number '1.'"},
      {"abc\n", "malformed number 'a'"},
      {"+\n", "malformed number '+'"},
      {"-\n", "malformed number '-'"},
      {"- 5\n", "malformed number '- '"},
      {"2147483648\n", "number out of range '2147483648'"},
      {"-2147483649\n", "number out of range '-2147483649'"},
      {"99999999999999999999\n", "number out of range '99999999999999999999'"},
      {"", "end of input"},
      {"\n\n", "end of input"},
      {"   ", "end of input"},
      {std::string("1\x1b[2J"), "malformed number '1?'"},
  };
  for (const auto& c : cases) {
    Dialogue d(c.typed);
    try {
      d.ird("Q", 0);
      ADD_FAILURE() << "no failure for " << c.typed;
    } catch (const Fatal& failure) {
      EXPECT_EQ(std::string(failure.what()),
                std::string("standard input: ") + c.reason + " at the question 'Q'");
    }
  }
}

}  // namespace
}  // namespace nest
