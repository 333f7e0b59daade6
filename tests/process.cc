#include "tests/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nest::testing {

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
  }
}

// The words of the launcher: none for this machine's own programs.
std::vector<std::string> launcher() {
  const std::vector<std::string> words = NEST_TEST_LAUNCHER;
  return words;
}

}  // namespace

System system_under_test() {
  return std::string_view(NEST_TEST_SYSTEM) == "Windows" ? System::kWindows : System::kPosix;
}

void exec_program(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> words = launcher();
  words.push_back(program);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  ::execvp(argv[0], argv.data());
}

Outcome run(const std::string& program, std::string_view input, const std::string& cwd) {
  return run(program, input, cwd, RunOptions{});
}

namespace {

Outcome run_once(const std::string& program, std::string_view input, const std::string& cwd,
                 const RunOptions& options);

}  // namespace

Outcome run(const std::string& program, std::string_view input, const std::string& cwd,
            const RunOptions& options) {
  Outcome outcome = run_once(program, input, cwd, options);
  // Now and then Wine fails to start a program at all: status 1 and not a byte written, which
  // the programs themselves never give (they write their first question first, and end with 0
  // or 2). That is Wine's failure, not theirs: it is tried again.
  for (int retry = 0; retry < 3 && system_under_test() == System::kWindows &&
                      outcome.status == 1 && outcome.output.empty();
       ++retry) {
    std::fprintf(stderr, "Wine did not start %s (status 1, no output): trying again\n",
                 program.c_str());
    outcome = run_once(program, input, cwd, options);
  }
  return outcome;
}

