// The faults table, for both programs: each row with the exit status it must end with, what it
// must write on standard error, and what it must leave on disk. Every row also checks that
// nothing in its folder is lost or changed (permission bits included) except the one file that
// the row lets the run create or change. The rows are kept by subject: sources, answers, outputs
// and signals, one file each.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/fault_scene.h"
#include "tests/process.h"

namespace nest::testing {

/// One of the two programs, as far as the table tells them apart.
struct Program {
  std::string name;
  std::string path;
  bool idl = false;
  std::vector<std::string> prompts;  ///< the questions, in the order they are asked
  int ruler_indent = 0;
  std::string small_source;   ///< a short program with a block inside a block
  std::string small_listing;  ///< its listing records, after the empty record
};

const Program& idlnest();
const Program& cnest();

/// The answers of one run; "/" keeps a question's default.
struct Answers {
  std::string source = "s";
  std::string output = "o.lst";
  std::string numcol = "/";
  std::string ibmpc = "/";
  std::string warnend = "/";
  std::string maxlen = "/";
  std::string warnquote = "/";
};

/// The lines that `program` reads for the answers `a`, in the order it asks.
std::vector<std::string> dialogue(const Program& program, const Answers& a);
/// Those lines as console input.
std::string console_input(const Program& program, const Answers& a);
/// What the console shows of a dialogue with the answers `a`: each question and its echo.
std::string dialogue_shown(const Program& p, const Answers& a);

/// The page header, the ruler and the empty record that start a listing file of `source`.
std::string listing_start(const Program& program, std::string_view source);
/// The records of `bytes`, each without its CR LF; a last record without one is kept as it is.
std::vector<std::string_view> records(std::string_view bytes);
/// "<program>: <text>\n", a line of standard error.
std::string fatal(const Program& p, std::string_view text);

/// What a row expects of the files after the run.
using Left = std::function<void(const Scene&)>;
/// The listing file "o.lst" holds exactly `bytes`.
Left listing(std::string bytes);
/// The file `name` holds exactly `bytes`, with the permission bits `mode` when that is given.
Left file_holds(std::string name, std::string bytes, std::string mode = "");
/// The listing file is the one the same program makes of the same source "s" with the answers
/// `reference` instead.
Left same_listing_as(const Program& program, Answers reference);
/// `then`, once every one of `bytes` fed to the source has been taken by the program.
Left all_fed(std::size_t bytes, Left then);

/// What a row expects of standard output, when it looks at it.
using Shown = std::function<void(const std::string& output)>;
/// Standard output holds the record " <echo>" and nothing that could drive a terminal: no byte
/// below 32 but the CR LF that end records, and no 127.
Shown echoed(std::string echo);

/// Makes the files of a row in its folder.
using Prepare = std::function<void(Scene&)>;
/// `p`'s small source as "s".
Prepare small_source(const Program& p);
/// `p`'s small source as "s" and `old` as the listing "o.lst".
Prepare small_source_and_listing(const Program& p, std::string old);
/// `p`'s small source repeated, for a listing of many buffers.
std::string large_source(const Program& p);

struct Row {
  std::string name = "";
  const Program* program = nullptr;
  Prepare prepare = nullptr;
  std::string input = "";  ///< console input
  int status = 0;          ///< the exit status
  std::string error = "";  ///< standard error, exactly
  /// The one file that the run may create or change, which `left` looks at instead of the
  /// snapshot; "" when the folder must stay exactly as it was.
  std::string changes = "";
  Left left = nullptr;  ///< what the files hold after the run, when the row says
  RunOptions options = {};
  /// When given, makes the options of the run once the row's folder is prepared.
  std::function<RunOptions(Scene&)> run_options = nullptr;
  Shown shown = nullptr;  ///< when given, what standard output must show
  long max_rss_mib = 0;   ///< when not 0, the most memory the run may take
};

void PrintTo(const Row& row, std::ostream* out);

/// The rows that `add` makes for each program.
std::vector<Row> rows_of(void (*add)(const Program&, std::vector<Row>&));

/// The test's name of a row: "<program>_<name>".
std::string row_name(const ::testing::TestParamInfo<Row>& param);

class FaultTest : public ::testing::TestWithParam<Row> {};

}  // namespace nest::testing
