// cnest as a whole program: its dialogue, its listings and its failures.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "tests/process.h"

namespace nest::testing {
namespace {

struct Options {
  int numcol = 0;
  int ibmpc = 0;
  int maxlen = 120;
};

std::string dialogue(const std::string& source, const std::string& output, const Options& o) {
  return answers({source, output, std::to_string(o.numcol), std::to_string(o.ibmpc),
                  std::to_string(o.maxlen)});
}

struct Listed {
  int status = -1;
  std::string body;     // the listing after its header (in a file), ruler and empty record
  std::string console;  // the console after the dialogue
  std::string error;
};

// Lists `source` into a file, or to the screen, and keeps what follows the fixed frame.
Listed list(std::string_view source, const Options& options = {}, bool tofile = true) {
  TempDir dir;
  dir.write("t.c", source);
  const Outcome outcome =
      run(CNEST_PATH, dialogue("t.c", tofile ? "t.lst" : "", options), dir.path());
  if (!tofile) {
    return {outcome.status, without_records(outcome.output, 12), "", outcome.error};
  }
  return {outcome.status, without_records(dir.read("t.lst"), 3),
          without_records(outcome.output, 10), outcome.error};
}

const std::string kRuler =
    "           ....,....1....,....2....,....3....,....4....,....5....,....6....,....7....,....8";

const std::string kFunction = R"(#ifdef DEBUG
int main(void) {
  if (x) {
    y();
  } else {
    z();
  }
  switch (c) {
  case 1:
    break;
  default:
    goto out;
  }
  return 0;
}
#endif
)";

TEST(CnestListingTest, WholeListingFileWithHeaderAndRuler) {
  TempDir dir;
  dir.write("demo.c", "int f(void) {\n}\n");
  const Outcome outcome = run(CNEST_PATH, dialogue("demo.c", "demo.lst", {}), dir.path());
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(dir.read("demo.lst"), crlf(" \f=============--demo.c--=============\n" + kRuler +
                                       "\n"
                                       "\n"
                                       "    /------- int f(void) {\n"
                                       "    \\------- }\n"));
  EXPECT_EQ(outcome.error, "");
}

TEST(CnestListingTest, FunctionWithBlocksElseSwitchAndConditional) {
  const Listed listed = list(kFunction);
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.body, crlf(R"( /--         #ifdef DEBUG
 |  /------- int main(void) {
 |  |/-------- if (x) {
 |  ||           y();
 |  |+-------- } else {
 |  ||           z();
 |  |\-------- }
 |  |/-------- switch (c) {
 |  |+-------- case 1:
*|  ||           break;
 |  |+-------- default:
*|  ||           goto out;
 |  |\-------- }
*|  |          return 0;
 |  \------- }
 \--         #endif
)"));
  EXPECT_EQ(listed.console, crlf(" Line     2 int main(void) {\n"));
}

TEST(CnestListingTest, IbmPcGlyphsAndLineNumbers) {
  Options options;
  options.ibmpc = 1;
  options.numcol = 16;
  const Listed listed = list(kFunction, options);
  // Numbers stand in source column 16; lines reaching it carry none.
  EXPECT_EQ(listed.body, cp437(crlf(R"( ┌──         #ifdef DEBUG   │   1
 │  ┌─────── int main(void) {
 │  │┌──────── if (x) {     │   3
 │  ││           y();       │   4
 │  │├──────── } else {     │   5
 │  ││           z();       │   6
 │  │└──────── }            │   7
 │  │┌──────── switch (c) { │   8
 │  │├──────── case 1:      │   9
*│  ││           break;     │  10
 │  │├──────── default:     │  11
*│  ││           goto out;  │  12
 │  │└──────── }            │  13
*│  │          return 0;    │  14
 │  └─────── }              │  15
 └──         #endif         │  16
)")));
}

struct Fixture {
  const char* name;
  std::string source;
  std::string body;     // expected listing after the ruler, "\n" for CR LF
  std::string console;  // expected console after the dialogue, "\n" for CR LF
};

void PrintTo(const Fixture& f, std::ostream* os) {
  *os << f.name;
}

class CnestFixtureTest : public ::testing::TestWithParam<Fixture> {};

TEST_P(CnestFixtureTest, ListingAndConsole) {
  const Fixture& f = GetParam();
  const Listed listed = list(f.source);
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.body, crlf(f.body));
  EXPECT_EQ(listed.console, crlf(f.console));
  EXPECT_EQ(listed.error, "");
}

const Fixture kFixtures[] = {
    {"BraceInALiteralCountsBraceInACommentDoesNot", "puts(\"{\");\n/* { */ // }\n",
     "    /------- puts(\"{\");\n"
     "=   |        /* { */ // }\n"
     " ***ERROR Some nest levels unclosed at end: Line     2:\n",
     " Line     1 puts(\"{\");\n"
     " ***ERROR Some nest levels unclosed at end: Line     2:\n /* { */ // }\n \a\n"},
    {"CommentStartsInsideLiteralsAreText", "s = \"/*\"; t = \"//\"; c = '/'; {\n}\n",
     "    /------- s = \"/*\"; t = \"//\"; c = '/'; {\n"
     "    \\------- }\n",
     " Line     1 s = \"/*\"; t = \"//\"; c = '/'; {\n"},
    {"ApostropheInAnErrorDirective", "#error don't do this\n",
     " ***ERROR Unclosed quote: Line     1:\n"
     "             #error don't do this\n",
     " ***ERROR Unclosed quote: Line     1:\n #error don't do this\n \a\n"},
    // Any backslash before the closing quote keeps the literal open, an escaped one too.
    {"TwoTrailingBackslashesKeepTheLiteralOpen", "s = \"C:\\\\\";\nx = 1;\n",
     " ***ERROR Unclosed quote: Line     1:\n"
     "             s = \"C:\\\\\";\n"
     "             x = 1;\n",
     " ***ERROR Unclosed quote: Line     1:\n s = \"C:\\\\\";\n \a\n"},
    // Every line starts with no literal open, so the quote that ends the string opens one.
    {"StringContinuedWithABackslash", "s = \"abc\\\ndef\";\n",
     " ***ERROR Unclosed quote: Line     1:\n"
     "             s = \"abc\\\n"
     " ***ERROR Unclosed quote: Line     2:\n"
     "             def\";\n",
     " ***ERROR Unclosed quote: Line     1:\n s = \"abc\\\n \a\n"
     " ***ERROR Unclosed quote: Line     2:\n def\";\n \a\n"},
    // Inside a comment a "//" is comment text: the "*/" after it closes the comment.
    {"SlashSlashInsideABlockCommentIsCommentText", "/* see http://example.com */ {\n}\n",
     "    /------- /* see http://example.com */ {\n"
     "    \\------- }\n",
     " Line     1 /* see http://example.com */ {\n"},
    {"LicenceCommentWithAUrlThenAFunction",
     "/* This program is free software.\n"
     "   You should have received a copy of the GNU General Public License\n"
     "   along with this program.  If not, see <https://www.gnu.org/licenses/>.  */\n"
     "\n"
     "#include <stdio.h>\n"
     "\n"
     "int main(void) {\n"
     "  if (puts(\"hi\") < 0) {\n"
     "    return 1;\n"
     "  }\n"
     "  return 0;\n"
     "}\n",
     "=            /* This program is free software.\n"
     "=               You should have received a copy of the GNU General Public License\n"
     "=               along with this program.  If not, see <https://www.gnu.org/licenses/>.  */\n"
     " \n"
     "             #include <stdio.h>\n"
     " \n"
     "    /------- int main(void) {\n"
     "    |/-------- if (puts(\"hi\") < 0) {\n"
     "*   ||           return 1;\n"
     "    |\\-------- }\n"
     "*   |          return 0;\n"
     "    \\------- }\n",
     " Line     7 int main(void) {\n"},
    {"SlashSlashInACommentThatSpansLines", "x = 1; /* a // b {\n   c // d }\n   e */ {\n}\n",
     "             x = 1; /* a // b {\n"
     "=               c // d }\n"
     "    /---------- e */ {\n"
     "    \\------- }\n",
     " Line     3    e */ {\n"},
    // Outside a comment a "//" still ends the line, after a closed comment too: the braces and
    // the "*/" after it are not seen.
    {"SlashSlashOutsideACommentEndsTheLine", "x = 1; // {\n/* a */ y = 2; // } */ {\nz = 3;\n",
     "             x = 1; // {\n"
     "             /* a */ y = 2; // } */ {\n"
     "             z = 3;\n",
     ""},
    {"SlashStarSlashOpensAndDoesNotClose", "/*/ x\n*/ y;\n",
     "=            /*/ x\n"
     "             */ y;\n",
     ""},
    {"NestedCommentWarnsOnceAndOneEndClosesIt", "/* a\nb /* c */\nx = 1;\n",
     "=            /* a\n"
     " ***WARNING nested comment: Line     2:\n"
     "=            b /* c */\n"
     "             x = 1;\n",
     " ***WARNING nested comment: Line     2:\n b /* c */\n \a\n"},
    {"EndWithoutStart", "x = 1; */ y = 2;\n",
     " ***ERROR / without /* clause: Line     1:\n"
     "             x = 1; */ y = 2;\n",
     " ***ERROR / without /* clause: Line     1:\n x = 1; */ y = 2;\n \a\n"},
    {"CommentOpenAtTheEndIsNotReported", "x;\n/* open {\n",
     "             x;\n"
     "=            /* open {\n",
     ""},
    {"EveryLineOfAMultiLineCommentIsFlagged",
     "/* start\n   middle\n*/\nx = 1; /* tail\n*/ y = 2;\n",
     "=            /* start\n"
     "=               middle\n"
     "=            */\n"
     "             x = 1; /* tail\n"
     "             */ y = 2;\n",
     ""},
    // The line still gets the mark of the block it tried to close.
    {"ClosingBraceAtLevelZero", "}\nx;\n",
     " ***ERROR Invalid diagramming index: Line     1:\n"
     "    +        }\n"
     "             x;\n",
     " ***ERROR Invalid diagramming index: Line     1:\n }\n \a\n"},
    {"MessageBeforeTheEchoOfTheSameLine", "} {\n}\n",
     " ***ERROR Invalid diagramming index: Line     1:\n"
     "    /------- } {\n"
     "    \\------- }\n",
     " ***ERROR Invalid diagramming index: Line     1:\n } {\n \a\n"
     " Line     1 } {\n"},
    {"EchoOfReopenedBlocks", "{\n} {\n}\n{ } {\n}\n",
     "    /------- {\n"
     "    +------- } {\n"
     "    \\------- }\n"
     "    /------- { } {\n"
     "    \\------- }\n",
     " Line     1 {\n"
     " Line     2 } {\n"
     " Line     4 { } {\n"
     " Line     4 { } {\n"},
    {"PreprocessorConditionalForms",
     "#IF A\n#ifndef B\n#elif C\n# elif D\n#else\n# else\n#  endif\n#endif\n",
     " /--         #IF A\n"
     " |/-         #ifndef B\n"
     " |+-         #elif C\n"
     " |+-         # elif D\n"
     " |+-         #else\n"
     " |+-         # else\n"
     " |\\-         #  endif\n"
     " \\--         #endif\n",
     ""},
    {"PreprocessorAfterCodeInACommentAndUnmatched", "x = 1; #if A\n/* #if B */\n#endif\n#   if C\n",
     "             x = 1; #if A\n"
     "=            /* #if B */\n"
     " ***ERROR Invalid diagramming index: Line     3:\n"
     " +           #endif\n"
     " /--         #   if C\n"
     " ***ERROR Some nest levels unclosed at end: Line     4:\n",
     " ***ERROR Invalid diagramming index: Line     3:\n #endif\n \a\n"
     " ***ERROR Some nest levels unclosed at end: Line     4:\n #   if C\n \a\n"},
    {"JumpsAndTheirNearMisses",
     "return_value = 0;\nx = returns;\nexit1();\ngoto1;\nif(x)return;\nx=(return);\n"
     "RETURN;\nGOTO L;\ngo    to x;\ns = \" return \";\na.exit(1);\nbreakfast();\ncontinue;\n",
     "*            return_value = 0;\n"
     "             x = returns;\n"
     "             exit1();\n"
     "*            goto1;\n"
     "*            if(x)return;\n"
     "             x=(return);\n"
     "*            RETURN;\n"
     "*            GOTO L;\n"
     "*            go    to x;\n"
     "*            s = \" return \";\n"
     "             a.exit(1);\n"
     "             breakfast();\n"
     "*            continue;\n",
     ""},
    {"CaseLabelsAndTheirNearMisses",
     "case 3: return 0;\ndefault :\ndefault;\ncase1 = 2;\nmycase:\nDEFAULT:\nx = 1;default:\n",
     "*   +        case 3: return 0;\n"
     "    +        default :\n"
     "             default;\n"
     "             case1 = 2;\n"
     "             mycase:\n"
     "    +        DEFAULT:\n"
     "    +        x = 1;default:\n",
     ""},
};

INSTANTIATE_TEST_SUITE_P(EdgeCases, CnestFixtureTest, ::testing::ValuesIn(kFixtures),
                         [](const auto& p) { return std::string(p.param.name); });

// Every fixture source of these tests and the bundled example.
std::vector<std::pair<std::string, std::string>> every_fixture() {
  std::vector<std::pair<std::string, std::string>> sources = {
      {"Function", kFunction},
      {"Example", TempDir::read_file(std::string(NEST_SOURCE_DIR) + "/examples/demo.c")}};
  for (const Fixture& f : kFixtures) {
    sources.emplace_back(f.name, f.source);
  }
  return sources;
}

// Every dialogue of the end-to-end tables (these and the fault table's).
std::vector<std::pair<std::string, std::vector<std::string>>> every_dialogue() {
  // numcol, ibmpc, maxlen
  return {
      {"Defaults", {"/", "/", "/"}},
      {"IbmPcNumbers16", {"16", "1", "120"}},
      {"MaxlenZeroNumbers4988", {"4988", "0", "0"}},
      {"Largest", {"2147483647", "2147483647", "2147483647"}},
      {"Smallest", {"-2147483648", "-2147483648", "-2147483648"}},
  };
}

// Every fixture source of these tests and the bundled example, with every dialogue of the
// end-to-end tables (these and the fault table's), into a file and to the screen: the console
// and the listing of each build must be those of the x86-64 build.
TEST(CnestConformanceTest, EveryFixtureWithEveryDialogueAsOnX86_64) {
  expect_as_on_x86_64(CNEST_PATH, ".c", "cnest.digests",
                      every_pairing(every_fixture(), every_dialogue()));
}

// The command line's options for the answers of a dialogue of every_dialogue().
std::vector<std::string> options_for(const std::vector<std::string>& a) {
  std::vector<std::string> options = number_option("--numbers", a[0]);
  if (a[1] != "/" && std::stoi(a[1]) != 0) {
    options.push_back("--glyphs=ibm");
  }
  for (const std::string& option : number_option("--max-length", a[2])) {
    options.push_back(option);
  }
  return options;
}

// The command line makes the same listing files with the options for those answers...
TEST(CnestCommandLineTest, EveryFixtureWithEveryDialogueIntoTheSameFiles) {
  expect_command_line_as_dialogue(CNEST_PATH, ".c", 5, true, every_fixture(), every_dialogue(),
                                  options_for);
}

// ...and the same screen listings, less their bells.
TEST(CnestCommandLineTest, EveryFixtureWithEveryDialogueToTheSameScreen) {
  expect_command_line_as_dialogue(CNEST_PATH, ".c", 5, false, every_fixture(), every_dialogue(),
                                  options_for);
}

class CnestNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(CnestNameTest, ShownWithItsTabsAndWithoutItsControls) {
  const NamingProgram cnest = {.path = CNEST_PATH,
                               .name = "cnest",
                               .source_question = "C source filename",
                               .output_question = "Output file (blank=screen)?",
                               .more_answers = {"0", "0", "120"},
                               .source = "{\n}\n",
                               .listing = "    /------- {\n    \\------- }\n",
                               .ruler = kRuler};
  expect_names_shown(cnest, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Names, CnestNameTest, ::testing::ValuesIn(name_cases(".c")),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(CnestListingTest, NoEchoWhenListingToTheScreen) {
  const Listed listed = list("{\n} {\n}\n{ } {\n}\n", {}, false);
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.body, crlf("    /------- {\n"
                              "    +------- } {\n"
                              "    \\------- }\n"
                              "    /------- { } {\n"
                              "    \\------- }\n"));
}

TEST(CnestListingTest, TooManyColumnsIsAnError) {
  const std::string line = std::string(4988, 'x');
  const Listed listed = list(line + "\n");
  const std::string over = " ***WARNING Line over warning length: Line     1:\r\n";
  const std::string columns = " ***ERROR Too many columns to diagram: Line     1:\r\n";
  EXPECT_EQ(listed.body, over + columns + std::string(13, ' ') + line.substr(0, 4987) + "\r\n");
  const std::string shown = " " + line + "\r\n \a\r\n";
  EXPECT_EQ(listed.console, over + shown + columns + shown);
}

TEST(CnestDialogueTest, ScreenListingWithTheWholeDialogue) {
  TempDir dir;
  // Defaults: no line numbers, plain glyphs, and a warning past column 120.
  const std::string long_line = "x = 1;" + std::string(114, ' ') + "y";
  dir.write("s.c", "{\n" + long_line + "\n}\n");
  const Outcome outcome = run(CNEST_PATH, "s.c\n\n/\n/\n/\n", dir.path());
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.output,
            crlf(" C source filename:\n s.c\n"
                 " Output file (blank=screen)?:\n  \n"
                 " Column in which to write line #'s(80, 0 for none; 80?):\n           0\n"
                 " Use IBM PC graphics characters (0=no):\n           0\n"
                 " Maximum line length without warning(120?):\n         120\n" +
                 kRuler +
                 "\n"
                 "\n"
                 "    /------- {\n"
                 " ***WARNING Line over warning length: Line     2:\n"
                 " \a\n"
                 "    |        " +
                 long_line +
                 "\n"
                 "    \\------- }\n"));
  EXPECT_EQ(outcome.error, "");
}

// End of input at each question and the failures of the environment are rows of the faults
// table (faults_*_test.cc).

}  // namespace
}  // namespace nest::testing
