#include "core/diagnostics.h"

#include <gtest/gtest.h>

#include "core/test_support.h"

namespace nest {
namespace {

using testing::Captured;

const Form kLine42 = {' ', ' ', ' ', '4', '2'};

TEST(DiagnosticsTest, WarningWithAListingFile) {
  Captured out(true);
  warn("Line over warning length", kLine42, out.streams(), "  x = 1");
  EXPECT_EQ(out.file(), " ***WARNING Line over warning length: Line    42:\r\n");
  EXPECT_EQ(out.console(),
            " ***WARNING Line over warning length: Line    42:\r\n"
            "   x = 1\r\n"
            " \a\r\n");
}

TEST(DiagnosticsTest, ErrorWithTheListingOnTheScreen) {
  Captured out(false);
  errr("Too many mainlines", kLine42, out.streams(), "x = 1");
  EXPECT_EQ(out.console(), " ***ERROR Too many mainlines: Line    42:\r\n \a\r\n");
}

TEST(DiagnosticsTest, AllBlankLineAndAsteriskForm) {
  Captured out(true);
  errr("Invalid diagramming index", {'*', '*', '*', '*', '*'}, out.streams(), "");
  EXPECT_EQ(out.file(), " ***ERROR Invalid diagramming index: Line *****:\r\n");
  EXPECT_EQ(out.console(),
            " ***ERROR Invalid diagramming index: Line *****:\r\n  \r\n \a\r\n");
}

TEST(DiagnosticsTest, FormKeepsAGlyphTheRendererPutThere) {
  Captured out(true);
  errr("Nest levels left hanging at end", {'\xB3', ' ', ' ', '4', '2'}, out.streams(), "end");
  EXPECT_EQ(out.file(), " ***ERROR Nest levels left hanging at end: Line \xB3  42:\r\n");
}

TEST(DiagnosticsTest, SameMessageTwiceGivesTwoCompleteReports) {
  Captured out(false);
  warn("nested comment", kLine42, out.streams(), "a");
  warn("nested comment", kLine42, out.streams(), "a");
  EXPECT_EQ(out.console(),
            " ***WARNING nested comment: Line    42:\r\n \a\r\n"
            " ***WARNING nested comment: Line    42:\r\n \a\r\n");
}

}  // namespace
}  // namespace nest
