#include "core/output_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "core/test_support.h"

namespace nest {
namespace {

namespace fs = std::filesystem;

// A folder of its own for each test, and a console that writes into memory.
class OutputTest : public ::testing::Test {
 protected:
  std::string path(std::string_view name) const { return dir_ / name; }

  // The names in the folder, sorted.
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir_.path())) {
      out.push_back(entry.path().filename().string());
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  // The failure text of opening the output `name` of a listing of `sources`, or "".
  std::string refusal(const std::string& name, std::span<const platform::FileInfo> sources) {
    try {
      Output output(name, sources, console_);
      return "";
    } catch (const Fatal& failure) {
      return failure.what();
    }
  }

  platform::FileInfo info_of(std::string_view name) const {
    platform::FileInfo info;
    EXPECT_EQ(platform::describe_path(path(name), info), 0) << name;
    return info;
  }

  testing::TempDir dir_;
  std::string console_bytes_;
  Sink console_{&console_bytes_};
};

TEST_F(OutputTest, ANewListingIsHiddenUntilItIsFinished) {
  for (const bool old : {false, true}) {
    if (old) {
      dir_.write("o.lst", "old");
    }
    Output output(path("o.lst"), {}, console_);
    ASSERT_TRUE(output.regular());
    ASSERT_FALSE(output.through_console());
    // Beside the old listing (if any), one hidden file named after it.
    const std::vector<std::string> during = names();
    ASSERT_EQ(during.size(), old ? 2u : 1u);
    EXPECT_TRUE(during.front().starts_with(".o.lst.")) << during.front();
    EXPECT_EQ(during.front().size(), std::string(".o.lst.123456").size());
    EXPECT_EQ(dir_.exists("o.lst") ? dir_.read("o.lst") : "none", old ? "old" : "none");

    Sink listing(output.fd(), "o.lst");
    listing.write("new listing\r\n");
    output.finish(listing, console_);
    EXPECT_EQ(names(), std::vector<std::string>{"o.lst"});
    EXPECT_EQ(dir_.read("o.lst"), "new listing\r\n");
  }
}

// A run that fails before finish, or in it: the folder is as it was.
TEST_F(OutputTest, AFailedRunReplacesNothingAndLeavesNothing) {
  dir_.write("s", "source");
  const struct {
    const char* name;
    bool old;            // an old listing is there
    bool console_fails;  // the last of the console cannot be written
  } cases[] = {{"new, never finished", false, false},
               {"old, never finished", true, false},
               {"new, the console fails at the end", false, true},
               {"old, the console fails at the end", true, true}};
  for (const auto& c : cases) {
    fs::remove(path("o.lst"));
    if (c.old) {
      dir_.write("o.lst", "old");
    }
    const std::vector<std::string> before = names();
    {
      // A console that cannot be written: its descriptor is open for reading only.
      int read_only = -1;
      ASSERT_EQ(platform::open_for_reading(path("s"), read_only), 0);
      const UniqueFd closed_later(read_only);
      Sink console(read_only, "standard output");
      Output output(path("o.lst"), {}, console_);
      Sink listing(output.fd(), "o.lst");
      listing.write(std::string(100000, 'n'));
      console.write("the last echo");
      if (c.console_fails) {
        EXPECT_THROW(output.finish(listing, console), Fatal) << c.name;
      } else {
        listing.flush();
      }
    }
    EXPECT_EQ(names(), before) << c.name;
    EXPECT_EQ(dir_.exists("o.lst") ? dir_.read("o.lst") : "none", c.old ? "old" : "none") << c.name;
  }
}

TEST_F(OutputTest, RefusesTheSourcesAndBadNames) {
  dir_.write("a.pro", "x\n");
  dir_.write("b.pro", "y\n");
  fs::create_hard_link(path("a.pro"), path("hard.pro"));
  const platform::FileInfo sources[] = {info_of("a.pro"), info_of("b.pro")};
  const std::vector<std::string> before = names();
  for (const char* name : {"a.pro", "b.pro", "hard.pro"}) {
    EXPECT_EQ(refusal(path(name), sources),
              "cannot create '" + path(name) + "': it is the source file")
        << name;
  }
  std::error_code no_link;
  fs::create_symlink(path("b.pro"), path("link.pro"), no_link);
  if (!no_link) {
    EXPECT_EQ(refusal(path("link.pro"), sources),
              "cannot create '" + path("link.pro") + "': it is the source file");
    fs::remove(path("link.pro"));
  }
  EXPECT_EQ(refusal(path("o.lst") + std::string(1, '\0') + "x", sources),
            "cannot create '" + path("o.lst") + "?x': Invalid argument");
  EXPECT_EQ(refusal(path("missing/o.lst"), sources),
            "cannot create '" + path("missing/o.lst") + "': No such file or directory");
  EXPECT_EQ(names(), before);
  EXPECT_EQ(dir_.read("a.pro"), "x\n");
}

#if !defined(_WIN32)
TEST_F(OutputTest, AReplacedListingIsNeverReadableByMoreThanBefore) {
  dir_.write("o.lst", "old");
  fs::permissions(path("o.lst"), fs::perms(0600));
  Output output(path("o.lst"), {}, console_);
  // Before the first byte, the new file has the old one's bits.
  for (const std::string& name : names()) {
    EXPECT_EQ(info_of(name).permissions, 0600u) << name;
  }
  Sink listing(output.fd(), "o.lst");
  listing.write("private\r\n");
  output.finish(listing, console_);
  EXPECT_EQ(info_of("o.lst").permissions, 0600u);
}

TEST_F(OutputTest, ADeviceIsWrittenInPlaceAndStandardOutputsFileThroughIt) {
  Output device("/dev/null", {}, console_);
  EXPECT_FALSE(device.regular());
  EXPECT_FALSE(device.through_console());
  EXPECT_GE(device.fd(), 0);

  dir_.write("log", "earlier\n");
  int fd = -1;
  ASSERT_EQ(platform::open_existing_for_writing(path("log"), fd), 0);
  const UniqueFd log(fd);
  Sink console(fd, "standard output");
  const Output shared(path("log"), {}, console);
  EXPECT_TRUE(shared.through_console());
  EXPECT_EQ(names(), std::vector<std::string>{"log"});
  EXPECT_EQ(dir_.read("log"), "earlier\n");
}

// The hidden name is cut to fit, so that a listing of the longest name the folder takes is still
// written beside the old one, never over it.
TEST_F(OutputTest, TheLongestNameStillGetsANewFile) {
  const std::string longest(255, 'n');
  dir_.write(longest, "old");
  Output output(path(longest), {}, console_);
  const std::vector<std::string> during = names();
  ASSERT_EQ(during.size(), 2u);
  EXPECT_EQ(during.front().size(), 255u);
  EXPECT_EQ(dir_.read(longest), "old");
  Sink listing(output.fd(), longest);
  listing.write("new");
  output.finish(listing, console_);
  EXPECT_EQ(names(), std::vector<std::string>{longest});
  EXPECT_EQ(dir_.read(longest), "new");
}
#endif

}  // namespace
}  // namespace nest
