#include "core/program.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/platform.h"
#include "core/prompts.h"
#include "core/test_support.h"

namespace nest {
namespace {

// A pipe whose read end the test reads after the program has run.
class Pipe {
 public:
  Pipe() { EXPECT_TRUE(testing::make_pipe(fds_)); }
  ~Pipe() {
    for (int fd : fds_) {
      if (fd >= 0) {
        platform::close(fd);
      }
    }
  }
  int read_end() const { return fds_[0]; }
  int write_end() const { return fds_[1]; }
  void write(std::string_view bytes) { ASSERT_EQ(platform::write_all(fds_[1], bytes), 0); }
  void close_write() {
    platform::close(fds_[1]);
    fds_[1] = -1;
  }
  void close_read() {
    platform::close(fds_[0]);
    fds_[0] = -1;
  }
  std::string drain() {
    close_write();
    std::string out;
    char buffer[4096];
    std::size_t got = 0;
    while (platform::read(fds_[0], buffer, sizeof buffer, got) == 0 && got > 0) {
      out.append(buffer, got);
    }
    return out;
  }

 private:
  int fds_[2] = {-1, -1};
};

TEST(RunProgramTest, FatalInputEndsWithStatusTwoAndOneLineOnStandardError) {
  Pipe input, output, error;
  input.write("x.pro\n12abc\n");
  input.close_write();
  const int status = run_program(
      "idlnest",
      [](Sink& console, ByteSource& in) {
        ard("IDL source file Name", console, in);
        ird("Use IBM PC graphics characters (0=no)", 0, console, in);
        FAIL() << "the malformed number was accepted";
      },
      input.read_end(), output.write_end(), error.write_end());
  EXPECT_EQ(status, 2);
  EXPECT_EQ(output.drain(),
            " IDL source file Name:\r\n x.pro\r\n Use IBM PC graphics characters (0=no):\r\n");
  EXPECT_EQ(error.drain(),
            "idlnest: standard input: malformed number '12a' at the question 'Use IBM PC "
            "graphics characters (0=no)'\n");
}

TEST(RunProgramTest, CompleteRunEndsWithStatusZeroAndEverythingWritten) {
  Pipe input, output, error;
  input.write("5\n");
  input.close_write();
  const int status = run_program(
      "cnest", [](Sink& console, ByteSource& in) { ird("N", 0, console, in); },
      input.read_end(), output.write_end(), error.write_end());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(output.drain(), " N:\r\n           5\r\n");
  EXPECT_EQ(error.drain(), "");
}

TEST(RunProgramTest, ClosedOutputIsAFailureNotASignal) {
  Pipe input, output, error;
  input.close_write();
  output.close_read();  // the reader has gone
  const int status = run_program(
      "cnest", [](Sink& console, ByteSource&) { console.record("listing"); },
      input.read_end(), output.write_end(), error.write_end());
  EXPECT_EQ(status, 2);
  EXPECT_EQ(error.drain(), "cnest: cannot write 'standard output': Broken pipe\n");
}

}  // namespace
}  // namespace nest
