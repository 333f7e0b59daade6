// idlnest: lists an IDL source file with its block structure drawn in the margin.
#include <memory>
#include <string>

#include "core/command_line.h"
#include "core/program.h"
#include "core/prompts.h"
#include "idlnest/scanner.h"

namespace {

const nest::Language kLanguage{
    "idlnest",
    "idlnest: lists IDL sources with their block structure drawn in the margin.",
    160,
    true,
    [](const nest::Answers& a) { return idlnest::frame(a.numcol, a.ibmpc ? 1 : 0, a.maxlen); },
    [](const nest::Answers& a) -> std::unique_ptr<nest::BlockScanner> {
      return std::make_unique<idlnest::Scanner>(a.warnend, a.warnquote);
    },
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    return nest::run_command_line(kLanguage, argc, argv);
  }
  return nest::run_program("idlnest", [](nest::Sink& console, nest::ByteSource& input) {
    const std::string filnam = nest::ard("IDL source file Name", console, input);
    const std::string filnam2 = nest::ard("Output file (blank=screen)", console, input);
    const int numcol =
        nest::ird("Column in which to write line #'s(0 for none; 80?)", 0, console, input);
    const int ibmpc = nest::ird("Use IBM PC graphics characters (0=no)", 0, console, input);
    const int warnend =
        nest::ird("Should I warn if \"end\" ends if, for... (0=no)", 0, console, input);
    const int maxlen = nest::ird("Maximum line length without warning(160?)", 160, console, input);
    const int warnquote = nest::ird("Should I warn about unclosed quotes(0=no)", 0, console, input);
    idlnest::diagram(filnam, filnam2, numcol, ibmpc, warnend, warnquote, maxlen, console);
  });
}
