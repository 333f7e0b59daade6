#include "core/line_feed.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/platform.h"
#include "core/reader.h"
#include "core/test_support.h"

namespace nest {
namespace {

using testing::Captured;

constexpr int kMaxlen = 60;

// Both streams after each line read in turn by irdlin, with the line and a mark written after
// it; then the line the caller holds at the end.
struct Lines {
  std::string file;
  std::string console;
  std::string last;
};

Lines read_in_turn(const std::string& source) {
  Captured out(true);
  ByteSource input(source);
  LineBuffer buffers[2];
  int current = 0;
  Form form;
  form.fill(' ');
  std::int64_t linecount = 0;
  while (!irdlin(input, out.streams(), kMaxlen, buffers[current], linecount, form)) {
    out.streams().listing.write(view(form));
    out.streams().listing.record(buffers[current].view());
    out.streams().console.write("|");
    current ^= 1;
  }
  return {out.file(), out.console(), std::string(buffers[current ^ 1].view())};
}

Lines read_ahead(const std::string& source, const ReadAhead& sizes = {}) {
  Captured out(true);
  ByteSource input(source);
  Lines lines;
  {
    LineFeed feed(input, kMaxlen, true, sizes);
    std::string_view line;
    std::string_view last;
    Form form;
    while (feed.next(line, form, out.streams())) {
      out.streams().listing.write(view(form));
      out.streams().listing.record(line);
      out.streams().console.write("|");
      last = line;
    }
    lines.last = last;  // still valid after the end
  }
  lines.file = out.file();
  lines.console = out.console();
  return lines;
}

std::string repeated(const std::string& line, int times) {
  std::string out;
  for (int k = 0; k < times; ++k) {
    out += line;
  }
  return out;
}

TEST(LineFeedTest, GivesTheLinesAndTheirOutputAsIrdlinInTurn) {
  const std::string long_line = std::string(70, 'w') + "\n";   // a warning
  const std::string too_long = std::string(4995, 'x') + "\n";  // two warnings
  const struct {
    const char* name;
    std::string source;
  } cases[] = {
      {"empty", ""},
      {"no line end", "only"},
      {"line ends of every kind", "a\r\nb\rc\n\n\r\rd"},
      {"page breaks, tabs and control bytes", "\fx\n\t\x01y\x7f\n\f\n"},
      {"warnings", "a\n" + long_line + "b\n" + too_long + "c"},
      // Batches end at a number of lines, at a size of text and at a size of held output; the
      // last line falls on each side of such an end.
      {"many short lines", repeated("line\n", 4096 * 2)},
      {"many short lines and one", repeated("line\n", 4096 * 2 + 1)},
      {"lines filling the text of batches", repeated(std::string(4900, 'q') + "\n", 130)},
      {"lines with warnings filling the held output", repeated(long_line, 1500)},
      {"warnings and plain lines in turn", repeated("a\n" + long_line + "\n", 3000)},
  };
  // The ring of a listing, and the least one that works: two batches of one line each.
  const ReadAhead least{.batches = 0, .lines = 0, .text = 0, .held = 0};
  for (const auto& c : cases) {
    const Lines in_turn = read_in_turn(c.source);
    for (const ReadAhead& sizes : {ReadAhead{}, least}) {
      const Lines ahead = read_ahead(c.source, sizes);
      EXPECT_EQ(ahead.file, in_turn.file) << c.name << ", " << sizes.lines << " lines";
      EXPECT_EQ(ahead.console, in_turn.console) << c.name << ", " << sizes.lines << " lines";
      EXPECT_EQ(ahead.last, in_turn.last) << c.name << ", " << sizes.lines << " lines";
    }
  }
}

#if !defined(_WIN32)
// A source whose reading fails after some lines: a page of lines read through /proc/self/mem.
// The page is the first of two mapped from a file one page long, so reading on into the second,
// which lies past the end of the file, fails.
class FailingSource {
 public:
  FailingSource(const testing::TempDir& dir, std::string_view lines) {
    size_ = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::string path = dir / "page";
    const int file = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (file < 0) {
      return;
    }
    void* pages = ::ftruncate(file, static_cast<off_t>(size_)) == 0
                      ? ::mmap(nullptr, 2 * size_, PROT_READ | PROT_WRITE, MAP_PRIVATE, file, 0)
                      : MAP_FAILED;
    ::close(file);
    if (pages == MAP_FAILED) {
      return;
    }
    page_ = static_cast<char*>(pages);
    std::memset(page_, '\n', size_);
    std::memcpy(page_, lines.data(), std::min(lines.size(), size_));
  }
  FailingSource(const FailingSource&) = delete;
  FailingSource& operator=(const FailingSource&) = delete;
  ~FailingSource() {
    if (page_ != nullptr) {
      ::munmap(page_, 2 * size_);
    }
  }

