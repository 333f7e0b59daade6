// Both programs started with arguments: the options, where the listings go, the reports in the
// form compilers use, --check, many files at once, and the conventions of command-line tools.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/process.h"

namespace nest::testing {
namespace {

const std::string kRuler =
    "....,....1....,....2....,....3....,....4....,....5....,....6....,....7....,....8";
// What a C listing starts with: the ruler and the empty record.
const std::string kCStart = crlf("           " + kRuler + "\n\n");

const std::string kGood = "int f(void) {\n  return 0;\n}\n";
const std::string kGoodListed = crlf(
    "    /------- int f(void) {\n"
    "*   |          return 0;\n"
    "    \\------- }\n");
const std::string kBad = "int g(void) {\n  x = \"abc;\n";
const std::string kBadListed = crlf(
    "    /------- int g(void) {\n"
    " ***ERROR Unclosed quote: Line     2:\n"
    "    |          x = \"abc;\n"
    " ***ERROR Some nest levels unclosed at end: Line     2:\n");
const std::string kBadReported =
    "bad.c:2: error: Unclosed quote\n"
    "bad.c:2: error: Some nest levels unclosed at end\n";
const std::string kLong = "int h(void) {\n  int a_very_long_name_here = 1;\n}\n";

std::string file_header(const std::string& name) {
  return crlf(" \f=============--" + name + "--=============\n");
}

std::string usage_error(const std::string& text) {
  return "cnest: " + text + "\nTry 'cnest --help'.\n";
}

// The absolute path of the run's folder stands for this in arguments and file names.
constexpr std::string_view kHere = "{here}";

std::string with_here(std::string text, const std::string& here) {
  for (std::size_t at; (at = text.find(kHere)) != std::string::npos;) {
    text.replace(at, kHere.size(), here);
  }
  return text;
}

struct Row {
  std::string name;
  std::vector<std::string> arguments;
  std::map<std::string, std::string> files = {};  // written before the run, subfolders made
  std::string input = "";
  int status = 0;
  std::string output = "";
  std::string error = "";
  std::map<std::string, std::string> listings = {};  // files expected after the run
  std::vector<std::string> absent = {};              // files the run must not have made
  bool output_starts_only = false;  // `output` is only the start of standard output
  std::string program = CNEST_PATH;
  RunOptions options = {};
};

void PrintTo(const Row& row, std::ostream* os) {
  *os << row.name;
}

class CommandLineTest : public ::testing::TestWithParam<Row> {};

TEST_P(CommandLineTest, StatusOutputAndFiles) {
  const Row& row = GetParam();
  TempDir dir;
  for (const auto& [name, bytes] : row.files) {
    for (std::size_t at = name.find('/'); at != std::string::npos; at = name.find('/', at + 1)) {
      ::mkdir((dir / name.substr(0, at)).c_str(), 0777);
    }
    dir.write(name, bytes);
  }
  // The absolute folder's path without its leading '/', as it stands inside a listing folder.
  const std::string here = dir.path();
  RunOptions options = row.options;
  for (const std::string& argument : row.arguments) {
    options.arguments.push_back(with_here(argument, here));
  }
  const Outcome outcome = run(row.program, row.input, dir.path(), options);
  EXPECT_EQ(outcome.status, row.status);
  if (row.output_starts_only) {
    EXPECT_EQ(outcome.output.substr(0, row.output.size()), row.output);
  } else {
    EXPECT_EQ(outcome.output, row.output);
  }
  EXPECT_EQ(outcome.error, with_here(row.error, here));
  for (const auto& [name, bytes] : row.listings) {
    EXPECT_EQ(dir.read(with_here(name, here.substr(1))), with_here(bytes, here)) << name;
  }
  for (const std::string& name : row.absent) {
    EXPECT_FALSE(dir.exists(name)) << name;
  }
}

const Row kRows[] = {
    {.name = "OneFileToStandardOutput",
     .arguments = {"good.c"},
     .files = {{"good.c", kGood}},
     .output = kCStart + kGoodListed},
    {.name = "MessagesStandInTheScreenListingWithoutBells",
     .arguments = {"bad.c"},
     .files = {{"bad.c", kBad}},
     .output = kCStart + kBadListed},
    {.name = "OutputFileWithReportsOnStandardError",
     .arguments = {"-o", "bad.lst", "bad.c"},
     .files = {{"bad.c", kBad}},
     .error = kBadReported,
     .listings = {{"bad.lst", file_header("bad.c") + kCStart + kBadListed}}},
    {.name = "OptionsOfEveryQuestion",
     .arguments = {"--numbers=30", "-g", "ibm", "--max-length", "20", "long.c"},
     .files = {{"long.c", kLong}},
     .output = kCStart + cp437(crlf("    ┌─────── int h(void) {                │   1\n"
                                    " ***WARNING Line over warning length: Line     2:\n"
                                    "    │          int a_very_long_name_here = 1;\n"
                                    "    └─────── }                            │   3\n"))},
    {.name = "FolderOfNestedSources",
     .arguments = {"-o", "out", "src/a.c", "src/deeper/b.c"},
     .files = {{"src/a.c", kGood}, {"src/deeper/b.c", kBad}},
     .status = 0,
     .error = "src/deeper/b.c:2: error: Unclosed quote\n"
              "src/deeper/b.c:2: error: Some nest levels unclosed at end\n",
     .listings = {{"out/src/a.c.lst", file_header("src/a.c") + kCStart + kGoodListed},
                  {"out/src/deeper/b.c.lst",
                   file_header("src/deeper/b.c") + kCStart + kBadListed}}},
    {.name = "FolderKeepsAbsoluteAndParentPathsInside",
     .arguments = {"-o", "out/", "{here}/src/a.c", "src/../src/./b.c", "../../b.c"},
     .files = {{"src/a.c", kGood}, {"src/b.c", kGood}, {"b.c", kGood}},
     .status = 2,
     .error = "cnest: cannot open '../../b.c': No such file or directory\n",
     .listings = {{"out/{here}/src/a.c.lst",
                   file_header("{here}/src/a.c") + kCStart + kGoodListed},
                  {"out/src/b.c.lst", file_header("src/../src/./b.c") + kCStart + kGoodListed}},
     .absent = {"b.c.lst", "out/b.c.lst"}},
    {.name = "StandardInputToStandardOutput",
     .arguments = {"-"},
     .input = kGood,
     .output = kCStart + kGoodListed},
    {.name = "StandardInputToAFile",
     .arguments = {"-o", "s.lst", "-"},
     .input = kBad,
     .error = "standard input:2: error: Unclosed quote\n"
              "standard input:2: error: Some nest levels unclosed at end\n",
     .listings = {{"s.lst", file_header("standard input") + kCStart + kBadListed}}},
    {.name = "SeveralFilesToStandardOutputEachHeaded",
     .arguments = {"good.c", "bad.c"},
     .files = {{"good.c", kGood}, {"bad.c", kBad}},
     .output = crlf("==> good.c <==\n") + kCStart + kGoodListed + crlf("\n==> bad.c <==\n") +
               kCStart + kBadListed},
    {.name = "CheckWithoutErrorsIsZero",
     .arguments = {"--check", "-w", "20", "good.c", "long.c"},
     .files = {{"good.c", kGood}, {"long.c", kLong}},
     .output = "long.c:2: warning: Line over warning length\n",
     .absent = {"good.c.lst", "long.c.lst"}},
    {.name = "CheckWithAnErrorIsOne",
     .arguments = {"-c", "good.c", "bad.c"},
     .files = {{"good.c", kGood}, {"bad.c", kBad}},
     .status = 1,
     .output = kBadReported},
    {.name = "CheckOfAMissingFileIsTwo",
     .arguments = {"--check", "bad.c", "missing.c"},
     .files = {{"bad.c", kBad}},
     .status = 2,
     .output = kBadReported,
     .error = "cnest: cannot open 'missing.c': No such file or directory\n"},
    {.name = "MissingFileAmongSeveral",
     .arguments = {"-o", "out", "good.c", "missing.c", "bad.c"},
     .files = {{"good.c", kGood}, {"bad.c", kBad}},
     .status = 2,
     .error = "cnest: cannot open 'missing.c': No such file or directory\n" + kBadReported,
     .listings = {{"out/good.c.lst", file_header("good.c") + kCStart + kGoodListed},
                  {"out/bad.c.lst", file_header("bad.c") + kCStart + kBadListed}},
     .absent = {"out/missing.c.lst"}},
    {.name = "Help",
     .arguments = {"--help"},
     .output = "cnest: lists C sources",
     .output_starts_only = true},
    {.name = "Version", .arguments = {"--version"}, .output = "cnest " NEST_VERSION "\n"},
    {.name = "IdlnestVersion",
     .arguments = {"--version"},
     .output = "idlnest " NEST_VERSION "\n",
     .program = IDLNEST_PATH},
    {.name = "UnknownOptionCreatesNothing",
     .arguments = {"-o", "out", "--frob", "good.c"},
     .files = {{"good.c", kGood}},
     .status = 2,
     .error = usage_error("The following argument was not expected: --frob"),
     .absent = {"out"}},
    {.name = "IdlOptionUnknownToCnest",
     .arguments = {"--warn-end", "good.c"},
     .files = {{"good.c", kGood}},
     .status = 2,
     .error = usage_error("The following argument was not expected: --warn-end")},
    {.name = "BadNumber",
     .arguments = {"-n", "x", "-o", "g.lst", "good.c"},
     .files = {{"good.c", kGood}},
     .status = 2,
     .error = usage_error("Could not convert: --numbers = x"),
     .absent = {"g.lst"}},
    {.name = "BadGlyphSet",
     .arguments = {"--glyphs=cp850", "good.c"},
     .files = {{"good.c", kGood}},
     .status = 2,
     .error = usage_error("--glyphs: cp850 not in {plain,ibm,utf8}")},
    {.name = "NoJobs",
     .arguments = {"-j", "0", "good.c"},
     .files = {{"good.c", kGood}},
     .status = 2,
     .error = usage_error("--jobs: Value 0 not in range 1 to 1048576")},
    {.name = "NoSource",
     .arguments = {"-n", "5"},
     .status = 2,
     .error = usage_error("FILE is required")},
    {.name = "CheckWithAnOutput",
     .arguments = {"--check", "-o", "g.lst", "good.c"},
     .files = {{"good.c", kGood}},
     .status = 2,
     .error = usage_error("--output excludes --check"),
     .absent = {"g.lst"}},
    {.name = "OutputThatIsItsSource",
     .arguments = {"-o", "good.c", "good.c"},
     .files = {{"good.c", kGood}},
     .status = 2,
     .error = "cnest: cannot create 'good.c': it is the source file\n",
     .listings = {{"good.c", kGood}}},
    {.name = "ListingThatIsAnotherSourceOfTheRun",
     .arguments = {"-o", "out", "a.c", "out/a.c.lst"},
     .files = {{"a.c", kGood}, {"out/a.c.lst", kBad}},
     .status = 2,
     .error = "cnest: cannot create 'out/a.c.lst': it is a source file of this run\n"
              "out/a.c.lst:2: error: Unclosed quote\n"
              "out/a.c.lst:2: error: Some nest levels unclosed at end\n",
     .listings = {{"out/a.c.lst", kBad},
                  {"out/out/a.c.lst.lst", file_header("out/a.c.lst") + kCStart + kBadListed}}},
    {.name = "TwoSourcesSharingAListing",
     .arguments = {"-o", "out", "a.c", "./a.c", "b.c"},
     .files = {{"a.c", kGood}, {"b.c", kGood}},
     .status = 2,
     .error = "cnest: 'a.c' and './a.c' would have the same listing 'out/a.c.lst': neither is "
              "listed\n",
     .listings = {{"out/b.c.lst", file_header("b.c") + kCStart + kGoodListed}},
     .absent = {"out/a.c.lst"}},
    {.name = "StandardOutputThatIsASource",
     .arguments = {"good.c"},
     .files = {{"good.c", kGood}},
     .status = 2,
     .error = "cnest: cannot write 'standard output': it is the source file\n",
     .listings = {{"good.c", kGood}},
     .options = {.output = StandardOutput::kAppendedToFile, .output_file = "good.c"}},
    {.name = "ClosedPipeEndsTheRunSilently",
     .arguments = {"big.c", "big.c", "big.c"},
     .files = {{"big.c", [] {
                  std::string big;
                  for (int k = 0; k < 20000; ++k) {
                    big += "{ x = 1; }\n";
                  }
                  return big;
                }()}},
     .status = 2,
     .output = crlf("==> big.c <==\n") + kCStart,
     .output_starts_only = true,
     .options = {.output = StandardOutput::kReaderLeaves, .read_before_leaving = 4096}},
};

INSTANTIATE_TEST_SUITE_P(Table, CommandLineTest, ::testing::ValuesIn(kRows),
                         [](const auto& p) { return p.param.name; });

// The bytes of `name` in `dir` through iconv from UTF-8 to code page 437.
std::string to_cp437(const TempDir& dir, const std::string& name) {
  const std::string command = "iconv -f UTF-8 -t CP437 '" + (dir / name) + "'";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  std::string bytes;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    bytes.append(buffer, got);
  }
  EXPECT_EQ(::pclose(pipe), 0) << command;
  return bytes;
}

// The glyphs of opening and closing one and several levels at once, of branches and before a
// line number, in both programs.
TEST(CommandLineGlyphsTest, Utf8IsTheIbmListingInUtf8) {
  TempDir dir;
  dir.write("all.c",
            "#if A\n{ {\n  switch (x) {\n  case 1: { {\n  } }\n  default:\n  }\n} }\n#endif\n"
            "{\n} {\n}\n");
  dir.write("all.pro",
            "pro p\n  if a then begin\n    case x of\n    1: begin\n    end\n    else: y = 1\n"
            "    endcase\n  endif\nend\n");
  for (const auto& [program, source] :
       {std::pair{CNEST_PATH, "all.c"}, std::pair{IDLNEST_PATH, "all.pro"}}) {
    for (const std::string numbers : {"0", "20"}) {
      for (const std::string glyphs : {"ibm", "utf8"}) {
        RunOptions to_file;
        to_file.arguments = {"-n", numbers, "-g", glyphs, "-o", glyphs + ".lst", source};
        EXPECT_EQ(run(program, "", dir.path(), to_file).status, 0);
        RunOptions to_screen;
        to_screen.arguments = {"-n", numbers, "-g", glyphs, source};
        const Outcome screen = run(program, "", dir.path(), to_screen);
        EXPECT_EQ(screen.status, 0);
        dir.write(glyphs + ".screen", screen.output);
      }
      const std::string ibm = dir.read("ibm.lst");
      for (const char glyph : {'\xDA', '\xC2', '\xC0', '\xC3', '\xB3', '\xC4'}) {
        EXPECT_NE(ibm.find(glyph), std::string::npos) << source << ": a listing with the glyph";
      }
      EXPECT_EQ(to_cp437(dir, "utf8.lst"), ibm) << source << " -n " << numbers;
      EXPECT_EQ(to_cp437(dir, "utf8.screen"), dir.read("ibm.screen")) << source;
      EXPECT_NE(dir.read("utf8.screen").find("┌┬"), std::string::npos);
    }
  }
}

// Sources of many sizes, some larger than what a thread may hold back while waiting its turn,
// listed with one thread and with four: the same bytes, messages and status each time.
TEST(CommandLineJobsTest, OneThreadOrFourGiveTheSameBytes) {
  TempDir dir;
  std::vector<std::string> sources;
  for (int k = 0; k < 24; ++k) {
    std::string source;
    const int lines = k % 5 == 0 ? 80000 : 50 + 797 * k;
    for (int line = 0; line < lines; ++line) {
      source += line % 7 == 0 ? "{\n" : line % 7 == 6 ? "}\n" : "  x = \"y\"; /* z */\n";
      if (line % 1001 == 3) {
        source += "  s = \"open;\n";
      }
    }
    const std::string name = "s" + std::to_string(k) + ".c";
    dir.write(name, source);
    sources.push_back(name);
  }
  sources.insert(sources.begin() + 7, "missing.c");
  for (const std::vector<std::string>& form :
       {std::vector<std::string>{}, {"--check"}, {"-o", "out"}, {"-g", "utf8", "-n", "40"}}) {
    std::vector<Outcome> outcomes;
    std::vector<std::string> listings;
    for (const std::string jobs : {"1", "4"}) {
      RunOptions options;
      options.arguments = form;
      options.arguments.insert(options.arguments.end(), {"-j", jobs});
      options.arguments.insert(options.arguments.end(), sources.begin(), sources.end());
      outcomes.push_back(run(CNEST_PATH, "", dir.path(), options));
      std::string all;
      for (const std::string& source : sources) {
        all += dir.exists("out/" + source + ".lst") ? dir.read("out/" + source + ".lst") : "-";
      }
      listings.push_back(all);
    }
    const std::string shown = form.empty() ? "to standard output" : form.front();
    EXPECT_EQ(outcomes[0].status, 2) << shown;
    EXPECT_EQ(outcomes[1].status, outcomes[0].status) << shown;
    EXPECT_TRUE(outcomes[0].output == outcomes[1].output) << shown;
    EXPECT_EQ(outcomes[1].error, outcomes[0].error) << shown;
    EXPECT_NE(outcomes[0].error.find("cannot open 'missing.c'"), std::string::npos) << shown;
    EXPECT_TRUE(listings[0] == listings[1]) << shown;
  }
}

// The hidden files in `folder` (the new listings not yet in place).
std::vector<std::string> hidden_files(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 2 && name[0] == '.' && name != "..") {
        names.push_back(name);
      }
    }
    ::closedir(dir);
  }
  return names;
}

