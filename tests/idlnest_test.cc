// idlnest as a whole program: its dialogue, its listings and its failures.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/process.h"

namespace nest::testing {
namespace {

struct Options {
  int numcol = 0;
  int ibmpc = 0;
  int warnend = 0;
  int maxlen = 160;
  int warnquote = 0;
};

std::string dialogue(const std::string& source, const std::string& output, const Options& o) {
  return answers({source, output, std::to_string(o.numcol), std::to_string(o.ibmpc),
                  std::to_string(o.warnend), std::to_string(o.maxlen),
                  std::to_string(o.warnquote)});
}

struct Listed {
  int status = -1;
  std::string body;     // the listing file after its header, ruler and empty record
  std::string console;  // the console after the dialogue
  std::string error;
};

Listed list(std::string_view source, const Options& options = {}) {
  TempDir dir;
  dir.write("t.pro", source);
  const Outcome outcome = run(IDLNEST_PATH, dialogue("t.pro", "t.lst", options), dir.path());
  return {outcome.status, without_records(dir.read("t.lst"), 3),
          without_records(outcome.output, 14), outcome.error};
}

const std::string kRuler =
    "             ....,....1....,....2....,....3....,....4....,....5....,....6....,....7....,....8";

const std::string kNestedProcedure = R"(pro demo, x
  if x gt 0 then begin
    ; loop over i
    for i = 0, 3 do begin
      print, i
    endfor
  endif else begin
    print, 'none'
  endelse
end
)";

TEST(IdlnestListingTest, ProcedureWithNestedBlocks) {
  const Listed listed = list(kNestedProcedure);
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.body, crlf(R"( /---------- pro demo, x
 |/----------- if x gt 0 then begin
=||              ; loop over i
 ||/------------ for i = 0, 3 do begin
 |||               print, i
 ||\------------ endfor
 |+----------- endif else begin
 ||              print, 'none'
 |\----------- endelse
 \---------- end
)"));
  EXPECT_EQ(listed.console, crlf(" Line     1 pro demo, x\n"));
  EXPECT_EQ(listed.error, "");
}

TEST(IdlnestListingTest, WholeListingFileWithHeaderAndRuler) {
  TempDir dir;
  dir.write("demo.pro", "pro p\nend\n");
  const Outcome outcome = run(IDLNEST_PATH, dialogue("demo.pro", "demo.lst", {}), dir.path());
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(dir.read("demo.lst"),
            crlf(" \f=============--demo.pro--=============\n"
                 "             ....,....1....,....2....,....3....,....4....,....5....,....6"
                 "....,....7....,....8\n"
                 "\n"
                 " /---------- pro p\n"
                 " \\---------- end\n"));
}

const std::string kFunctionWithCase = R"(function f, x
  case x of
    1: return, 1
    2: begin
      y = 2
    end
    else: y = 0
  endcase
  if y eq 0 then return
  return, y
end
)";

