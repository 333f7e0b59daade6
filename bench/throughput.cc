// The throughput benchmark: generates its sources (deterministically, once), then runs the floor
// program, idlnest and cnest as whole processes on them, with the dialogue piped in and the
// listing written to a file, and prints median wall time, MB/s, peak resident memory and the
// ratio to the floor; then the scaling cases, as time per input byte and peak memory.
//
// Usage: throughput --bin BUILD_DIR --data DATA_DIR [--runs N] [--quick] [--in-place]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/corpus.h"

namespace {

struct Measure {
  double seconds = 0;
  long peak_kb = 0;
};

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "throughput: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(2);
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::uint64_t size_of(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    die("stat " + path);
  }
  return static_cast<std::uint64_t>(info.st_size);
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    die("write " + path);
  }
}

// Runs `argv` through the measuring helper, with standard input from `input` (or /dev/null)
// and standard output to /dev/null.
Measure run_once(const std::string& measure, const std::string& result,
                 const std::vector<std::string>& argv, const std::string& input) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.empty() ? "/dev/null" : input.c_str(),
                                   O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> full = {measure, result};
  full.insert(full.end(), argv.begin(), argv.end());
  std::vector<char*> args;
  for (const std::string& a : full) {
    args.push_back(const_cast<char*>(a.c_str()));
  }
  args.push_back(nullptr);
  pid_t pid = 0;
  const int failed = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    errno = failed;
    die("spawn " + measure);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) < 0) {
    die("waitpid");
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "throughput: %s failed (status %d)\n", argv[0].c_str(), status);
    std::exit(2);
  }
  Measure m;
  std::ifstream in(result);
  in >> m.seconds >> m.peak_kb;
  if (!in) {
    die("read " + result);
  }
  return m;
}

struct Tools {
  std::string measure;
  std::string result;
};

// One command of a row: what to run and its standard input.
struct Command {
  std::vector<std::string> argv;
  std::string input;
};

// Runs the commands `runs` times each, taking turns, so that a slow spell of the machine falls on
// all of them alike. Before each run the listing of the run before is removed and written back
// to disk: every run starts with no file to empty and no writing-back of another run's listing.
// `in_place` leaves it, as a user who lists again does: each run then empties the last one's
// listing, while the system may still be writing it back. Returns each command's median time
// and highest peak memory.
std::vector<Measure> run_interleaved(const Tools& tools, const std::vector<Command>& commands,
                                     const std::string& listing, int runs, bool in_place) {
  std::vector<std::vector<double>> times(commands.size());
  std::vector<Measure> result(commands.size());
  for (int k = 0; k < runs; ++k) {
    for (std::size_t c = 0; c < commands.size(); ++c) {
      if (!in_place) {
        ::unlink(listing.c_str());
        ::sync();
      }
      const Measure m = run_once(tools.measure, tools.result, commands[c].argv, commands[c].input);
      times[c].push_back(m.seconds);
      result[c].peak_kb = std::max(result[c].peak_kb, m.peak_kb);
    }
  }
  for (std::size_t c = 0; c < commands.size(); ++c) {
    std::sort(times[c].begin(), times[c].end());
    result[c].seconds = times[c][times[c].size() / 2];
  }
  return result;
}

struct Program {
  std::string name;
  std::string path;
  std::string language;  // "idl" or "c"
};

// The dialogue that lists `source` into `listing` with the default answers.
std::string answers(const Program& p, const std::string& source, const std::string& listing) {
  if (p.language == "idl") {
    return source + "\n" + listing + "\n0\n0\n0\n160\n0\n";
  }
  return source + "\n" + listing + "\n0\n0\n120\n";
}

struct Row {
  std::string name;
  std::string program;
  std::uint64_t bytes = 0;
  Measure m;
  double floor_seconds = 0;
};

void print_header() {
  std::printf("%-22s %-8s %9s %9s %9s %9s %8s %8s\n", "input", "program", "MB", "median s", "MB/s",
              "ns/byte", "peak MB", "x floor");
}

