#include "core/program.h"

#include <exception>
#include <new>
#include <string>

#include "core/platform.h"

namespace nest {

namespace {

int fail(int error_fd, std::string_view program, std::string_view text) {
  std::string line(program);
  line += ": ";
  line += text;
  line += '\n';
  // Nothing more can be done when standard error fails too.
  platform::write_all(error_fd, line);
  return 2;
}

}  // namespace

int run_program(std::string_view program,
                const std::function<void(Sink& console, ByteSource& input)>& body) {
  return run_program(program, body, platform::kStandardInput, platform::kStandardOutput,
                     platform::kStandardError);
}

int run_program(std::string_view program,
                const std::function<void(Sink& console, ByteSource& input)>& body, int input_fd,
                int output_fd, int error_fd) {
  platform::start_process();
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
