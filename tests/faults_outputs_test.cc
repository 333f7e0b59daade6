// Faults table, outputs: every way the listing or the console can fail to be written, and what a
// run may do to the files around it: never list into a file it reads, never empty the file that
// standard output writes to, never lose or expose the old listing when it fails, and show the
// user what it must before it waits.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/faults.h"

namespace nest::testing {
namespace {

namespace fs = std::filesystem;

const std::string kOldListing = "an old listing\r\n";

/// "<owner>:<group>" of the file `path`, by number.
std::string owner_of(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return "none";
  }
  return std::to_string(info.st_uid) + ":" + std::to_string(info.st_gid);
}

void add_output_rows(const Program& p, std::vector<Row>& rows) {
  const bool posix = system_under_test() == System::kPosix;
  const auto refused = [&](std::string name, Prepare prepare, std::string output,
                           std::string error) {
    rows.push_back({.name = std::move(name),
                    .program = &p,
                    .prepare = std::move(prepare),
                    .input = console_input(p, {.output = std::move(output)}),
                    .status = 2,
                    .error = fatal(p, error)});
  };
  const auto with = [&p](Prepare more) {
    return [&p, more = std::move(more)](Scene& s) {
      s.write("s", p.small_source);
      more(s);
    };
  };
  refused("OutputInAMissingFolder", small_source(p), "missing/o.lst",
          "cannot create 'missing/o.lst': No such file or directory");
  refused("OutputIsAFolder", with([](Scene& s) { fs::create_directory(s.dir / "folder"); }),
          "folder", "cannot create 'folder': Is a directory");
  refused("OutputIsTheSource", small_source(p), "s", "cannot create 's': it is the source file");
  refused("OutputIsASymbolicLinkToTheSource",
          with([](Scene& s) { fs::create_symlink("s", s.dir / "link"); }), "link",
          "cannot create 'link': it is the source file");
  refused("OutputIsAHardLinkToTheSource",
          with([](Scene& s) { fs::create_hard_link(s.dir / "s", s.dir / "hard"); }), "hard",
          "cannot create 'hard': it is the source file");
  refused("OutputIsAFullDevice", small_source(p), "/dev/full",
          "cannot write '/dev/full': No space left on device");
  // Many buffers of listing: the failure of the first still ends the run with the same report.
  refused(
      "LargeListingToAFullDevice", [&p](Scene& s) { s.write("s", large_source(p)); }, "/dev/full",
      "cannot write '/dev/full': No space left on device");
  if (posix) {
    // Standard input is a pipe here: a listing written into it would wait for a reader for ever.
    refused("OutputIsStandardInput", small_source(p), "/dev/stdin",
            "cannot create '/dev/stdin': it is standard input");
  }

  rows.push_back({.name = "StandardOutputClosed",
                  .program = &p,
                  .prepare = small_source(p),
                  .input = console_input(p, {}),
                  .status = 2,
                  .error = fatal(p, "cannot write 'standard output': Bad file descriptor"),
                  .options = {.output = StandardOutput::kClosed}});
  // The listing goes to the screen, and the reader of the pipe goes after 100 bytes: the next
  // write fails, and the program says so instead of dying by SIGPIPE.
  rows.push_back(
      {.name = "StandardOutputReaderLeaves",
       .program = &p,
       .prepare = [&p](Scene& s) { s.write("s", large_source(p)); },
       .input = console_input(p, {.output = ""}),
       .status = 2,
       .error = fatal(p, "cannot write 'standard output': Broken pipe"),
       .options = {.output = StandardOutput::kReaderLeaves, .read_before_leaving = 100}});

  // Standard output appended to the source itself, the listing going to the screen or to a
  // file: refused before the first line. The questions and echoes, written before the output
  // was known to be the source, are all it gains.
  for (const std::string output : {"", "o.lst"}) {
    rows.push_back({.name = output.empty() ? "StandardOutputIsTheSource"
                                           : "StandardOutputIsTheSourceListingToAFile",
                    .program = &p,
                    .prepare = small_source(p),
                    .input = console_input(p, {.output = output}),
                    .status = 2,
                    .error = fatal(p, "cannot write 'standard output': it is the source file"),
                    .changes = "s",
                    .left = file_holds("s", p.small_source + dialogue_shown(p, {.output = output})),
                    // Where the source read itself back without end, it stops at this size.
                    .options = {.output = StandardOutput::kAppendedToFile,
                                .output_file = "s",
                                .file_size_limit = posix ? 1 << 20 : 0}});
  }

  // The output named is standard output's own file, appended to: the listing goes through
  // standard output, in the order written, after what the file held and the dialogue.
  if (posix) {
    for (const char* name : {"/dev/stdout", "/proc/self/fd/1"}) {
      std::vector<std::string_view> listed = records(p.small_listing);
      // The echo of the line that opens the unit or the first block comes before its record.
      listed.insert(listed.begin() + (p.idl ? 0 : 1),
                    p.idl ? " Line     1 pro p" : " Line     2 {");
      std::string expected =
          "earlier\n" + dialogue_shown(p, {.output = name}) + listing_start(p, "s");
      for (const std::string_view record : listed) {
        expected += std::string(record) + "\r\n";
      }
      rows.push_back(
          {.name = std::string("OutputIsStandardOutputsFile") +
                   (std::string_view(name) == "/dev/stdout" ? "" : "ByDescriptor"),
           .program = &p,
           .prepare =
               [&p](Scene& s) {
                 s.write("s", p.small_source);
                 s.write("log", "earlier\n");
               },
           .input = console_input(p, {.output = name}),
           .changes = "log",
           .left = file_holds("log", expected),
           .options = {.output = StandardOutput::kAppendedToFile, .output_file = "log"}});
    }
  }

  if (!posix) {
    return;  // the rest needs file-size limits, file modes, owners, FIFOs or links
  }
  const auto with_old_listing = [](std::string source) {
    return [source = std::move(source)](Scene& s) {
      s.write("s", source);
      s.write("o.lst", kOldListing);
    };
  };

  // A file-size limit is a failed write like a full disk, and the old listing stays.
  rows.push_back({.name = "FileSizeLimitKeepsTheOldListing",
                  .program = &p,
                  .prepare = with_old_listing(large_source(p)),
                  .input = console_input(p, {}),
                  .status = 2,
                  .error = fatal(p, "cannot write 'o.lst': File too large"),
                  .options = {.file_size_limit = 1 << 16}});

  // The console fails only at its last write, once the listing is complete: the old listing is
  // still there. (Standard output is a file that reaches the size limit with the dialogue.)
  constexpr std::size_t limit = 1 << 13;
  rows.push_back({.name = "LastConsoleWriteFailsKeepsTheOldListing",
                  .program = &p,
                  .prepare =
                      [&p](Scene& s) {
                        s.write("s", p.small_source);
                        s.write("o.lst", kOldListing);
                        s.write("log", std::string(limit - dialogue_shown(p, {}).size(), 'e'));
                      },
                  .input = console_input(p, {}),
                  .status = 2,
                  .error = fatal(p, "cannot write 'standard output': File too large"),
                  .changes = "log",
                  .left = file_holds("log", std::string(limit - dialogue_shown(p, {}).size(), 'e') +
                                                dialogue_shown(p, {})),
                  .options = {.output = StandardOutput::kAppendedToFile,
                              .output_file = "log",
                              .file_size_limit = static_cast<long>(limit)}});

  // The longest name a folder takes still gets a new file beside it: a failed run leaves the old
  // listing as it was, and a new one nothing.
  const std::string longest(255, 'n');
  for (const bool old : {true, false}) {
    rows.push_back({.name = old ? "LongestNameKeepsTheOldListing" : "LongestNameLeavesNothing",
                    .program = &p,
                    .prepare =
                        [&p, longest, old](Scene& s) {
                          s.write("s", large_source(p));
                          if (old) {
                            s.write(longest, kOldListing);
                          }
                        },
                    .input = console_input(p, {.output = longest}),
                    .status = 2,
                    .error = fatal(p, "cannot write '" + longest + "': File too large"),
                    .options = {.file_size_limit = 1 << 16}});
  }

  // Where no new file can be made beside an existing listing, it is refused, and the old
  // listing stays whole: a folder that the user may not write to holding a listing they may,
  // and a file system with no free inode.
  rows.push_back(
      {.name = "ReadOnlyFolderKeepsTheOldListing",
       .program = &p,
       .prepare =
           [&p](Scene& s) {
             s.write("s", p.small_source);
             fs::create_directory(s.dir / "ro");
             s.write("ro/o.lst", kOldListing);
             fs::permissions(s.dir / "ro/o.lst", fs::perms(0666));
             s.lock("ro");
           },
       .input = console_input(p, {.output = "ro/o.lst"}),
       .status = 2,
       .error = fatal(p, "cannot create a new file beside 'ro/o.lst': Permission denied"),
       .options = {.unprivileged = true}});
  rows.push_back(
      {.name = "NoFreeInodeKeepsTheOldListing",
       .program = &p,
       .prepare =
           [&p](Scene& s) {
             s.write("s", p.small_source);
             // Its own folder and the listing: no inode is left.
             if (s.mount_small_folder("full", 2, 1 << 20)) {
               s.write("full/o.lst", kOldListing);
             }
           },
       .input = console_input(p, {.output = "full/o.lst"}),
       .status = 2,
       .error = fatal(p, "cannot create a new file beside 'full/o.lst': No space left on device")});

  // A listing through a symbolic link replaces the file it leads to, with its permission bits;
  // the link stays.
  rows.push_back({.name = "OutputIsASymbolicLink",
                  .program = &p,
                  .prepare =
                      [&p](Scene& s) {
                        s.write("s", p.small_source);
                        s.write("real.lst", "old");
                        fs::permissions(s.dir / "real.lst", fs::perms(0640));
                        fs::create_symlink("real.lst", s.dir / "o.lst");
                      },
                  .input = console_input(p, {}),
                  .changes = "real.lst",
                  .left = file_holds("real.lst", listing_start(p, "s") + p.small_listing, "0640")});

  // A replaced listing keeps its permission bits, and, when root replaces another user's
  // listing, its owner and group.
  for (const bool given_away : {false, true}) {
    rows.push_back(
        {.name = given_away ? "ReplacedListingKeepsItsOwner" : "ReplacedListingKeepsItsPermissions",
         .program = &p,
         .prepare =
             [&p, given_away](Scene& s) {
               if (given_away && ::geteuid() != 0) {
                 s.skipped = "only root gives a file to another user";
                 return;
               }
               s.write("s", p.small_source);
               s.write("o.lst", "old");
               fs::permissions(s.dir / "o.lst", fs::perms(given_away ? 0640 : 0604));
               if (given_away) {
                 static_cast<void>(::chown((s.dir / "o.lst").c_str(), 65534, 65534));
               }
             },
         .input = console_input(p, {}),
         .changes = "o.lst",
         .left =
             [&p, given_away](const Scene& scene) {
               file_holds("o.lst", listing_start(p, "s") + p.small_listing,
                          given_away ? "0640" : "0604")(scene);
               if (given_away) {
                 EXPECT_EQ(owner_of(scene.dir / "o.lst"), "65534:65534");
               }
             }});
  }

  // Standard input and output left non-blocking by another program: an empty or full pipe
  // is waited for. The answers come only once the first question is shown, so that the
  // first read finds nothing.
  const std::string large = large_source(p);
  rows.push_back({.name = "NonBlockingStandardStreams",
                  .program = &p,
                  .prepare = [large](Scene& s) { s.write("s", large); },
                  .input = console_input(p, {.output = ""}),
                  .options = {.non_blocking = true, .input_after = " " + p.prompts[0] + ":"},
                  .shown =
                      [&p, large](const std::string& output) {
                        const TempDir other;
                        other.write("s", large);
                        const Outcome blocking =
                            run(p.path, console_input(p, {.output = ""}), other.path());
                        EXPECT_TRUE(output == blocking.output)
                            << output.size() << " " << blocking.output.size();
                      }});

  // The dialogue is on the console before an output that waits for its reader is opened: the
  // reader comes only once the last echo is shown.
  rows.push_back({.name = "DialogueShownBeforeAFifoOutputIsOpened",
                  .program = &p,
                  .prepare =
                      [&p](Scene& s) {
                        s.write("s", p.small_source);
                        ::mkfifo((s.dir / "o.lst").c_str(), 0600);
                      },
                  .input = console_input(p, {}),
                  .left =
                      [&p](const Scene& scene) {
                        EXPECT_EQ(scene.drained, listing_start(p, "s") + p.small_listing);
                      },
                  .run_options =
                      [&p](Scene& scene) {
                        RunOptions options;
                        options.when_shown = {dialogue_shown(p, {}),
                                              [&scene] { scene.start_draining("o.lst"); }};
                        return options;
                      }});
}

// A listing on the screen shows each line read before the source is waited for: the rest of a
// slow source comes only once the first part's listing is shown.
void add_console_rows(const Program& p, std::vector<Row>& rows) {
  rows.push_back({.name = "ListingShownBeforeASlowSourceIsRead",
                  .program = &p,
                  .prepare =
                      [&p](Scene& s) {
                        s.feed("s", [&p, &s](const FifoFeeder::Writer& write) {
                          if (write(p.small_source)) {
                            s.gate.wait();
                            write(p.small_source);
                          }
                        });
                      },
                  .input = console_input(p, {.output = ""}),
                  .run_options =
                      [&p](Scene& scene) {
                        RunOptions options;
                        // The last record of the first part's listing.
                        const std::string& listed = p.small_listing;
                        const std::string last =
                            listed.substr(listed.rfind("\r\n", listed.size() - 3) + 2);
                        options.when_shown = {last, [&scene] { scene.gate.open(); }};
                        return options;
                      }});
}

void add_rows(const Program& p, std::vector<Row>& rows) {
  add_output_rows(p, rows);
  add_console_rows(p, rows);
}

INSTANTIATE_TEST_SUITE_P(Outputs, FaultTest, ::testing::ValuesIn(rows_of(add_rows)), row_name);

}  // namespace
}  // namespace nest::testing
