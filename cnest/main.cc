// cnest: lists a C source file with its block structure drawn in the margin.
#include <memory>
#include <string>

#include "cnest/scanner.h"
#include "core/command_line.h"
#include "core/program.h"
#include "core/prompts.h"

namespace {

const nest::Language kLanguage{
    "cnest",
    "cnest: lists C sources with their block structure drawn in the margin.",
    120,
    false,
    [](const nest::Answers& a) { return cnest::frame(a.numcol, a.ibmpc ? 1 : 0, a.maxlen); },
    [](const nest::Answers&) -> std::unique_ptr<nest::BlockScanner> {
      return std::make_unique<cnest::Scanner>();
    },
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    return nest::run_command_line(kLanguage, argc, argv);
  }
  return nest::run_program("cnest", [](nest::Sink& console, nest::ByteSource& input) {
    const std::string filnam = nest::ard("C source filename", console, input);
    const std::string filnam2 = nest::ard("Output file (blank=screen)?", console, input);
    // The prompt names 80, but an answer that keeps the default shows no line numbers.
    const int numcol =
        nest::ird("Column in which to write line #'s(80, 0 for none; 80?)", 0, console, input);
    const int ibmpc = nest::ird("Use IBM PC graphics characters (0=no)", 0, console, input);
    const int maxlen = nest::ird("Maximum line length without warning(120?)", 120, console, input);
    cnest::diagram(filnam, filnam2, numcol, ibmpc, maxlen, console);
  });
}