namespace {

Outcome run_once(const std::string& program, std::string_view input, const std::string& cwd,
                 const RunOptions& options) {
  // A program that ends before reading all its input must not take the test with it: a write
  // to its closed standard input fails with EPIPE instead of raising SIGPIPE here.
  ::signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  check(::pipe2(in, O_CLOEXEC) == 0 && ::pipe2(out, O_CLOEXEC) == 0 &&
            ::pipe2(err, O_CLOEXEC) == 0,
        "pipe");
  const pid_t pid = ::fork();
  check(pid >= 0, "fork");
  if (pid == 0) {
    ::dup2(in[0], 0);
    if (::chdir(cwd.c_str()) != 0) {
      ::_exit(126);
    }
    if (options.output == StandardOutput::kClosed) {
      ::close(1);
    } else if (options.output == StandardOutput::kAppendedToFile) {
      const int file = ::open(options.output_file.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0666);
      if (file < 0 || ::dup2(file, 1) < 0) {
        ::_exit(126);
      }
      ::close(file);
    } else {
      ::dup2(out[1], 1);
    }
    ::dup2(err[1], 2);
    if (options.non_blocking) {
      for (const int fd : {0, 1}) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
      }
    }
    if (options.file_size_limit != 0) {
      const rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                         static_cast<rlim_t>(options.file_size_limit)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    // A program ended by a signal leaves no core file in the folder it was run in.
    const rlimit no_core{0, 0};
    ::setrlimit(RLIMIT_CORE, &no_core);
    if (options.unprivileged && ::geteuid() == 0) {
      constexpr uid_t kNobody = 65534;
      if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
        ::_exit(126);
      }
    }
    ::signal(SIGPIPE, SIG_DFL);
    exec_program(program, options.arguments);
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  ::fcntl(in[1], F_SETFL, O_NONBLOCK);

  Outcome outcome;
  pollfd fds[3] = {{in[1], POLLOUT, 0}, {out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  if (input.empty()) {
    ::close(in[1]);
    fds[0].fd = -1;
  }
  if (options.output == StandardOutput::kAppendedToFile) {
    ::close(out[0]);
    fds[1].fd = -1;
  }
  // Input held back until the program shows what it must show first.
  bool input_held = !options.input_after.empty();
  if (input_held) {
    fds[0].events = 0;
  }
  // The action taken once the output shows a text, or at a deadline that a working program
  // never comes near.
  bool action_due = static_cast<bool>(options.when_shown.action);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool signalled = false;
  const auto after_output = [&] {
    if (input_held && outcome.output.find(options.input_after) != std::string::npos) {
      input_held = false;
      fds[0].events = POLLOUT;
    }
    if (action_due && (outcome.output.find(options.when_shown.text) != std::string::npos ||
                       std::chrono::steady_clock::now() > deadline)) {
      outcome.waited_in_vain = outcome.output.find(options.when_shown.text) == std::string::npos;
      action_due = false;
      options.when_shown.action();
    }
    if (!signalled && options.signal_when && options.signal_when()) {
      signalled = true;
      ::kill(pid, options.signal_number);
    }
  };
  // While something is to be watched for, the wait is cut short now and then to look again.
  const auto watching = [&] {
    return input_held || action_due || (!signalled && options.signal_when);
  };
  // The bytes of standard output still to be read before the reader goes.
  std::size_t to_read = options.output == StandardOutput::kReaderLeaves
                            ? options.read_before_leaving
                            : static_cast<std::size_t>(-1);
  if (to_read == 0) {
    ::close(out[0]);
    fds[1].fd = -1;
  }
  while (fds[0].fd >= 0 || fds[1].fd >= 0 || fds[2].fd >= 0) {
    after_output();
    check(::poll(fds, 3, watching() ? 10 : -1) >= 0 || errno == EINTR, "poll");
    if (fds[0].fd >= 0 && fds[0].revents != 0) {
      const ssize_t put = ::write(in[1], input.data(), input.size());
      if (put > 0) {
        input.remove_prefix(static_cast<std::size_t>(put));
      }
      if (input.empty() || (put < 0 && errno != EAGAIN)) {
        ::close(in[1]);
        fds[0].fd = -1;
      }
    }
    for (int k = 1; k < 3; ++k) {
      if (fds[k].fd >= 0 && fds[k].revents != 0) {
        char buffer[1 << 16];
        const std::size_t wanted = k == 1 ? std::min(sizeof buffer, to_read) : sizeof buffer;
        const ssize_t got = ::read(fds[k].fd, buffer, wanted);
        if (got > 0) {
          (k == 1 ? outcome.output : outcome.error).append(buffer, static_cast<std::size_t>(got));
          if (k == 1 && (to_read -= static_cast<std::size_t>(got)) == 0) {
            ::close(fds[k].fd);  // the reader leaves
            fds[k].fd = -1;
          }
        } else if (got == 0 || errno != EINTR) {
          ::close(fds[k].fd);
          fds[k].fd = -1;
        }
      }
    }
  }
  int status = 0;
  rusage usage{};
  check(::wait4(pid, &status, 0, &usage) == pid, "wait4");
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  // An emulator says so when the program it runs is ended by a signal that dumps core; that line
  // is the emulator's, not the program's.
  if (!launcher().empty() && WIFSIGNALED(status)) {
    const std::size_t said = outcome.error.rfind("qemu: uncaught target signal");
    if (said != std::string::npos && outcome.error.find('\n', said) == outcome.error.size() - 1) {
      outcome.error.erase(said);
    }
  }
  outcome.max_rss_kib = usage.ru_maxrss;
  return outcome;
}

}  // namespace

std::string crlf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += '\r';
    }
    out += c;
  }
  return out;
}

std::string answers(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) {
    out += line;
    out += '\n';
  }
  return out;
}

std::string without_records(const std::string& text, int count) {
  std::size_t at = 0;
  for (int k = 0; k < count; ++k) {
    const std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      return "<fewer records than expected>";
    }
    at = end + 2;
  }
  return text.substr(at);
}

std::string cp437(std::string_view utf8) {
  static const struct {
    std::string_view from;
    char to;
  } kBoxes[] = {{"┌", '\xDA'}, {"└", '\xC0'}, {"├", '\xC3'}, {"│", '\xB3'},
                {"─", '\xC4'}, {"┬", '\xC2'}, {"┴", '\xC1'}, {"┼", '\xC5'}};
  std::string out;
  for (std::size_t k = 0; k < utf8.size();) {
    bool replaced = false;
    for (const auto& box : kBoxes) {
      if (utf8.substr(k, box.from.size()) == box.from) {
        out += box.to;
        k += box.from.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      out += utf8[k++];
    }
  }
  return out;
}

namespace {

// FNV-1a, 64 bits: enough to tell two listings apart, with their sizes beside it.
std::string digest(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char c : bytes) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  }
  char text[40];
  std::snprintf(text, sizeof text, "%zu:%016llx", bytes.size(),
                static_cast<unsigned long long>(hash));
  return text;
}

}  // namespace