void print_row(const Row& r) {
  const double mb = static_cast<double>(r.bytes) / 1e6;
  std::printf("%-22s %-8s %9.1f %9.3f %9.1f %9.2f %8.1f %8.2f\n", r.name.c_str(), r.program.c_str(),
              mb, r.m.seconds, mb / r.m.seconds, r.m.seconds * 1e9 / static_cast<double>(r.bytes),
              static_cast<double>(r.m.peak_kb) / 1024.0,
              r.floor_seconds > 0 ? r.m.seconds / r.floor_seconds : 1.0);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  std::string bin = "build/bench";
  std::string data = "build/bench/data";
  int runs = 5;
  bool quick = false;
  bool in_place = false;
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    if (arg == "--bin" && k + 1 < argc) {
      bin = argv[++k];
    } else if (arg == "--data" && k + 1 < argc) {
      data = argv[++k];
    } else if (arg == "--runs" && k + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++k]));
    } else if (arg == "--quick") {
      quick = true;
    } else if (arg == "--in-place") {
      in_place = true;
    } else {
      std::fprintf(stderr,
                   "usage: throughput --bin BUILD_DIR --data DATA_DIR [--runs N] [--quick] "
                   "[--in-place]\n");
      return 2;
    }
  }
  ::mkdir(data.c_str(), 0777);
  const std::uint64_t big = quick ? 4'000'000 : 40'000'000;
  const std::uint64_t levels = quick ? 100'000 : 1'000'000;
  const std::uint64_t one_line = quick ? 100'000'000 : 1'000'000'000;
  const std::uint64_t empties = quick ? 1'000'000 : 10'000'000;
  const std::string tag = quick ? "-quick" : "";

  struct Input {
    std::string name;
    std::string path;
    std::string language;  // "" for both programs
    bool scaling;
  };
  const std::vector<Input> inputs = {
      {"idl source", data + "/source" + tag + ".pro", "idl", false},
      {"c source", data + "/source" + tag + ".c", "c", false},
      {"idl 5000 columns", data + "/wide" + tag + ".pro", "idl", true},
      {"c 5000 columns", data + "/wide" + tag + ".c", "c", true},
      {"idl deep nesting", data + "/deep" + tag + ".pro", "idl", true},
      {"c deep nesting", data + "/deep" + tag + ".c", "c", true},
      {"one huge line", data + "/one-line" + tag + ".txt", "", true},
      {"empty lines", data + "/empty" + tag + ".txt", "", true},
  };
  // Generated once and kept; remove the data folder to make them again.
  for (const Input& in : inputs) {
    if (exists(in.path)) {
      continue;
    }
    std::fprintf(stderr, "generating %s\n", in.path.c_str());
    if (in.path.find("/source") != std::string::npos) {
      write_file(in.path, in.language == "idl" ? bench::idl_source(big) : bench::c_source(big));
    } else if (in.path.find("/wide") != std::string::npos) {
      write_file(in.path, bench::wide_source(in.language, big));
    } else if (in.path.find("/deep") != std::string::npos) {
      write_file(in.path, bench::deep_source(in.language, levels));
    } else if (in.path.find("/one-line") != std::string::npos) {
      std::FILE* out = std::fopen(in.path.c_str(), "wb");
      if (out == nullptr) {
        die("create " + in.path);
      }
      bench::write_one_line(out, one_line);
      std::fclose(out);
    } else {
      write_file(in.path, bench::empty_lines(empties));
    }
  }

  const std::vector<Program> programs = {{"idlnest", bin + "/idlnest/idlnest", "idl"},
                                         {"cnest", bin + "/cnest/cnest", "c"}};
  const std::string floor = bin + "/bench/floor";
  const std::string listing = data + "/listing.out";
  const Tools tools{bin + "/bench/measure", data + "/measure.out"};

  std::printf("%d runs each, taking turns; listing written to %s, %s; times are medians\n\n",
              runs, listing.c_str(),
              in_place ? "over the last run's listing" : "removed and synced before each run");
  print_header();
  bool scaling_started = false;
  for (const Input& in : inputs) {
    if (in.scaling && !scaling_started) {
      std::printf("\nscaling cases\n");
      print_header();
      scaling_started = true;
    }
    const int n = in.scaling ? std::max(1, (runs + 1) / 2) : runs;
    std::vector<Command> commands = {{{floor, in.path, listing}, ""}};
    std::vector<const Program*> listed;
    for (const Program& p : programs) {
      if (!in.language.empty() && in.language != p.language) {
        continue;
      }
      const std::string dialogue = data + "/answers-" + p.name;
      write_file(dialogue, answers(p, in.path, listing));
      commands.push_back({{p.path}, dialogue});
      listed.push_back(&p);
    }
    const std::vector<Measure> measures = run_interleaved(tools, commands, listing, n, in_place);
    Row floor_row{in.name, "floor", size_of(in.path), measures[0], 0};
    floor_row.floor_seconds = floor_row.m.seconds;
    print_row(floor_row);
    for (std::size_t k = 0; k < listed.size(); ++k) {
      print_row({in.name, listed[k]->name, floor_row.bytes, measures[k + 1], floor_row.m.seconds});
    }
  }
  return 0;
}
