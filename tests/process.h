// Runs a built program as a whole process, with its console input piped in, and captures what
// it writes, so that end-to-end tests compare exact bytes.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/test_support.h"
#include "tests/under_test.h"

namespace nest::testing {

struct Outcome {
  int status = -1;       ///< exit status, or 128 + signal number when killed by a signal
  std::string output;    ///< standard output: questions, echoes, the listing on the screen
  std::string error;     ///< standard error
  long max_rss_kib = 0;  ///< the largest resident set of the process, in KiB
  /// RunOptions::when_shown's text did not come before the deadline: the action was taken then.
  bool waited_in_vain = false;
};

/// How the standard output of a run is connected.
enum class StandardOutput {
  kCaptured,      ///< a pipe read to its end into Outcome::output
  kClosed,        ///< descriptor 1 is not open at all
  kReaderLeaves,  ///< a pipe whose reader closes it after RunOptions::read_before_leaving bytes
  kAppendedToFile,  ///< the file RunOptions::output_file in the folder of the run, appended to
};

/// How a process is started by run(), and what is done to it while it runs.
struct RunOptions {
  /// The program's arguments (none: the dialogue).
  std::vector<std::string> arguments = {};
  StandardOutput output = StandardOutput::kCaptured;
  std::size_t read_before_leaving = 0;  ///< for kReaderLeaves: bytes read before the reader goes
  std::string output_file = "";         ///< for kAppendedToFile
  /// Standard input and output are left non-blocking, as another program may leave them.
  bool non_blocking = false;
  /// When not 0, the largest file the process may write, in bytes (a file-size limit).
  long file_size_limit = 0;
  /// Run as the unprivileged user "nobody" when the tests run as root (as anyone else, as that
  /// user), so that the rights of files and folders hold.
  bool unprivileged = false;
  /// When given, standard input is only written once standard output shows this text.
  std::string input_after = "";
  /// When given, `action` is taken once standard output shows `text`, or at a deadline that only
  /// a program that never shows it reaches (then Outcome::waited_in_vain is set).
  struct {
    std::string text;
    std::function<void()> action;
  } when_shown = {};
  /// When given, is asked while the program runs; once it says true, the program is sent
  /// `signal_number`.
  std::function<bool()> signal_when = nullptr;
  int signal_number = 0;
};

/// The system the programs under test are built for: these tests may drive the programs of another
/// target (arm64 Linux under an emulator, Windows under Wine) from the build machine.
enum class System { kPosix, kWindows };
System system_under_test();

/// Replaces this process (a child just forked) with `program`, started through the launcher the
/// tests were configured with, if any (an emulator for the programs of another target), with
/// `arguments`. Returns only when that fails.
void exec_program(const std::string& program, const std::vector<std::string>& arguments = {});

/// Runs `program` in the folder `cwd` with `input` as its standard input and no arguments.
Outcome run(const std::string& program, std::string_view input, const std::string& cwd = ".");

/// As above, with standard output connected as `options` says.
Outcome run(const std::string& program, std::string_view input, const std::string& cwd,
            const RunOptions& options);

/// `text` with every "\n" turned into the record end "\r\n": expected listings read as text.
std::string crlf(std::string_view text);

/// The answers of a dialogue, one line each, ended by LF.
std::string answers(const std::vector<std::string>& lines);

/// `text` without its first `count` records (each ended by CR LF): what follows a dialogue or
/// the header and ruler of a listing.
std::string without_records(const std::string& text, int count);

/// `utf8` with the eight box-drawing characters of the IBM PC glyphs (written in UTF-8 in the
/// tests, so that expected listings read as they look) turned into their code page 437 bytes.
std::string cp437(std::string_view utf8);

/// One listing for the comparison of builds: `source` listed with the rest of a dialogue,
/// `answers` (the answers after the first two), into a file or to the screen.
struct ConformanceCase {
  std::string name;
  std::string source;
  std::vector<std::string> answers;
  bool tofile = true;
};

/// Every source of `sources` with every dialogue of `dialogues` (named answers after the first
/// two), into a file and to the screen: cases named "<source>.<dialogue>.File" or ".Screen".
std::vector<ConformanceCase> every_pairing(
    const std::vector<std::pair<std::string, std::string>>& sources,
    const std::vector<std::pair<std::string, std::vector<std::string>>>& dialogues);

/// Lists every case with `program` (the source in "s" + `extension`, the listing into "s.lst" or
/// to the screen) and expects, for each, the exit status and a digest of the console and of the
/// listing file that the manifest tests/conformance/`manifest` holds: what the x86-64 Linux
/// build gives. With NEST_CONFORMANCE_WRITE=1 in the environment, writes the manifest instead
/// (from an x86-64 build only). A case that differs leaves its bytes in a file named in the
/// failure.
void expect_as_on_x86_64(const std::string& program, std::string_view extension,
                         std::string_view manifest, const std::vector<ConformanceCase>& cases);

/// A name typed at the first two questions, and the source name as the program shows it. A name
/// is used as typed; wherever it is shown (its echo, the page header, standard error) a tab stays
/// a tab, and what could act on a terminal is shown as '?': ESC and the other bytes below 32, DEL,
/// and the C1 controls, in UTF-8 (C2 80 to C2 9F) or as a byte of their own. The letters of a
/// UTF-8 name pass whole.
struct NameCase {
  std::string name;
  std::string source;  ///< the source name typed; no such file is made when `missing`
  bool missing = false;
  std::string output;  ///< the output name typed: "t.lst", or a tab, which lists to the screen
  std::string shown;   ///< the source name as its echo, the page header and standard error show it
  bool posix_only = false;  ///< a byte that is no UTF-8 makes no name that Windows can open
};

void PrintTo(const NameCase& c, std::ostream* os);

/// The cases of names, the source names ending in `extension`.
std::vector<NameCase> name_cases(std::string_view extension);

/// A program as the name cases run it.
struct NamingProgram {
  std::string path;
  std::string name;             ///< as standard error names it
  std::string source_question;  ///< the first two prompts, without their colon
  std::string output_question;
  std::vector<std::string> more_answers;  ///< the answers after the first two
  std::string source;                     ///< the source listed
  std::string listing;                    ///< its listing after the ruler, "\n" for CR LF
  std::string ruler;                      ///< the ruler record, without its CR LF
};

/// Runs `program` with the names of `c` and expects the echoes, the page header or the screen
/// listing, and the diagnostic on standard error that they call for.
void expect_names_shown(const NamingProgram& program, const NameCase& c);
/// Lists every source of `sources` with every dialogue of `dialogues` (named answers after the
/// first two) twice: through the dialogue, one process per source, into a file (`to_files`) or to
/// the screen; and from the command line with the options that `options_of` gives for the
/// answers, one process for all the sources, into a folder or to standard output. Expects the
/// same listing files, byte for byte, or on standard output each dialogue's screen listing less
/// its bell records, headed by its file's name.
void expect_command_line_as_dialogue(
    const std::string& program, std::string_view extension, int questions, bool to_files,
    const std::vector<std::pair<std::string, std::string>>& sources,
    const std::vector<std::pair<std::string, std::vector<std::string>>>& dialogues,
    const std::function<std::vector<std::string>(const std::vector<std::string>&)>& options_of);

/// The options that stand for the answer `answer` to a numeric question with the long option
/// `option` (none for an answer that keeps the default).
std::vector<std::string> number_option(const std::string& option, const std::string& answer);

}  // namespace nest::testing