std::vector<ConformanceCase> every_pairing(
    const std::vector<std::pair<std::string, std::string>>& sources,
    const std::vector<std::pair<std::string, std::vector<std::string>>>& dialogues) {
  std::vector<ConformanceCase> cases;
  for (const auto& [source_name, source] : sources) {
    for (const auto& [dialogue_name, answers] : dialogues) {
      for (const bool tofile : {true, false}) {
        cases.push_back({source_name + "." + dialogue_name + (tofile ? ".File" : ".Screen"),
                         source, answers, tofile});
      }
    }
  }
  return cases;
}

void expect_as_on_x86_64(const std::string& program, std::string_view extension,
                         std::string_view manifest, const std::vector<ConformanceCase>& cases) {
  const std::string path = std::string(NEST_SOURCE_DIR) + "/tests/conformance/" +
                           std::string(manifest);
  std::map<std::string, std::string> expected;
  {
    std::ifstream in(path);
    std::string name;
    std::string line;
    while (in >> name && std::getline(in, line)) {
      expected[name] = line;
    }
  }
  const char* write = std::getenv("NEST_CONFORMANCE_WRITE");
  const bool writing = write != nullptr && std::string_view(write) == "1";
  std::ofstream out;
  if (writing) {
    out.open(path, std::ios::binary);
    out << "# The exit status and the digests (size:FNV-1a) of the console and the listing file\n"
           "# of each case, as the x86-64 Linux build makes them; written by\n"
           "# NEST_CONFORMANCE_WRITE=1 ctest --preset dev -R Conformance\n";
  }
  for (const ConformanceCase& c : cases) {
    TempDir dir;
    const std::string source = "s" + std::string(extension);
    dir.write(source, c.source);
    std::vector<std::string> lines = {source, c.tofile ? "s.lst" : ""};
    lines.insert(lines.end(), c.answers.begin(), c.answers.end());
    const Outcome outcome = run(program, answers(lines), dir.path());
    const std::string listing = c.tofile ? dir.read("s.lst") : "";
    const std::string got = " " + std::to_string(outcome.status) + " " + digest(outcome.output) +
                            " " + digest(listing);
    if (writing) {
      out << c.name << got << "\n";
      continue;
    }
    const auto found = expected.find(c.name);
    if (found == expected.end()) {
      ADD_FAILURE() << c.name << ": not in " << path;
    } else if (found->second != got) {
      const std::string kept = ::testing::TempDir() + "conformance_" + c.name;
      std::ofstream(kept + ".console", std::ios::binary) << outcome.output;
      std::ofstream(kept + ".listing", std::ios::binary) << listing;
      ADD_FAILURE() << c.name << ": status and digests" << got << " instead of" << found->second
                    << "; the bytes are in " << kept << ".console and .listing";
    }
  }
}

void PrintTo(const NameCase& c, std::ostream* os) {
  *os << c.name;
}

std::vector<NameCase> name_cases(std::string_view extension) {
  const std::string x(extension);
  const std::string c1 = "\xc2\x9b[2J \x9b[2J caf\xc3\xa9 \xc4\x9b" + x;
  const std::string c1_shown = "?[2J ?[2J caf\xc3\xa9 \xc4\x9b" + x;
  return {
      {"TabAtTheOutputQuestionListsToTheScreen", "t" + x, false, "\t", "t" + x},
      {"TabInTheSourceName", "a\tb" + x, false, "t.lst", "a\tb" + x},
      {"EscAndDelInTheSourceName", "\x1b[2J\x1b]0;x\x07\x7f" + x, false, "t.lst",
       "?[2J?]0;x??" + x},
      {"C1ControlsInTheSourceName", c1, false, "t.lst", c1_shown, true},
      {"C1ControlsInAMissingSourceName", c1, true, "t.lst", c1_shown, true},
  };
}

