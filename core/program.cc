#include "core/program.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include <unistd.h>

namespace nest {

namespace {

int fail(int error_fd, std::string_view program, std::string_view text) {
  std::string line(program);
  line += ": ";
  line += text;
  line += '\n';
  // Nothing more can be done when standard error fails too.
  [[maybe_unused]] const ssize_t ignored = ::write(error_fd, line.data(), line.size());
  return 2;
}

}  // namespace

int run_program(std::string_view program,
                const std::function<void(Sink& console, ByteSource& input)>& body) {
  return run_program(program, body, STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO);
}

int run_program(std::string_view program,
                const std::function<void(Sink& console, ByteSource& input)>& body, int input_fd,
                int output_fd, int error_fd) {
  std::signal(SIGPIPE, SIG_IGN);
  Sink console(output_fd, "standard output");
  ByteSource input(input_fd, "standard input");
  try {
    body(console, input);
    console.flush();
    return 0;
  } catch (const Fatal& failure) {
    try {
      console.flush();  // what was asked and echoed before the failure
    } catch (const Fatal&) {
    }
    return fail(error_fd, program, failure.what());
  } catch (const std::bad_alloc&) {
    return fail(error_fd, program, "out of memory");
  }
}

}  // namespace nest
