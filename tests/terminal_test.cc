// Both programs driven through a real pseudo-terminal, the way a person at a keyboard uses them:
// each question must be on the screen before the program waits for its answer, typed answers
// show as the terminal echoes them followed by the program's own echo, the listing follows on
// the same screen, and the end-of-file character at a question ends the run with status 2.
//
// Nothing here waits for a fixed time: every read waits for bytes with a generous deadline that
// only a failing program reaches.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "tests/process.h"

namespace nest::testing {
namespace {

constexpr auto kDeadline = std::chrono::seconds(60);

// What a terminal shows for bytes a program writes: its output processing turns every line feed
// into carriage return and line feed, so a record ended by CR LF arrives as CR CR LF.
std::string on_screen(std::string_view written) {
  std::string out;
  for (char c : written) {
    if (c == '\n') {
      out += '\r';
    }
    out += c;
  }
  return out;
}

// Settings of a terminal after `stty sane`: line editing, echo, CR typed as Enter read as LF,
// LF written as CR LF, Ctrl-D as the end-of-file character.
termios sane_terminal() {
  termios settings{};
  settings.c_iflag = ICRNL | IXON | BRKINT | IMAXBEL;
  settings.c_oflag = OPOST | ONLCR;
  settings.c_cflag = CS8 | CREAD | HUPCL;
  settings.c_lflag = ISIG | ICANON | IEXTEN | ECHO | ECHOE | ECHOK | ECHOCTL | ECHOKE;
  settings.c_cc[VINTR] = 3;
  settings.c_cc[VQUIT] = 28;
  settings.c_cc[VERASE] = 127;
  settings.c_cc[VKILL] = 21;
  settings.c_cc[VEOF] = 4;
  settings.c_cc[VSTART] = 17;
  settings.c_cc[VSTOP] = 19;
  settings.c_cc[VSUSP] = 26;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  cfsetispeed(&settings, B38400);
  cfsetospeed(&settings, B38400);
  return settings;
}

// A program running on the slave side of a pseudo-terminal; the test holds the master side, as
// a terminal emulator does.
class Terminal {
 public:
  Terminal(const std::string& program, const std::string& cwd,
           const std::vector<std::string>& arguments = {}) {
    termios settings = sane_terminal();
#if defined(IUTF8)
    settings.c_iflag |= IUTF8;  // a terminal of today, which takes its bytes as UTF-8
#endif
    winsize size{};
    size.ws_row = 50;
    size.ws_col = 132;
    pid_ = ::forkpty(&master_, nullptr, &settings, &size);
    if (pid_ < 0) {
      ADD_FAILURE() << "forkpty: " << std::strerror(errno);
      return;
    }
    if (pid_ == 0) {
      if (::chdir(cwd.c_str()) != 0) {
        ::_exit(126);
      }
      exec_program(program, arguments);
      ::_exit(127);
    }
  }

  ~Terminal() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      int ignored = 0;
      ::waitpid(pid_, &ignored, 0);
    }
    if (master_ >= 0) {
      ::close(master_);
    }
  }

  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  /// Waits until the screen shows `bytes` next, without sending anything, and consumes them.
  /// Returns false (after recording the failure) when other bytes came or none before the
  /// deadline.
  bool expect(std::string_view bytes, std::string_view what) {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (screen_.size() - consumed_ < bytes.size()) {
      if (!read_some(deadline)) {
        ADD_FAILURE() << what << ": the screen stopped at\n"
                      << printable(screen_.substr(consumed_)) << "\nbut should go on with\n"
                      << printable(bytes);
        return false;
      }
    }
    const std::string_view shown = std::string_view(screen_).substr(consumed_, bytes.size());
    if (shown != bytes) {
      ADD_FAILURE() << what << ": the screen shows\n"
                    << printable(shown) << "\ninstead of\n"
                    << printable(bytes);
      return false;
    }
    consumed_ += bytes.size();
    return true;
  }

  /// Types `keys` as a person would; "\r" is the Enter key.
  void type(std::string_view keys) {
    while (!keys.empty()) {
      const ssize_t put = ::write(master_, keys.data(), keys.size());
      if (put < 0 && errno == EINTR) {
        continue;
      }
      ASSERT_GT(put, 0) << "write to the terminal: " << std::strerror(errno);
      keys.remove_prefix(static_cast<std::size_t>(put));
    }
  }

  /// Everything the screen shows from here until the program has closed the terminal.
  std::string rest() {
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (read_some(deadline)) {
    }
    EXPECT_TRUE(closed_) << "the program kept the terminal open past the deadline";
    std::string tail = screen_.substr(consumed_);
    consumed_ = screen_.size();
    return tail;
  }