void expect_names_shown(const NamingProgram& p, const NameCase& c) {
  if (c.posix_only && system_under_test() == System::kWindows) {
    GTEST_SKIP() << "a name that is no UTF-8";
  }
  // Windows takes no byte below 32 in a name: there such a name is refused, shown the same way.
  const bool invalid = system_under_test() == System::kWindows &&
                       c.source.find_first_of("\t\x1b\x07\x7f") != std::string::npos;
  TempDir dir;
  if (!c.missing) {
    dir.write(c.source, p.source);
  }
  std::vector<std::string> lines = {c.source, c.output};
  lines.insert(lines.end(), p.more_answers.begin(), p.more_answers.end());
  const Outcome outcome = run(p.path, answers(lines), dir.path());
  const std::string source_echo = crlf(" " + p.source_question + ":\n " + c.shown + "\n");
  ASSERT_EQ(outcome.output.substr(0, source_echo.size()), source_echo);
  if (c.missing || invalid) {
    const std::string reason = invalid ? "Invalid argument" : "No such file or directory";
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.error, p.name + ": cannot open '" + c.shown + "': " + reason + "\n");
    return;
  }
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.error, "");
  const std::string output_echo = crlf(" " + p.output_question + ":\n " + c.output + "\n");
  EXPECT_EQ(without_records(outcome.output, 2).substr(0, output_echo.size()), output_echo);
  const std::string listing = crlf(p.ruler + "\n\n" + p.listing);
  if (c.output == "t.lst") {
    EXPECT_EQ(dir.read("t.lst"),
              crlf(" \f=============--" + c.shown + "--=============\n") + listing);
  } else {
    // A tab is an answer that lists to the screen: no file is made.
    EXPECT_EQ(without_records(outcome.output, static_cast<int>(2 * lines.size())), listing);
    EXPECT_FALSE(dir.exists(c.output));
  }
}

void expect_command_line_as_dialogue(
    const std::string& program, std::string_view extension, int questions, bool to_files,
    const std::vector<std::pair<std::string, std::string>>& sources,
    const std::vector<std::pair<std::string, std::vector<std::string>>>& dialogues,
    const std::function<std::vector<std::string>(const std::vector<std::string>&)>& options_of) {
  TempDir dir;
  std::vector<std::string> names;
  for (std::size_t k = 0; k < sources.size(); ++k) {
    names.push_back("s" + std::to_string(k) + std::string(extension));
    dir.write(names.back(), sources[k].second);
  }
  for (const auto& [dialogue_name, dialogue] : dialogues) {
    std::string screens;  // every screen listing of the dialogue, headed as the command line does
    for (std::size_t k = 0; k < names.size(); ++k) {
      std::vector<std::string> lines = {names[k], to_files ? names[k] + ".lst" : ""};
      lines.insert(lines.end(), dialogue.begin(), dialogue.end());
      const Outcome outcome = run(program, answers(lines), dir.path());
      EXPECT_EQ(outcome.status, 0) << sources[k].first << "." << dialogue_name;
      if (!to_files) {
        std::string screen = without_records(outcome.output, 2 * questions);
        for (std::size_t at; (at = screen.find(" \a\r\n")) != std::string::npos;) {
          screen.erase(at, 4);
        }
        screens += (k > 0 ? "\r\n==> " : "==> ") + names[k] + " <==\r\n" + screen;
      }
    }
    RunOptions options;
    options.arguments = options_of(dialogue);
    if (to_files) {
      options.arguments.insert(options.arguments.end(), {"-o", "out"});
    }
    options.arguments.insert(options.arguments.end(), names.begin(), names.end());
    const Outcome listed = run(program, "", dir.path(), options);
    EXPECT_EQ(listed.status, 0) << dialogue_name;
    if (!to_files) {
      EXPECT_TRUE(listed.output == screens)
          << dialogue_name << ": standard output differs from the dialogue's screen listings";
      continue;
    }
    for (std::size_t k = 0; k < names.size(); ++k) {
      EXPECT_TRUE(dir.read("out/" + names[k] + ".lst") == dir.read(names[k] + ".lst"))
          << sources[k].first << "." << dialogue_name << ": the listing files differ";
    }
  }
}

std::vector<std::string> number_option(const std::string& option, const std::string& answer) {
  if (answer == "/") {
    return {};
  }
  return {option + "=" + answer};
}

}  // namespace nest::testing
