#include "core/diagram.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "core/diagnostics.h"
#include "core/test_support.h"

namespace nest {
namespace {

using testing::Captured;

const std::string kRuler =
    "....,....1....,....2....,....3....,....4....,....5....,....6....,....7....,....8";
const std::string kIdlRuler = std::string(13, ' ') + kRuler + "\r\n\r\n";

// Leaves every line at level 0; at the end reports the last line it was given, if asked to.
class LevelZero : public BlockScanner {
 public:
  explicit LevelZero(bool report_at_end = false) : report_at_end_(report_at_end) {}
  void scan(PaddedView, const Form&, LineState& state, Streams&) override {
    state.primary.toplev = state.primary.oldlev;
    state.primary.newlev = state.primary.oldlev;
    state.primary.nmark = 0;
    state.hascode = true;
  }
  void finish(std::string_view b, const Form& form, const LineState&, Streams& streams) override {
    if (report_at_end_) {
      errr("Nest levels left hanging at end", form, streams, b);
    }
  }

 private:
  bool report_at_end_;
};

Frame idl_frame(int numcol = 0) {
  Frame frame;
  frame.ruler_indent = 13;
  frame.maxlen = 160;
  frame.render.numcol = numcol;
  return frame;
}

TEST(ListSourceTest, EmptySourceToAFile) {
  Captured out(true);
  ByteSource source("");
  LevelZero scanner;
  list_source(source, "demo.pro", idl_frame(), scanner, out.streams());
  EXPECT_EQ(out.file(), " \f=============--demo.pro--=============\r\n" + kIdlRuler);
  EXPECT_EQ(out.console(), "");
}

TEST(ListSourceTest, ScreenHasNoPageHeader) {
  Captured out(false);
  ByteSource source("x = 1\n");
  LevelZero scanner;
  list_source(source, "demo.pro", idl_frame(), scanner, out.streams());
  EXPECT_EQ(out.console(), kIdlRuler + "             x = 1\r\n");
}

TEST(ListSourceTest, HeaderNameWithoutTrailingBlanks) {
  Captured out(true);
  ByteSource source("");
  LevelZero scanner;
  list_source(source, "  my demo.pro     ", idl_frame(), scanner, out.streams());
  const std::string header = " \f=============--  my demo.pro--=============\r\n";
  EXPECT_EQ(out.file().substr(0, header.size()), header);
}

// A listing file is shown on a terminal later: a control byte of the name in its header must
// not act there. The form feed before the name is the header's own.
TEST(ListSourceTest, HeaderShowsControlBytesOfTheNameAsQuestionMarks) {
  Captured out(true);
  ByteSource source("");
  LevelZero scanner;
  list_source(source, "\x1b]0;pwned\x07\x1b[2J\tcaf\xc3\xa9\x7f\xc2\x9b.pro  ", idl_frame(),
              scanner, out.streams());
  EXPECT_EQ(out.file(),
            " \f=============--?]0;pwned??[2J\tcaf\xc3\xa9??.pro--=============\r\n" + kIdlRuler);
}

TEST(ListSourceTest, RulerIndentOfTheCProgram) {
  Captured out(false);
  ByteSource source("");
  LevelZero scanner;
  Frame frame = idl_frame();
  frame.ruler_indent = 11;
  list_source(source, "x.c", frame, scanner, out.streams());
  EXPECT_EQ(out.console(), std::string(11, ' ') + kRuler + "\r\n\r\n");
}

TEST(ListSourceTest, LongLinesListedInFullAndNumbered) {
  Captured out(true);
  const std::string long_line = std::string(120, 'q');
  ByteSource source("a\n\n" + long_line + "\n");
  LevelZero scanner;
  list_source(source, "x", idl_frame(80), scanner, out.streams());
  const std::string file = out.file();
  const std::string body = file.substr(file.find(kIdlRuler) + kIdlRuler.size());
  EXPECT_EQ(body, "             a" + std::string(78, ' ') + "|   1\r\n" + std::string(92, ' ') +
                      "|   2\r\n"
                      "             " +
                      long_line + "\r\n");
}

TEST(ListSourceTest, EndOfFileReportQuotesTheLastLineAsDelivered) {
  Captured out(true);
  ByteSource source("first\n\tlast\x01\n");
  LevelZero scanner(true);
  list_source(source, "x", idl_frame(30), scanner, out.streams());
  const std::string file = out.file();
  const std::string report = " ***ERROR Nest levels left hanging at end: Line |   2:\r\n";
  EXPECT_EQ(file.substr(file.size() - report.size()), report);
  const std::string console = out.console();
  EXPECT_EQ(console,
            " ***ERROR Nest levels left hanging at end: Line |   2:\r\n"
            "         last\r\n \a\r\n");
}

// A directory of its own for each test, removed afterwards.
class DiagramTest : public ::testing::Test {
 protected:
  std::string path(std::string_view name) const { return dir_ / name; }
  void write_file(std::string_view name, std::string_view bytes) const { dir_.write(name, bytes); }
  std::string read_file(std::string_view name) const { return dir_.read(name); }
  // Runs the frame; returns the failure text, or "" when the run completed.
  std::string run(const std::string& filnam, const std::string& filnam2) {
    LevelZero scanner;
    Sink console(&console_);
    try {
      diagram(filnam, filnam2, idl_frame(), scanner, console);
      console.flush();
      return "";
    } catch (const Fatal& failure) {
      console.flush();
      return failure.what();
    }
  }

