#include "core/platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/test_support.h"

namespace nest::platform {
namespace {

namespace fs = std::filesystem;

TEST(SameFileTest, DeviceAndIndexBothCount) {
  const auto file = [](std::uint64_t device, std::uint64_t index, bool known = true) {
    FileInfo info;
    info.identified = true;
    info.device = device;
    info.index = index;
    info.device_known = known;
    return info;
  };
  const struct {
    const char* name;
    FileInfo a, b;
    bool same;
  } cases[] = {
      {"same device and index", file(1, 7), file(1, 7), true},
      {"another index", file(1, 7), file(1, 8), false},
      {"another device", file(1, 7), file(2, 7), false},
      {"one device unknown", file(0, 7, false), file(2, 7), true},
      {"unknown device, another index", file(0, 7, false), file(2, 8), false},
      {"not identified", FileInfo{}, FileInfo{}, false},
      {"one not identified", file(0, 0), FileInfo{}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(same_file(c.a, c.b), c.same) << c.name;
    EXPECT_EQ(same_file(c.b, c.a), c.same) << c.name;
  }
}

TEST(TemporaryNameTest, HiddenBesideTheTargetAndCutToFit) {
  const std::string n250(250, 'n');
  const std::string e_acute = "\xc3\xa9";
  const struct {
    const char* name;
    std::string target, separators;
    std::size_t name_max, path_max;
    std::string expected;
  } cases[] = {
      {"plain", "o.lst", "/", 255, 4095, ".o.lst.0abcde"},
      {"in a folder", "d/e/o.lst", "/", 255, 4095, "d/e/.o.lst.0abcde"},
      {"Windows folder", "d\\e/f\\o.lst", "/\\", 255, 4095, "d\\e/f\\.o.lst.0abcde"},
      {"longest name", "d/" + n250, "/", 255, 4095, "d/." + n250.substr(0, 247) + ".0abcde"},
      {"a short limit", "d/o.lst", "/", 10, 4095, "d/.o..0abcde"},
      {"cut before a UTF-8 character", "d/o" + e_acute + "x", "/", 10, 4095, "d/.o.0abcde"},
      {"whole path limit", "dd/o.lst", "/", 255, 14, "dd/.o.l.0abcde"},
      {"no room at all", "d/o.lst", "/", 7, 4095, ""},
      {"no room in the path", "ddddd/o.lst", "/", 255, 12, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(temporary_name(c.target, c.separators, 0xF0ABCDEU, c.name_max, c.path_max),
              c.expected)
        << c.name;
  }
}

// A folder of its own for each test.
class PlatformFileTest : public ::testing::Test {
 protected:
  std::string path(std::string_view name) const { return dir_ / name; }
  FileInfo info_of(std::string_view name) const {
    FileInfo info;
    EXPECT_EQ(describe_path(path(name), info), 0) << name;
    return info;
  }
  std::size_t entries() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator{}));
  }

  testing::TempDir dir_;
};

TEST_F(PlatformFileTest, AFileIsKnownByItsIdentityNotItsName) {
  dir_.write("a", "x");
  dir_.write("b", "x");
  fs::create_hard_link(path("a"), path("hard"));
  EXPECT_TRUE(same_file(info_of("a"), info_of("hard")));
  EXPECT_FALSE(same_file(info_of("a"), info_of("b")));
  EXPECT_TRUE(info_of("a").regular);
  EXPECT_FALSE(info_of("a").directory);

  int fd = -1;
  ASSERT_EQ(open_for_reading(path("a"), fd), 0);
  FileInfo opened;
  EXPECT_EQ(describe(fd, opened), 0);
  EXPECT_EQ(close(fd), 0);
  EXPECT_TRUE(same_file(opened, info_of("hard")));

  FileInfo none;
  EXPECT_EQ(describe_path(path("none"), none), ENOENT);
  EXPECT_EQ(open_for_reading(path("none"), fd), ENOENT);
  EXPECT_EQ(error_text(ENOENT), "No such file or directory");
  fs::create_directory(path("folder"));
  EXPECT_TRUE(info_of("folder").directory);
}

TEST_F(PlatformFileTest, ATemporaryFileTakesThePlaceOfTheTargetOrGoes) {
  dir_.write("o.lst", "old");
  for (const bool kept : {true, false}) {
    const FileInfo old = info_of("o.lst");
    int fd = -1;
    std::string name;
    ASSERT_EQ(create_temporary(path("o.lst"), &old, fd, name), 0);
    EXPECT_TRUE(name.starts_with(path(".o.lst."))) << name;
    EXPECT_EQ(entries(), 2u);
    EXPECT_EQ(write_all(fd, "new"), 0);
    EXPECT_EQ(close(fd), 0);
    if (kept) {
      EXPECT_EQ(replace_with_temporary(name, path("o.lst")), 0);
      EXPECT_EQ(dir_.read("o.lst"), "new");
    } else {
      discard_temporary(name);
      EXPECT_EQ(dir_.read("o.lst"), "new");  // as the first pass left it
    }
    EXPECT_EQ(entries(), 1u);
  }
}

TEST_F(PlatformFileTest, PermissionsOfANewFileAndOfAReplacedOne) {
  dir_.write("o.lst", "old");
#if defined(_WIN32)
  // What Windows tells is whether the file is read-only.
  EXPECT_EQ(info_of("o.lst").permissions, 0666u);
  fs::permissions(path("o.lst"), fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_EQ(info_of("o.lst").permissions, 0444u);
  fs::permissions(path("o.lst"), fs::perms::owner_write, fs::perm_options::add);
#else
  for (const unsigned bits : {0600U, 0640U, 0604U, 0444U}) {
    fs::permissions(path("o.lst"), fs::perms(bits));
    const FileInfo old = info_of("o.lst");
    ASSERT_EQ(old.permissions, bits);
    int fd = -1;
    std::string name;
    ASSERT_EQ(create_temporary(path("o.lst"), &old, fd, name), 0);
    // Before anything is written, and so before anyone else can open it for more.
    FileInfo made;
    EXPECT_EQ(describe(fd, made), 0);
    EXPECT_EQ(made.permissions, bits);
    EXPECT_EQ(made.owner, old.owner);
    EXPECT_EQ(made.group, old.group);
    EXPECT_EQ(close(fd), 0);
    discard_temporary(name);
  }
#endif
  EXPECT_EQ(entries(), 1u);
}

#if !defined(_WIN32)
TEST_F(PlatformFileTest, TheFinalNameIsWhereTheLinksLead) {
  dir_.write("real", "x");
  fs::create_directory(path("d"));
  fs::create_symlink("../real", path("d/up"));
  fs::create_symlink("d/up", path("first"));
  EXPECT_EQ(final_name(path("first")), path("d/../real"));
  EXPECT_EQ(final_name(path("real")), path("real"));
  EXPECT_EQ(final_name(path("dangling")), path("dangling"));
}
#endif

}  // namespace
}  // namespace nest::platform