  // A descriptor that reads the page, then fails; -1 when none can be had.
  int open() const {
    if (page_ == nullptr) {
      return -1;
    }
    const int fd = ::open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
    if (fd >= 0 &&
        ::lseek(fd, static_cast<off_t>(reinterpret_cast<std::uintptr_t>(page_)), SEEK_SET) < 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }

 private:
  std::size_t size_ = 0;
  char* page_ = nullptr;
};

// Both streams and the failure of reading in turn and reading ahead.
struct Failed {
  std::string file;
  std::string console;
  std::string failure;
};

TEST(LineFeedTest, AReadFailureIsThrownAfterTheLinesReadBeforeIt) {
  std::string lines;
  for (int k = 0; k < 40; ++k) {
    lines += k % 3 == 0 ? std::string(70, 'w') + "\n" : "line " + std::to_string(k) + "\n";
  }
  testing::TempDir dir;
  FailingSource page(dir, lines);
  const int fd_in_turn = page.open();
  const int fd_ahead = page.open();
  if (fd_in_turn < 0 || fd_ahead < 0) {
    GTEST_SKIP() << "no /proc/self/mem to read from";
  }
  Failed in_turn;
  {
    Captured out(true);
    ByteSource source(fd_in_turn, "mem");
    LineBuffer line;
    Form form;
    form.fill(' ');
    std::int64_t linecount = 0;
    try {
      while (!irdlin(source, out.streams(), kMaxlen, line, linecount, form)) {
        out.streams().listing.record(line.view());
      }
    } catch (const Fatal& failure) {
      in_turn.failure = failure.what();
    }
    in_turn.file = out.file();
    in_turn.console = out.console();
  }
  Failed ahead;
  {
    Captured out(true);
    ByteSource source(fd_ahead, "mem");
    LineFeed feed(source, kMaxlen, true);
    std::string_view line;
    Form form;
    try {
      while (feed.next(line, form, out.streams())) {
        out.streams().listing.record(line);
      }
    } catch (const Fatal& failure) {
      ahead.failure = failure.what();
    }
    ahead.file = out.file();
    ahead.console = out.console();
  }
  ::close(fd_in_turn);
  ::close(fd_ahead);
  EXPECT_EQ(in_turn.failure, "cannot read 'mem': Input/output error");
  EXPECT_EQ(ahead.failure, in_turn.failure);
  EXPECT_EQ(ahead.file, in_turn.file);
  EXPECT_EQ(ahead.console, in_turn.console);
  EXPECT_NE(ahead.console.find("Line over warning length"), std::string::npos);
}

#endif

TEST(LineFeedTest, AFailureToReadAtAllIsThrownAtOnce) {
  testing::TempDir dir;
  int fd = -1;
  ASSERT_EQ(platform::open_for_writing(dir / "written", fd), 0);  // not open for reading
  ByteSource source(fd, "written");
  Captured out(true);
  {
    LineFeed feed(source, kMaxlen, true);
    std::string_view line;
    Form form;
    try {
      feed.next(line, form, out.streams());
      ADD_FAILURE() << "no failure";
    } catch (const Fatal& failure) {
      EXPECT_STREQ(failure.what(), "cannot read 'written': Bad file descriptor");
    }
  }
  platform::close(fd);
}

TEST(LineFeedTest, StopsWhenTheListingStopsEarly) {
  // The reader is batches ahead when the feed goes: it must stop and be waited for.
  const std::string source = repeated("some line\n", 100000);
  Captured out(true);
  ByteSource input(source);
  LineFeed feed(input, kMaxlen, true);
  std::string_view line;
  Form form;
  ASSERT_TRUE(feed.next(line, form, out.streams()));
  EXPECT_EQ(line, "some line");
}

}  // namespace
}  // namespace nest
