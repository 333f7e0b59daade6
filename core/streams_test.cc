#include "core/streams.h"

#include <gtest/gtest.h>

#include <string>

#include "core/text.h"
#include "core/platform.h"
#include "core/test_support.h"

namespace nest {
namespace {

// A directory of its own for each test, removed afterwards.
class FileStreamsTest : public ::testing::Test {
 protected:
  std::string path() const { return dir_ / "out"; }
  std::string contents() const { return dir_.read("out"); }

  testing::TempDir dir_;
};

// Every way of writing, over many buffers, the large writes that bypass the buffer included:
// the file must hold exactly the same bytes as a sink in memory.
void write_everything(Sink& sink) {
  for (int k = 0; k < 40'000; ++k) {
    const std::string line = "line " + std::to_string(k);
    switch (k % 5) {
      case 0:
        sink.record(line);
        break;
      case 1:
        sink.blanks(static_cast<std::size_t>(k % 97));
        sink.put('|');
        break;
      case 2: {
        char* cells = sink.room(line.size());
        line.copy(cells, line.size());
        sink.commit(line.size());
        break;
      }
      case 3:
        sink.write(line);
        break;
      default:
        if (k % 1000 == 4) {
          sink.write(std::string(Sink::kRoom + static_cast<std::size_t>(k), 'x'));
        }
        break;
    }
  }
}

TEST_F(FileStreamsTest, WritesTheSameBytesInTheSameOrder) {
  std::string expected;
  Sink memory(&expected);
  write_everything(memory);
  memory.flush();
  ASSERT_GT(expected.size(), 20 * Sink::kRoom);

  int fd = -1;
  ASSERT_EQ(platform::open_for_writing(path(), fd), 0);
  {
    Sink file(fd, "out");
    write_everything(file);
    file.flush();
  }
  ASSERT_EQ(platform::close(fd), 0);
  EXPECT_TRUE(contents() == expected);  // not EXPECT_EQ: a failure would print megabytes
  EXPECT_EQ(contents().size(), expected.size());
}

TEST_F(FileStreamsTest, AFailedWriteIsReportedOnceAndNothingMoreIsWritten) {
  // A device that stands for a full disk, where the system has one.
  int fd = -1;
  if (platform::open_for_writing("/dev/full", fd) != 0) {
    GTEST_SKIP() << "no /dev/full";
  }
  Sink full(fd, "/dev/full");
  std::string failure;
  try {
    for (int k = 0; k < 100 && failure.empty(); ++k) {
      full.write(std::string(Sink::kRoom / 3, 'x'));
    }
    full.flush();
  } catch (const Fatal& e) {
    failure = e.what();
  }
  EXPECT_EQ(failure, "cannot write '/dev/full': No space left on device");
  platform::close(fd);
}

// Lines of every length, ended by LF, CR LF and lone CRs, with line ends (a CR LF split among
// them) falling on the edges of the buffers read: every line read from the file must be the line
// read from memory, where there are no such edges.
TEST_F(FileStreamsTest, LinesAcrossTheEdgesOfTheBuffersRead) {
  std::string bytes;
  for (int k = 0; bytes.size() < 3 * (1U << 20); ++k) {
    bytes += std::string(static_cast<std::size_t>(k * 7919 % (k % 4 == 0 ? 6000 : 40)),
                         static_cast<char>('a' + k % 26));
    bytes += k % 3 == 0 ? "\r\n" : k % 3 == 1 ? "\n" : "\r";
  }
  bytes += "last line without an end";
  dir_.write("out", bytes);

  int fd = -1;
  ASSERT_EQ(platform::open_for_reading(path(), fd), 0);
  ASSERT_GE(fd, 0);
  ByteSource file(fd, "out");
  ByteSource memory(bytes);
  std::string_view from_file;
  std::string_view from_memory;
  bool plain = false;
  for (int line = 0;; ++line) {
    const bool got = memory.read_line(from_memory, kTextWidth);
    ASSERT_EQ(file.read_line(from_file, kTextWidth, plain), got) << line;
    if (!got) {
      break;
    }
    ASSERT_EQ(from_file, from_memory) << line;
  }
  platform::close(fd);
}

TEST(ReadLineTest, TellsWhetherALineIsPlain) {
  const struct {
    std::string bytes;
    bool plain;
  } cases[] = {
      {"int x;\n", true},
      {"\n", true},
      {"~\x7f\r\n", true},
      {std::string(100, 'x') + "\r", true},
      {"a\tb\n", false},
      {"\fa\n", false},
      {"caf\xc3\xa9\n", false},
      {"a\0b\n", false},
      {std::string(100, 'x') + "\t\n", false},
  };
  for (const auto& c : cases) {
    // Padded, so that the line ends well inside the buffer.
    ByteSource source(c.bytes + std::string(64, '.'));
    std::string_view line;
    bool plain = !c.plain;
    ASSERT_TRUE(source.read_line(line, kTextWidth, plain));
    EXPECT_EQ(plain, c.plain) << c.bytes;
  }
}

// A line cut at its cap tells whether what was thrown away held text: a byte from 33 to 127.
// Each line is read right after the cut, after a run of 70000 blanks (thrown away over several
// reads of a file, and as one run in memory), and as the last line without a line end.
TEST_F(FileStreamsTest, TellsWhetherACutLineLostText) {
  constexpr std::size_t kCap = 10;
  const struct {
    std::string lost;
    bool text;
  } cases[] = {
      // Only what is never listed: blanks, controls and tabs, bytes from 128 on.
      {"", false},
      {"   ", false},
      {std::string("\t\x01\xc3\xa9\x9f\xff\0", 7), false},
      // Text, 127 and the end of a UTF-8 comment among it.
      {"  }", true},
      {"\x7f", true},
      {"!", true},
      {"\xc3\xa9*/", true},
  };
  for (const auto& c : cases) {
    for (const std::string& gap : {std::string(), std::string(70000, ' ')}) {
      for (const bool last : {false, true}) {
        const std::string bytes = "0123456789" + gap + c.lost + (last ? "" : "\nnext\n");
        dir_.write("out", bytes);
        int fd = -1;
  ASSERT_EQ(platform::open_for_reading(path(), fd), 0);
        ASSERT_GE(fd, 0);
        ByteSource file(fd, "out");
        ByteSource memory(bytes);
        for (ByteSource* source : {&file, &memory}) {
          std::string_view line;
          bool plain = false;
          ASSERT_TRUE(source->read_line(line, kCap, plain));
          EXPECT_EQ(line, "0123456789");
          EXPECT_EQ(source->lost_text(), c.text)
              << source->name() << ", " << gap.size() << " blanks, then " << c.lost;
        }
        platform::close(fd);
      }
    }
  }
}

// The short plain lines that are read inline are cut at a small cap too, and tell what that lost.
TEST(ReadLineTest, ShortLinesCutAtASmallCap) {
  ByteSource source(std::string("abcdef\nabc   \nabc\n"));
  std::string_view line;
  bool plain = false;
  for (const bool text : {true, false, false}) {
    ASSERT_TRUE(source.read_line(line, 3, plain));
    EXPECT_EQ(source.lost_text(), text) << line;
  }
}

TEST(QuotedTest, HidesEveryControlOfAOneLineDiagnostic) {
  EXPECT_EQ(quoted("x.c"), "'x.c'");
  EXPECT_EQ(quoted("\x1b]0;pwned\x07\x9bJ caf\xc3\xa9\x7f"), "'?]0;pwned??J caf\xc3\xa9?'");
  EXPECT_EQ(quoted("a\tb \xc4\x81 \xc2\x9bJ"), "'a\tb \xc4\x81 ?J'");
}

}  // namespace
}  // namespace nest