  /// The exit status, once the program has closed the terminal (see rest()); 128 + the signal
  /// number when a signal ended it.
  int status() {
    if (!closed_) {
      return -1;
    }
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) {
      return -1;
    }
    reaped_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  // Reads what the terminal has, waiting for it until `deadline`. False once the program has
  // closed its side (the master then reads EIO) or the deadline has passed.
  bool read_some(std::chrono::steady_clock::time_point deadline) {
    if (closed_ || master_ < 0) {
      return false;
    }
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        return false;
      }
      pollfd wait_for{master_, POLLIN, 0};
      const int ready = ::poll(&wait_for, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) {
        continue;
      }
      if (ready <= 0) {
        return false;
      }
      char buffer[4096];
      const ssize_t got = ::read(master_, buffer, sizeof buffer);
      if (got > 0) {
        screen_.append(buffer, static_cast<std::size_t>(got));
        return true;
      }
      if (got < 0 && errno == EINTR) {
        continue;
      }
      closed_ = true;  // EIO: every descriptor of the slave side is closed
      return false;
    }
  }

  static std::string printable(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == '\n') {
        out += "\\n\n";
      } else if (c == '\r') {
        out += "\\r";
      } else if (byte < 32 || byte >= 127) {
        static const char kHex[] = "0123456789abcdef";
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 15];
      } else {
        out += c;
      }
    }
    return out;
  }

  int master_ = -1;
  pid_t pid_ = -1;
  bool reaped_ = false;
  bool closed_ = false;
  std::string screen_;
  std::size_t consumed_ = 0;
};

struct Question {
  std::string prompt;  // the question's record as the program writes it
  std::string typed;   // what the person types before Enter
  std::string echo;    // the program's echo record
};

// Answers each question as a person would: waits for the question, types the answer and Enter,
// and checks the terminal's echo of the typed line and then the program's echo record.
void answer(Terminal& terminal, const std::vector<Question>& questions) {
  for (const Question& q : questions) {
    if (!terminal.expect(on_screen(q.prompt), "question '" + q.prompt + "'")) {
      return;
    }
    terminal.type(q.typed + "\r");
    if (!terminal.expect(q.typed + "\r\n", "the terminal's echo of '" + q.typed + "'") ||
        !terminal.expect(on_screen(q.echo), "the program's echo of '" + q.typed + "'")) {
      return;
    }
  }
}

std::string typed_lines(const std::vector<Question>& questions) {
  std::string lines;
  for (const Question& q : questions) {
    lines += q.typed + "\n";
  }
  return lines;
}

// What a piped run with the same answers writes after its dialogue.
std::string after_dialogue(const Outcome& piped, const std::vector<Question>& questions) {
  std::size_t dialogue = 0;
  for (const Question& q : questions) {
    dialogue += q.prompt.size() + q.echo.size();
  }
  return piped.output.substr(std::min(dialogue, piped.output.size()));
}

const std::vector<Question> kIdlnestToScreen = {
    {" IDL source file Name:\r\n", "examples/demo.pro", " examples/demo.pro\r\n"},
    {" Output file (blank=screen):\r\n", "", "  \r\n"},
    {" Column in which to write line #'s(0 for none; 80?):\r\n", "60", "          60\r\n"},
    {" Use IBM PC graphics characters (0=no):\r\n", "/", "           0\r\n"},
    {" Should I warn if \"end\" ends if, for... (0=no):\r\n", " 1", "           1\r\n"},
    {" Maximum line length without warning(160?):\r\n", ",", "         160\r\n"},
    {" Should I warn about unclosed quotes(0=no):\r\n", "0", "           0\r\n"},
};

// A Windows program has a Windows console, which Wine draws on a terminal with sequences of its
// own: what such a console shows is not the programs' to decide. Their bytes on the console are
// tested through pipes, as everywhere.
class PosixTerminals : public ::testing::Environment {
 public:
  void SetUp() override {
    if (system_under_test() == System::kWindows) {
      GTEST_SKIP() << "the programs under test have a Windows console, not a terminal";
    }
  }
};
const auto* const kPosixTerminals = ::testing::AddGlobalTestEnvironment(new PosixTerminals);

// Answers `questions` to idlnest on a terminal, listing examples/demo.pro to the screen, and
// expects on the terminal what a piped run with the same answers writes after its dialogue.
void expect_screen_listing_as_piped(const std::vector<Question>& questions) {
  Terminal terminal(IDLNEST_PATH, NEST_SOURCE_DIR);
  answer(terminal, questions);
  const std::string listing = terminal.rest();
  ASSERT_EQ(terminal.status(), 0);

  const Outcome piped = run(IDLNEST_PATH, typed_lines(questions), NEST_SOURCE_DIR);
  ASSERT_EQ(piped.status, 0);
  const std::string expected = after_dialogue(piped, questions);
  EXPECT_NE(expected.find("....,....1....,....2"), std::string::npos);
  EXPECT_NE(expected.find(" /---------- function clamp, value, low, high"), std::string::npos);
  EXPECT_EQ(listing, on_screen(expected));
}

TEST(Terminal, IdlnestAsksEachQuestionEchoesEachAnswerAndListsToTheScreen) {
  expect_screen_listing_as_piped(kIdlnestToScreen);
}

