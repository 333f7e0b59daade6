#include "core/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nest {
namespace {

struct Mapped {
  const char* folder;
  const char* source;
  const char* separators;
  const char* listing;
  std::vector<std::string> folders;
};

TEST(ListingInFolderTest, EverySourcePathStaysInsideTheFolder) {
  const Mapped cases[] = {
      {"out", "a.c", "/", "out/a.c.lst", {"out"}},
      {"out/", "src/deep/a.c", "/", "out/src/deep/a.c.lst", {"out", "out/src", "out/src/deep"}},
      {"out", "/usr/src/a.c", "/", "out/usr/src/a.c.lst", {"out", "out/usr", "out/usr/src"}},
      {"out", "../../a.c", "/", "out/a.c.lst", {"out"}},
      {"out", "src/../../x/./a.c", "/", "out/x/a.c.lst", {"out", "out/x"}},
      {"out", "src//a.c", "/", "out/src/a.c.lst", {"out", "out/src"}},
      {"out", "-", "/", "out/-.lst", {"out"}},
      {"/tmp/b/out", "a.c", "/", "/tmp/b/out/a.c.lst", {"/tmp", "/tmp/b", "/tmp/b/out"}},
      {"/", "a.c", "/", "/a.c.lst", {"/"}},
      // A backslash is a name's byte on POSIX systems, a separator on Windows.
      {"out", "src\\a.c", "/", "out/src\\a.c.lst", {"out"}},
      {"out", "src\\a.c", "/\\", "out/src/a.c.lst", {"out", "out/src"}},
      {"out", "C:\\src\\..\\..\\a.c", "/\\", "out/C/a.c.lst", {"out", "out/C"}},
      {"D:\\lists", "C:a.c", "/\\", "D:\\lists/C/a.c.lst", {"D:\\lists", "D:\\lists/C"}},
  };
  for (const Mapped& c : cases) {
    std::vector<std::string> folders;
    EXPECT_EQ(listing_in_folder(c.folder, c.source, c.separators, folders), c.listing) << c.source;
    EXPECT_EQ(folders, c.folders) << c.source;
  }
}

}  // namespace
}  // namespace nest
