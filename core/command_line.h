// The command line of both programs: an option for each question of the dialogue, and a run
// over any number of files, listed side by side, whose output comes in the order of the files.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/diagram.h"

namespace nest {

/// The answers that the options give, as the dialogue's questions would.
struct Answers {
  int numcol = 0;
  bool ibmpc = false;
  int maxlen = 0;
  bool warnend = false;
  bool warnquote = false;
};

/// What a program brings to its command line.
struct Language {
  std::string_view program;   ///< its name, in messages, the usage and the version
  std::string_view summary;   ///< what it lists, for the usage
  int maxlen = 0;             ///< the default maximum line length
  bool idl_switches = false;  ///< it takes --warn-end and --warn-quotes
  Frame (*frame)(const Answers&) = nullptr;
  std::unique_ptr<BlockScanner> (*scanner)(const Answers&) = nullptr;
};

/// Runs the program from its command line (`argv[1]` on) and returns the exit status: 0 after
/// complete listings (with --check: and no error reported), 1 with --check when an error was
/// reported, 2 after a usage error, a file that could not be listed or a failed write.
int run_command_line(const Language& language, int argc, const char* const* argv);

/// Where the listing of `source` goes in the folder `folder`: `folder`/<source path>.lst, the
/// path taken from `source` with its folder names cut at `separators`. The path always stays
/// inside `folder`: a root, a drive letter's colon, "." and empty names are dropped, and ".."
/// goes back one name, never past the folder itself. Sets `folders` to the folders to make
/// before the listing, from the first one named.
std::string listing_in_folder(std::string_view folder, std::string_view source,
                              std::string_view separators, std::vector<std::string>& folders);

}  // namespace nest