// A tab typed at the output question is an answer that lists to the screen. The terminal echoes
// it as a tab, and so does the program: a tab cannot drive a terminal.
TEST(Terminal, IdlnestEchoesATabTypedAtTheOutputQuestionAsATab) {
  std::vector<Question> questions = kIdlnestToScreen;
  questions[1] = {" Output file (blank=screen):\r\n", "\t", " \t\r\n"};
  expect_screen_listing_as_piped(questions);
}

TEST(Terminal, CnestListsToAFileAndShowsItsEchoesAndWarningsOnTheScreen) {
  const std::string source = std::string(NEST_SOURCE_DIR) + "/examples/demo.c";
  const std::vector<Question> questions = {
      {" C source filename:\r\n", source, " " + source + "\r\n"},
      {" Output file (blank=screen)?:\r\n", "demo.lst", " demo.lst\r\n"},
      {" Column in which to write line #'s(80, 0 for none; 80?):\r\n", "/", "           0\r\n"},
      {" Use IBM PC graphics characters (0=no):\r\n", "-3", "          -3\r\n"},
      {" Maximum line length without warning(120?):\r\n", "60", "          60\r\n"},
  };
  TempDir typed_dir;
  Terminal terminal(CNEST_PATH, typed_dir.path());
  answer(terminal, questions);
  const std::string console = terminal.rest();
  ASSERT_EQ(terminal.status(), 0);

  TempDir piped_dir;
  const Outcome piped = run(CNEST_PATH, typed_lines(questions), piped_dir.path());
  ASSERT_EQ(piped.status, 0);
  const std::string expected = after_dialogue(piped, questions);
  EXPECT_NE(expected.find(" Line    16 static int classify(int n) {\r\n"), std::string::npos);
  EXPECT_NE(expected.find(" ***WARNING Line over warning length: Line     3:\r\n"),
            std::string::npos);
  EXPECT_NE(expected.find(" \a\r\n"), std::string::npos);
  EXPECT_EQ(console, on_screen(expected));

  const std::string listing = typed_dir.read("demo.lst");
  EXPECT_EQ(listing, piped_dir.read("demo.lst"));
  EXPECT_NE(listing.find("\xC3\xC4\xC4"), std::string::npos) << "IBM PC junction and run";
}

TEST(Terminal, IdlnestEndsWithStatus2WhenInputIsClosedAtAQuestion) {
  Terminal terminal(IDLNEST_PATH, NEST_SOURCE_DIR);
  answer(terminal, {kIdlnestToScreen[0], kIdlnestToScreen[1]});
  ASSERT_TRUE(terminal.expect(on_screen(kIdlnestToScreen[2].prompt), "the third question"));
  // An empty line is no answer to a number: the program goes on waiting without asking again,
  // until Ctrl-D on the empty line closes its input.
  terminal.type("\r");
  ASSERT_TRUE(terminal.expect("\r\n", "the terminal's echo of Enter"));
  terminal.type("\x04");
  EXPECT_EQ(terminal.rest(),
            "idlnest: standard input: end of input at the question "
            "'Column in which to write line #'s(0 for none; 80?)'\r\n");
  EXPECT_EQ(terminal.status(), 2);
}

TEST(Terminal, CnestEndsWithStatus2WhenInputIsClosedAtTheFirstQuestion) {
  Terminal terminal(CNEST_PATH, NEST_SOURCE_DIR);
  ASSERT_TRUE(terminal.expect(on_screen(" C source filename:\r\n"), "the first question"));
  terminal.type("\x04");
  EXPECT_EQ(terminal.rest(),
            "cnest: standard input: end of input at the question 'C source filename'\r\n");
  EXPECT_EQ(terminal.status(), 2);
}

TEST(Terminal, CnestDrawsTheIbmPcShapesInUtf8FromTheCommandLine) {
  Terminal terminal(CNEST_PATH, NEST_SOURCE_DIR, {"-g", "utf8", "-n", "70", "examples/demo.c"});
  const std::string screen = terminal.rest();
  ASSERT_EQ(terminal.status(), 0);
  EXPECT_NE(screen.find("\r\r\n    \u250C\u2500\u2500\u2500\u2500\u2500\u2500\u2500 int main("),
            std::string::npos)
      << "a block opened in UTF-8";
  EXPECT_NE(screen.find("\u2502  39\r\r\n"), std::string::npos) << "a line number after its mark";
  // Each shape in the column where the code page 437 listing has its byte.
  RunOptions ibm;
  ibm.arguments = {"-g", "ibm", "-n", "70", "examples/demo.c"};
  const Outcome piped = run(CNEST_PATH, "", NEST_SOURCE_DIR, ibm);
  ASSERT_EQ(piped.status, 0);
  EXPECT_EQ(cp437(screen), on_screen(piped.output));
}

}  // namespace
}  // namespace nest::testing
