// What every program's main does around its dialogue and its listing.
#pragma once

#include <functional>
#include <string_view>

#include "core/streams.h"

namespace nest {

/// Runs `body` as the whole program named `program`, with console output on standard output and
/// console input on standard input. Returns the exit status: 0 when `body` returns and every byte
/// has been written; 2 after a Fatal, whose text goes to standard error as one line
/// "<program>: <text>". A reader that closes the pipe of standard output is a write failure like
/// any other, not a silent death by SIGPIPE.
int run_program(std::string_view program,
                const std::function<void(Sink& console, ByteSource& input)>& body);

/// As above, with console input, console output and the error stream on the given descriptors.
int run_program(std::string_view program,
                const std::function<void(Sink& console, ByteSource& input)>& body, int input_fd,
                int output_fd, int error_fd);

}  // namespace nest