TEST(IdlnestListingTest, FunctionWithCaseInIbmPcGlyphsAndLineNumbers) {
  Options options;
  options.ibmpc = 1;
  options.numcol = 20;
  const Listed listed = list(kFunctionWithCase, options);
  // Numbers stand in source column 20; line 9 reaches past it, so it carries none.
  EXPECT_EQ(listed.body, cp437(crlf(R"( ┌────────── function f, x      │   1
 │┌─────────── case x of        │   2
 │├───────────── 1: return, 1   │   3
 │┌┬──────────── 2: begin       │   4
 │││               y = 2        │   5
 ││└──────────── end            │   6
 │├───────────── else: y = 0    │   7
 │└─────────── endcase          │   8
*│             if y eq 0 then return
 │             return, y        │  10
 └────────── end                │  11
)")));
}

TEST(IdlnestListingTest, FunctionWithCaseInPlainGlyphs) {
  const Listed listed = list(kFunctionWithCase);
  EXPECT_EQ(listed.body, crlf(R"( /---------- function f, x
 |/----------- case x of
 |+------------- 1: return, 1
 |//------------ 2: begin
 |||               y = 2
 ||\------------ end
 |+------------- else: y = 0
 |\----------- endcase
*|             if y eq 0 then return
 |             return, y
 \---------- end
)"));
}

struct Fixture {
  const char* name;
  std::string source;
  Options options;
  std::string body;     // expected listing after the ruler, "\n" for CR LF
  std::string console;  // expected console after the dialogue, "\n" for CR LF
};

class IdlnestFixtureTest : public ::testing::TestWithParam<Fixture> {};

TEST_P(IdlnestFixtureTest, ListingAndConsole) {
  const Fixture& f = GetParam();
  const Listed listed = list(f.source, f.options);
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.body, crlf(f.body));
  EXPECT_EQ(listed.console, crlf(f.console));
}

Options with_warnend() {
  Options o;
  o.warnend = 1;
  return o;
}

Options with_warnquote() {
  Options o;
  o.warnquote = 1;
  return o;
}

const Fixture kFixtures[] = {
    {"BeginOnlyAsLastWordAndCommentsCutFirst",
     "pro p\nif x then begin y = 1 & end\nif x then begin ; note\nendif\nend\n",
     {},
     " /---------- pro p\n"
     " |           if x then begin y = 1 & end\n"
     " |/--------- if x then begin ; note\n"
     " |\\--------- endif\n"
     " \\---------- end\n",
     " Line     1 pro p\n"},
    {"EndElseBeginAndEndifElseBeginAreBranches",
     "pro p\nif a then begin\nend else begin\nendif else begin\nendelse\nend\n",
     {},
     " /---------- pro p\n"
     " |/--------- if a then begin\n"
     " |+--------- end else begin\n"
     " |+--------- endif else begin\n"
     " |\\--------- endelse\n"
     " \\---------- end\n",
     " Line     1 pro p\n"},
    {"SelectorsAndLabelsAgainstOtherColons",
     "pro p\ncase x of\n1: y = 2\n'abc': y = 3\nelse: y = 0\ny = a[1:2]\nz = f(1, $\n"
     "  k:3)\nlab:\nendcase\nend\n",
     {},
     " /---------- pro p\n"
     " |/--------- case x of\n"
     " |+--------- 1: y = 2\n"
     " |+--------- 'abc': y = 3\n"
     " |+--------- else: y = 0\n"
     " ||          y = a[1:2]\n"
     " ||          z = f(1, $\n"
     " ||            k:3)\n"
     " |+--------- lab:\n"
     " |\\--------- endcase\n"
     " \\---------- end\n",
     " Line     1 pro p\n"},
    {"SecondMainLevelStretchAndHeaderInsideAUnit",
     "x = 1\nend\ny = 2\nend\npro a\npro b\nend\n",
     {},
     " /---------- x = 1\n"
     " \\---------- end\n"
     " ***ERROR Too many mainlines: Line     3:\n"
     " /---------- y = 2\n"
     " \\---------- end\n"
     " /---------- pro a\n"
     " ***ERROR Invalid diagramming index: Line     6:\n"
     " |           pro b\n"
     " \\---------- end\n",
     " Line     1 x = 1\n"
     " Line     3 y = 2\n"
     " ***ERROR Too many mainlines: Line     3:\n y = 2\n \a\n"
     " Line     5 pro a\n"
     " Line     6 pro b\n"
     " ***ERROR Invalid diagramming index: Line     6:\n pro b\n \a\n"},
    {"WarnendOnShowsTheScanText",
     "pro p\n  IF x THEN BEGIN\n  END\nend\n",
     with_warnend(),
     " /---------- pro p\n"
     " |/----------- IF x THEN BEGIN\n"
     " ***WARNING end type isn't specific: Line     3:\n"
     " |\\----------- END\n"
     " \\---------- end\n",
     " Line     1 pro p\n"
     " ***WARNING end type isn't specific: Line     3:\n  end\n \a\n"},
    {"WarnendOff",
     "pro p\n  if x then begin\n  end\nend\n",
     {},
     " /---------- pro p\n"
     " |/----------- if x then begin\n"
     " |\\----------- end\n"
     " \\---------- end\n",
     " Line     1 pro p\n"},
    {"JumpsAndNearMisses",
     "pro p\nGOTO, L1\ngotox = 1\nif x then return\nreturn, x\nx = (return)\n"
     "if(y)goto,l2\nreturn\nend\n",
     {},
     " /---------- pro p\n"
     "*|           GOTO, L1\n"
     " |           gotox = 1\n"
     "*|           if x then return\n"
     " |           return, x\n"
     " |           x = (return)\n"
     "*|           if(y)goto,l2\n"
     "*|           return\n"
     " \\---------- end\n",
     " Line     1 pro p\n"},
    {"BatchLinesAndQuoteOnlyLines",
     "@batch\n'only a string'\n\"double\"\nend\n",
     {},
     "             @batch\n"
     "             'only a string'\n"
     " /---------- \"double\"\n"
     " \\---------- end\n",
     " Line     3 \"double\"\n"},
    {"UpperCaseKeywordsAndSwitchIsNoKeyword",
     "PRO P\nIF X THEN BEGIN\nswitch x of\n1: begin\nend\nendswitch\nENDIF\nEND\n",
     {},
     " /---------- PRO P\n"
     " |/--------- IF X THEN BEGIN\n"
     " ||          switch x of\n"
     " |//-------- 1: begin\n"
     " ||\\-------- end\n"
     " ||          endswitch\n"
     " |\\--------- ENDIF\n"
     " \\---------- END\n",
     " Line     1 PRO P\n"},
    // A foreach loop opens like any loop and closes at its own endforeach, in any case, so the
    // unit's end closes the unit and the next header finds the nesting balanced.
    {"ForeachLoopHoldingACaseClosedByEndforeach",
     "pro p, h\n"
     "  foreach v, h, k do begin\n"
     "    case k of\n"
     "      'a': print, v\n"
     "      else: print, k\n"
     "    endcase\n"
     "  endforeach\n"
     "end\n"
     "pro q, l\n"
     "  FOREACH x, l DO BEGIN\n"
     "    print, x\n"
     "  ENDFOREACH\n"
     "end\n",
     {},
     " /---------- pro p, h\n"
     " |/----------- foreach v, h, k do begin\n"
     " ||/------------ case k of\n"
     " ||+-------------- 'a': print, v\n"
     " ||+-------------- else: print, k\n"
     " ||\\------------ endcase\n"
     " |\\----------- endforeach\n"
     " \\---------- end\n"
     " /---------- pro q, l\n"
     " |/----------- FOREACH x, l DO BEGIN\n"
     " ||              print, x\n"
     " |\\----------- ENDFOREACH\n"
     " \\---------- end\n",
     " Line     1 pro p, h\n"
     " Line     9 pro q, l\n"},
    {"StrayEndifOutsideUnitsOpensAndClosesMainLevel",
     "endif\n",
     {},
     "             endif\n"
     " ***ERROR Nest levels left hanging at end: Line     1:\n",
     " Line     1 endif\n"
     " ***ERROR Nest levels left hanging at end: Line     1:\n endif\n \a\n"},
    {"StrayEndifThenAHeader",
     "endif\npro a\nend\n",
     {},
     "             endif\n"
     " ***ERROR Invalid diagramming index: Line     2:\n"
     " /---------- pro a\n"
     " \\---------- end\n",
     " Line     1 endif\n"
     " Line     2 pro a\n"
     " ***ERROR Invalid diagramming index: Line     2:\n pro a\n \a\n"},
    {"ClosingKeywordTakesTheLevelBelowZero",
     "pro p\nendif\nendif\nend\n",
     {},
     " /---------- pro p\n"
     " \\---------- endif\n"
     " ***ERROR Invalid diagramming index: Line     3:\n"
     "             endif\n"
     " ***ERROR Invalid diagramming index: Line     4:\n"
     "             end\n"
     " ***ERROR Nest levels left hanging at end: Line     4:\n",
     " Line     1 pro p\n"
     " ***ERROR Invalid diagramming index: Line     3:\n endif\n \a\n"
     " ***ERROR Invalid diagramming index: Line     4:\n end\n \a\n"
     " ***ERROR Nest levels left hanging at end: Line     4:\n end\n \a\n"},
    {"UnclosedQuoteReportedWhenAskedBeforeTheUnitEcho",
     "x = 'abc\nend\n",
     with_warnquote(),
     " ***ERROR unclosed quote: Line     1:\n"
     " /---------- x = 'abc\n"
     " \\---------- end\n",
     " ***ERROR unclosed quote: Line     1:\n x = 'abc\n \a\n"
     " Line     1 x = 'abc\n"},
    {"UnclosedQuoteSilentByDefault",
     "x = \"abc\nend\n",
     {},
     " /---------- x = \"abc\n"
     " \\---------- end\n",
     " Line     1 x = \"abc\n"},
    {"BlocksLeftOpenAtTheEnd",
     "pro p\n  if x then begin\n",
     {},
     " /---------- pro p\n"
     " |/----------- if x then begin\n"
     " ***ERROR Nest levels left hanging at end: Line     2:\n",
     " Line     1 pro p\n"
     " ***ERROR Nest levels left hanging at end: Line     2:\n   if x then begin\n \a\n"},
};

INSTANTIATE_TEST_SUITE_P(EdgeCases, IdlnestFixtureTest, ::testing::ValuesIn(kFixtures),
                         [](const auto& p) { return std::string(p.param.name); });

// Every fixture source of these tests and the bundled example.
std::vector<std::pair<std::string, std::string>> every_fixture() {
  std::vector<std::pair<std::string, std::string>> sources = {
      {"NestedProcedure", kNestedProcedure},
      {"FunctionWithCase", kFunctionWithCase},
      {"Example", TempDir::read_file(std::string(NEST_SOURCE_DIR) + "/examples/demo.pro")}};
  for (const Fixture& f : kFixtures) {
    sources.emplace_back(f.name, f.source);
  }
  return sources;
}

// Every dialogue of the end-to-end tables (these and the fault table's).
std::vector<std::pair<std::string, std::vector<std::string>>> every_dialogue() {
  // numcol, ibmpc, warnend, maxlen, warnquote
  return {
      {"Defaults", {"/", "/", "/", "/", "/"}},
      {"IbmPcNumbers20", {"20", "1", "0", "160", "0"}},
      {"Warnend", {"0", "0", "1", "160", "0"}},
      {"Warnquote", {"0", "0", "0", "160", "1"}},
      {"MaxlenZeroNumbers4988", {"4988", "0", "0", "0", "0"}},
      {"Largest", {"2147483647", "2147483647", "2147483647", "2147483647", "2147483647"}},
      {"Smallest", {"-2147483648", "-2147483648", "-2147483648", "-2147483648", "-2147483648"}},
  };
}

// Every fixture source of these tests and the bundled example, with every dialogue of the
// end-to-end tables (these and the fault table's), into a file and to the screen: the console
// and the listing of each build must be those of the x86-64 build.
TEST(IdlnestConformanceTest, EveryFixtureWithEveryDialogueAsOnX86_64) {
  expect_as_on_x86_64(IDLNEST_PATH, ".pro", "idlnest.digests",
                      every_pairing(every_fixture(), every_dialogue()));
}

// The command line's options for the answers of a dialogue of every_dialogue().
std::vector<std::string> options_for(const std::vector<std::string>& a) {
  const auto set = [&](std::size_t k) { return a[k] != "/" && std::stoi(a[k]) != 0; };
  std::vector<std::string> options = number_option("--numbers", a[0]);
  if (set(1)) {
    options.push_back("--glyphs=ibm");
  }
  if (set(2)) {
    options.push_back("--warn-end");
  }
  for (const std::string& option : number_option("--max-length", a[3])) {
    options.push_back(option);
  }
  if (set(4)) {
    options.push_back("--warn-quotes");
  }
  return options;
}

// The command line makes the same listing files with the options for those answers...
TEST(IdlnestCommandLineTest, EveryFixtureWithEveryDialogueIntoTheSameFiles) {
  expect_command_line_as_dialogue(IDLNEST_PATH, ".pro", 7, true, every_fixture(), every_dialogue(),
                                  options_for);
}

// ...and the same screen listings, less their bells.
TEST(IdlnestCommandLineTest, EveryFixtureWithEveryDialogueToTheSameScreen) {
  expect_command_line_as_dialogue(IDLNEST_PATH, ".pro", 7, false, every_fixture(), every_dialogue(),
                                  options_for);
}

class IdlnestNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(IdlnestNameTest, ShownWithItsTabsAndWithoutItsControls) {
  const NamingProgram idlnest = {.path = IDLNEST_PATH,
                                 .name = "idlnest",
                                 .source_question = "IDL source file Name",
                                 .output_question = "Output file (blank=screen)",
                                 .more_answers = {"0", "0", "0", "160", "0"},
                                 .source = "pro p\nend\n",
                                 .listing = " /---------- pro p\n \\---------- end\n",
                                 .ruler = kRuler};
  expect_names_shown(idlnest, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Names, IdlnestNameTest, ::testing::ValuesIn(name_cases(".pro")),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(IdlnestDialogueTest, ScreenListingWithTheWholeDialogue) {
  TempDir dir;
  dir.write("s.pro", "pro s\nend\n");
  const Outcome outcome =
      run(IDLNEST_PATH, "s.pro\n\n/\n/\n/\n/\n/\n", dir.path());
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.output,
            crlf(" IDL source file Name:\n s.pro\n"
                 " Output file (blank=screen):\n  \n"
                 " Column in which to write line #'s(0 for none; 80?):\n           0\n"
                 " Use IBM PC graphics characters (0=no):\n           0\n"
                 " Should I warn if \"end\" ends if, for... (0=no):\n           0\n"
                 " Maximum line length without warning(160?):\n         160\n"
                 " Should I warn about unclosed quotes(0=no):\n           0\n"
                 "             ....,....1....,....2....,....3....,....4....,....5....,....6"
                 "....,....7....,....8\n"
                 "\n"
                 " /---------- pro s\n"
                 " \\---------- end\n"));
  EXPECT_EQ(outcome.error, "");
}

// End of input at each question, malformed numbers and the failures of the environment are
// rows of the faults table (faults_*_test.cc).

TEST(IdlnestFaultTest, ExistingOutputIsReplaced) {
  TempDir dir;
  dir.write("a.pro", "x = 1\nend\n");
  dir.write("a.lst", std::string(10000, '#'));
  const Outcome outcome =
      run(IDLNEST_PATH, answers({"a.pro", "a.lst", "0", "0", "0", "160", "0"}), dir.path());
  EXPECT_EQ(outcome.status, 0);
  const std::string listing = dir.read("a.lst");
  EXPECT_EQ(listing.find('#'), std::string::npos);
  const std::string tail = crlf(" /---------- x = 1\n \\---------- end\n");
  EXPECT_EQ(listing.substr(listing.size() - tail.size()), tail) << listing;
}

}  // namespace
}  // namespace nest::testing
