// Faults table, signals: a run ended by a signal leaves the old listing as it was and no file of
// its own, whichever signal it is. (Signals are POSIX's.)
#include <csignal>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/faults.h"

namespace nest::testing {
namespace {

const std::string kOldListing = "an old listing\r\n";

/// Options that send `signal_number` once the program has taken far more of its endless source
/// than the pipe holds, so that the listing is under way; `noting`, when given, is called then.
std::function<RunOptions(Scene&)> signalled_halfway(int signal_number,
                                                    std::function<void(Scene&)> noting = nullptr) {
  return [signal_number, noting](Scene& scene) {
    RunOptions options;
    options.signal_when = [&scene, noting] {
      if (scene.fed_so_far() <= (std::size_t{1} << 21)) {
        return false;
      }
      if (noting) {
        noting(scene);
      }
      return true;
    };
    options.signal_number = signal_number;
    return options;
  };
}

/// `p`'s small source without end as "s", and, when `old` is given, that old listing.
Prepare endless_source(const Program& p, std::string listing_name, bool old) {
  return [&p, listing_name, old](Scene& s) {
    if (old) {
      s.write(listing_name, kOldListing);
    }
    s.feed("s", [&p](const FifoFeeder::Writer& write) {
      while (write(p.small_source)) {
      }
    });
  };
}

void add_signal_rows(const Program& p, std::vector<Row>& rows) {
  if (system_under_test() != System::kPosix) {
    return;
  }
  // Every signal whose default is to end the process, as a user, a shell, a timer or a limit
  // (SIGXCPU: a CPU-time limit) sends it.
  const struct {
    const char* name;
    int number;
  } signals[] = {{"Term", SIGTERM}, {"Int", SIGINT},   {"Hup", SIGHUP},
                 {"Quit", SIGQUIT}, {"Alrm", SIGALRM}, {"Usr1", SIGUSR1},
                 {"Usr2", SIGUSR2}, {"Xcpu", SIGXCPU}, {"Vtalrm", SIGVTALRM},
                 {"Prof", SIGPROF}, {"Abrt", SIGABRT}, {"RealTime", SIGRTMIN}};
  // An emulator gives the program's real-time signals other numbers on this machine, and keeps
  // the ones that the program's numbers stand for here.
  const std::vector<std::string> launcher = NEST_TEST_LAUNCHER;
  for (const auto& [name, number] : signals) {
    if (number == SIGRTMIN && !launcher.empty()) {
      continue;
    }
    rows.push_back({.name = std::string("Sig") + name + "KeepsTheOldListing",
                    .program = &p,
                    .prepare = endless_source(p, "o.lst", true),
                    .input = console_input(p, {}),
                    .status = 128 + number,
                    .run_options = signalled_halfway(number)});
  }

  // Stopped halfway through a new listing of the longest name a folder takes: nothing is left.
  const std::string longest(255, 'n');
  rows.push_back({.name = "StoppedLongestNameLeavesNothing",
                  .program = &p,
                  .prepare = endless_source(p, longest, false),
                  .input = console_input(p, {.output = longest}),
                  .status = 128 + SIGTERM,
                  .run_options = signalled_halfway(SIGTERM)});

  // A private listing stays private while it is written: the new file has the old one's bits
  // from its first byte on, and no one else can open it and read the listing through it.
  rows.push_back({.name = "PrivateListingStaysPrivateWhileWritten",
                  .program = &p,
                  .prepare =
                      [&p](Scene& s) {
                        endless_source(p, "o.lst", true)(s);
                        std::filesystem::permissions(s.dir / "o.lst", std::filesystem::perms(0600));
                      },
                  .input = console_input(p, {}),
                  .status = 128 + SIGTERM,
                  .left = [](const Scene& scene) { EXPECT_EQ(scene.seen, " .o.lst.*:0600"); },
                  .run_options = signalled_halfway(SIGTERM, [](Scene& scene) {
                    for (const auto& entry :
                         std::filesystem::directory_iterator(scene.dir.path())) {
                      const std::string name = entry.path().filename().string();
                      if (name.starts_with(".o.lst.")) {
                        scene.seen += " .o.lst.*:" + mode_of(entry.path().string());
                      }
                    }
                  })});
}

INSTANTIATE_TEST_SUITE_P(Signals, FaultTest, ::testing::ValuesIn(rows_of(add_signal_rows)),
                         row_name);

}  // namespace
}  // namespace nest::testing