// Several listings being written at once, all stopped by one signal: none of their new files
// is left behind, and the old listings stay as they were.
TEST(CommandLineJobsTest, SignalRemovesEveryNewListing) {
  if (system_under_test() == System::kWindows) {
    GTEST_SKIP() << "signals are POSIX";
  }
  // Under an emulator a host signal reaches a program of several threads through the emulator's
  // own handling of it, which twice ended the process under load without the program's handler;
  // the same code runs this test natively.
  if (const std::vector<std::string> launcher = NEST_TEST_LAUNCHER; !launcher.empty()) {
    GTEST_SKIP() << "a signal to a threaded program under an emulator";
  }
  TempDir dir;
  std::string big;
  for (int line = 0; line < 1000000; ++line) {
    big += "{ x = 1; }\n";
  }
  RunOptions options;
  options.arguments = {"-j", "4", "-o", "out"};
  for (int k = 0; k < 4; ++k) {
    const std::string name = "big" + std::to_string(k) + ".c";
    dir.write(name, big);
    options.arguments.push_back(name);
  }
  ::mkdir((dir / "out").c_str(), 0777);
  dir.write("out/big0.c.lst", "old listing");
  const std::string out = dir / "out";
  options.signal_when = [&] { return hidden_files(out).size() >= 2; };
  options.signal_number = SIGTERM;
  const Outcome outcome = run(CNEST_PATH, "", dir.path(), options);
  EXPECT_EQ(outcome.status, 128 + SIGTERM);
  EXPECT_EQ(hidden_files(out), std::vector<std::string>{});
  EXPECT_EQ(dir.read("out/big0.c.lst"), "old listing");
}

}  // namespace
}  // namespace nest::testing