  testing::TempDir dir_;
  std::string console_;
};

TEST_F(DiagramTest, ListsToANewFileAndReplacesAnOldOne) {
  write_file("a.pro", "x\n");
  EXPECT_EQ(run(path("a.pro") + "   ", path("a.lst") + "   "), "");
  const std::string listing = " \f=============--" + path("a.pro") + "--=============\r\n" +
                              kIdlRuler + "             x\r\n";
  EXPECT_EQ(read_file("a.lst"), listing);

  write_file("b.lst", std::string(100000, 'o'));
  EXPECT_EQ(run(path("a.pro"), path("b.lst")), "");
  EXPECT_EQ(read_file("b.lst"), listing);
  EXPECT_EQ(console_, "");
}

TEST_F(DiagramTest, BlankOrTabFirstOutputNameMeansTheScreen) {
  write_file("a.pro", "x\n");
  for (const std::string& filnam2 : {std::string(""), std::string("    "), std::string("\tout")}) {
    console_.clear();
    EXPECT_EQ(run(path("a.pro"), filnam2), "");
    EXPECT_EQ(console_, kIdlRuler + "             x\r\n");
  }
}

TEST_F(DiagramTest, FailuresOfTheEnvironment) {
  write_file("a.pro", "x\n");
  ASSERT_TRUE(std::filesystem::create_directory(path("folder")));
  const struct {
    const char* name;
    std::string filnam, filnam2;
    std::string failure;
  } cases[] = {
      {"missing source", path("none.pro"), path("o.lst"),
       "cannot open '" + path("none.pro") + "': No such file or directory"},
      {"directory as source", path("folder"), "",
       "cannot open '" + path("folder") + "': Is a directory"},
      {"blank source name", "    ", "", "cannot open '': No such file or directory"},
      {"output in a missing folder", path("a.pro"), path("nowhere/o.lst"),
       "cannot create '" + path("nowhere/o.lst") + "': No such file or directory"},
      {"output is a directory", path("a.pro"), path("folder"),
       "cannot create '" + path("folder") + "': Is a directory"},
      {"name with a NUL byte", std::string(path("a.pro")) + std::string(1, '\0') + "x", "",
       "cannot open '" + path("a.pro") + "?x': Invalid argument"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run(c.filnam, c.filnam2), c.failure) << c.name;
  }
  // The source was opened first: no output was created for a missing source.
  EXPECT_FALSE(dir_.exists("o.lst"));
  // A full disk, where the system has a device that stands for one.
  if (std::filesystem::exists("/dev/full")) {
    EXPECT_EQ(run(path("a.pro"), "/dev/full"),
              "cannot write '/dev/full': No space left on device");
  }
}

TEST_F(DiagramTest, RefusesToListOverItsOwnSource) {
  const std::string source = "pro demo\nend\n";
  write_file("a.pro", source);
  std::vector<std::string> outputs = {"a.pro", "./a.pro", "hard.pro", "link.pro"};
  std::filesystem::create_hard_link(path("a.pro"), path("hard.pro"));
  // A symbolic link, where the system lets this process make one.
  std::error_code no_link;
  std::filesystem::create_symlink(path("a.pro"), path("link.pro"), no_link);
  if (no_link) {
    outputs.pop_back();
  }
  for (const std::string& output : outputs) {
    EXPECT_EQ(run(path("a.pro"), path(output)),
              "cannot create '" + path(output) + "': it is the source file")
        << output;
    EXPECT_EQ(read_file("a.pro"), source) << output;
  }
}

}  // namespace
}  // namespace nest
