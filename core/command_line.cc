#include "core/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>

#include "core/diagnostics.h"
#include "core/formline.h"
#include "core/platform.h"
#include "core/streams.h"
#include "core/text_helpers.h"

namespace nest {

namespace {

constexpr std::string_view kStandardInputName = "standard input";

// Thrown into a listing when the run ends early (its output went into a closed pipe): the
// listing stops where it is and its file, if any, is removed.
struct Stopped {};

// The output of a run, one part per file, written out in the order of the files whatever order
// the files are listed in. The part of the first file not yet complete goes out as it comes; the
// parts of the files after it wait in memory, each up to kHeld bytes, and the thread that lists
// one of them waits when its part is full. So the memory is bounded by the number of threads,
// whatever the size of the files.
class InOrder {
 public:
  static constexpr std::size_t kHeld = std::size_t{1} << 20;

  explicit InOrder(std::size_t parts) : parts_(parts) {}

  // Adds `bytes` for the stream `fd` to part `k`. Throws Stopped when the run is ending.
  void add(std::size_t k, int fd, std::string_view bytes) {
    std::unique_lock lock(mutex_);
    taken_.wait(lock, [&] { return stopped_ || parts_[k].held < kHeld; });
    if (stopped_) {
      throw Stopped{};
    }
    parts_[k].chunks.push_back({fd, std::string(bytes)});
    parts_[k].held += bytes.size();
    if (k == head_) {
      added_.notify_one();
    }
  }

  // Part `k` is complete.
  void close(std::size_t k) {
    const std::lock_guard lock(mutex_);
    parts_[k].closed = true;
    // The writer is woken only when it has something to write, or nothing is left: most parts
    // of a run into a folder are empty, and pass without a word between the threads.
    if (k == head_ && pass_written_parts()) {
      added_.notify_one();
    }
  }

  // Ends the run: every wait, and every later add, throws Stopped.
  void stop() {
    const std::lock_guard lock(mutex_);
    stopped_ = true;
    taken_.notify_all();
    added_.notify_all();
  }

  bool stopped() {
    const std::lock_guard lock(mutex_);
    return stopped_;
  }

  // Writes out every part in turn as it comes, until the last is complete. Returns 0, or the
  // error of the write that failed, with `failed_fd` the stream it failed on.
  int write_out(int& failed_fd) {
    std::unique_lock lock(mutex_);
    for (;;) {
      added_.wait(lock, [&] {
        return stopped_ || head_ == parts_.size() || !parts_[head_].chunks.empty();
      });
      if (stopped_ || head_ == parts_.size()) {
        return 0;
      }
      Part& part = parts_[head_];
      Chunk chunk = std::move(part.chunks.front());
      part.chunks.erase(part.chunks.begin());
      lock.unlock();
      const int error = platform::write_all(chunk.fd, chunk.bytes);
      lock.lock();
      if (error != 0) {
        failed_fd = chunk.fd;
        stopped_ = true;
        taken_.notify_all();
        return error;
      }
      part.held -= chunk.bytes.size();
      taken_.notify_all();
      pass_written_parts();
    }
  }

 private:
  struct Chunk {
    int fd;
    std::string bytes;
  };
  struct Part {
    std::vector<Chunk> chunks;  // a few at most: a part holds up to kHeld bytes
    std::size_t held = 0;
    bool closed = false;
  };
  // Moves the head past the parts that are complete and written out; true when the writer has
  // something to do at the new head, or nothing is left.
  bool pass_written_parts() {
    while (head_ < parts_.size() && parts_[head_].closed && parts_[head_].chunks.empty()) {
      ++head_;
    }
    return head_ == parts_.size() || !parts_[head_].chunks.empty();
  }

  std::mutex mutex_;
  std::condition_variable added_;  // the writer has something to do, or nothing is left
  std::condition_variable taken_;  // a chunk was written out
  std::vector<Part> parts_;
  std::size_t head_ = 0;  // the first part not yet complete and written out
  bool stopped_ = false;
};

// Each report of one source as a line "<file>:<line>: error: <message>" or "warning:".
class CompilerForm : public Reports {
 public:
  CompilerForm(std::string_view name, Sink& to) : name_(shown_safely(name)), to_(to) {}

  void add(Severity severity, std::string_view message) override {
    to_.write(name_);
    to_.put(':');
    to_.write(std::to_string(line));
    to_.write(severity == Severity::kError ? ": error: " : ": warning: ");
    to_.write(message);
    to_.put('\n');
    errors_ = errors_ || severity == Severity::kError;
  }

  bool errors() const { return errors_; }

 private:
  std::string name_;
  Sink& to_;
  bool errors_ = false;
};

// Where the listings of a run go.
enum class Mode {
  kScreen,  // standard output, in the screen form
  kFile,    // one listing file
  kFolder,  // a listing file per source, in a folder
  kCheck,   // no listing: the reports alone, on standard output
};

// One source of the run and what is known of it before it is listed.
struct Source {
  std::string argument;              // as given
  std::string name;                  // as shown: the argument, or "standard input" for "-"
  std::string listing;               // the listing file (kFile, kFolder)
  std::vector<std::string> folders;  // to make for it (kFolder)
  bool refused = false;              // reported already; not listed
};

struct Run {
  Run(const Language& l, const Answers& a) : language(l), answers(a) {}
  const Language& language;
  Answers answers;
  bool utf8 = false;
  Mode mode = Mode::kScreen;
  std::vector<Source> sources;
  InOrder* out = nullptr;
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};  // a source could not be listed
  std::atomic<bool> errors{false};  // an error was reported (for --check)
};

std::string message_line(std::string_view program, std::string_view text) {
  std::string line(program);
  line += ": ";
  line += text;
  line += '\n';
  return line;
}

// Lists source `k` of the run into its part of the output.
void list_one(Run& run, std::size_t k) {
  const Source& source = run.sources[k];
  const int reports_fd =
      run.mode == Mode::kCheck ? platform::kStandardOutput : platform::kStandardError;
  Sink screen(
      [&run, k, converted = std::string()](std::string_view bytes) mutable {
        if (run.utf8) {
          converted.clear();
          append_glyphs_in_utf8(bytes, converted);
          bytes = converted;
        }
        run.out->add(k, platform::kStandardOutput, bytes);
      },
      "standard output");
  Sink reported(
      [&run, k, reports_fd](std::string_view bytes) { run.out->add(k, reports_fd, bytes); },
      "standard error");
  Sink nowhere([](std::string_view) {}, "nowhere");
  CompilerForm reports(source.name, reported);
  try {
    if (run.mode == Mode::kScreen && run.sources.size() > 1) {
      const std::string heading =
          (k > 0 ? "\r\n==> " : "==> ") + shown_safely(source.name) + " <==\r\n";
      run.out->add(k, platform::kStandardOutput, heading);
    }
    FileListing job;
    job.name = source.name;
    job.source_fd = source.argument == "-" ? platform::kStandardInput : -1;
    job.output = source.listing;
    job.folders = source.folders;
    job.utf8 = run.utf8;
    job.reports = run.mode == Mode::kScreen ? nullptr : &reports;
    const Frame frame = run.language.frame(run.answers);
    const std::unique_ptr<BlockScanner> scanner = run.language.scanner(run.answers);
    list_file(job, frame, *scanner, run.mode == Mode::kCheck ? nowhere : screen);
    screen.flush();
    reported.flush();
  } catch (const Fatal& failure) {
    // What was listed and reported before the failure comes before it.
    screen.flush();
    reported.flush();
    run.out->add(k, platform::kStandardError, message_line(run.language.program, failure.what()));
    run.failed = true;
  } catch (const std::bad_alloc&) {
    run.out->add(k, platform::kStandardError, message_line(run.language.program, "out of memory"));
    run.failed = true;
  }
  if (reports.errors()) {
    run.errors = true;
  }
}

// Lists the sources of the run that are left, one after another, until none is left.
void list_sources(Run& run) {
  while (!run.out->stopped()) {
    const std::size_t k = run.next++;
    if (k >= run.sources.size()) {
      return;
    }
    try {
      if (!run.sources[k].refused) {
        list_one(run, k);
      }
      run.out->close(k);
    } catch (const Stopped&) {
      return;
    }
  }
}

bool ends_in_separator(std::string_view name) {
  return !name.empty() && platform::kSeparators.find(name.back()) != std::string_view::npos;
}

// What the system tells of source `source`, or nothing (identified stays false) for one that
// cannot be described: its listing reports why.
platform::FileInfo describe_source(const Source& source) {
  platform::FileInfo info;
  if (source.argument == "-") {
    platform::describe(platform::kStandardInput, info);
  } else {
    platform::describe_path(source.argument, info);
  }
  return info;
}

// Refuses, before anything is listed, what would write over a source of the run: a listing file
// that is one, or a standard stream of the run's output that is one. Returns false when the
// whole run is refused.
bool refuse_writing_over_sources(Run& run) {
  std::vector<platform::FileInfo> infos;
  for (const Source& source : run.sources) {
    infos.push_back(describe_source(source));
  }
  const auto is_a_source = [&](const platform::FileInfo& info) {
    return std::any_of(infos.begin(), infos.end(),
                       [&](const platform::FileInfo& s) { return platform::same_file(s, info); });
  };
  // The stream that carries the listings or the reports.
  const bool on_output = run.mode == Mode::kScreen || run.mode == Mode::kCheck;
  const int stream = on_output ? platform::kStandardOutput : platform::kStandardError;
  platform::FileInfo written;
  if (platform::describe(stream, written) == 0 && is_a_source(written)) {
    const std::string text = std::string("cannot write '") +
                             (on_output ? "standard output" : "standard error") +
                             "': it is the source file";
    platform::write_all(platform::kStandardError, message_line(run.language.program, text));
    return false;
  }
  for (std::size_t k = 0; k < run.sources.size(); ++k) {
    Source& source = run.sources[k];
    platform::FileInfo target;
    if (source.listing.empty() || platform::describe_path(source.listing, target) != 0 ||
        !is_a_source(target)) {
      continue;
    }
    source.refused = true;
    run.failed = true;
    const std::string what = platform::same_file(infos[k], target)
                                 ? "it is the source file"
                                 : "it is a source file of this run";
    platform::write_all(
        platform::kStandardError,
        message_line(run.language.program,
                     "cannot create " + nest::quoted(source.listing) + ": " + what));
  }
  return true;
}

// Refuses the sources whose listings in the folder would be one file.
void refuse_shared_listings(Run& run) {
  std::map<std::string, std::size_t> first;  // a listing name (lower case where case is not
                                             // told apart) and the first source listed there
  for (std::size_t k = 0; k < run.sources.size(); ++k) {
    std::string key = run.sources[k].listing;
    if (platform::kNamesIgnoreCase) {
      for (char& c : key) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
      }
    }
    const auto [at, inserted] = first.emplace(key, k);
    if (inserted) {
      continue;
    }
    Source& earlier = run.sources[at->second];
    Source& later = run.sources[k];
    earlier.refused = true;
    later.refused = true;
    run.failed = true;
    platform::write_all(
        platform::kStandardError,
        message_line(run.language.program,
                     nest::quoted(earlier.argument) + " and " + nest::quoted(later.argument) +
                         " would have the same listing " + nest::quoted(later.listing) +
                         ": neither is listed"));
  }
}

std::string usage_footer(std::string_view program) {
  return std::string("\nWithout arguments, ") + std::string(program) +
         " asks for the source, the listing and each setting in turn.\n"
         "Exit status: 0 after complete listings; with --check, 1 when an error was reported;\n"
         "2 when a file could not be listed or written, or the command line is wrong.\n";
}

}  // namespace

std::string listing_in_folder(std::string_view folder, std::string_view source,
                              std::string_view separators, std::vector<std::string>& folders) {
  std::vector<std::string_view> names;
  // A drive letter, where names have them, becomes a folder of its own, which ".." never leaves.
  std::size_t kept = 0;
  if (separators.find('\\') != std::string_view::npos && source.size() >= 2 && source[1] == ':') {
    names.push_back(source.substr(0, 1));
    kept = 1;
    source.remove_prefix(2);
  }
  std::size_t at = 0;
  while (at <= source.size()) {
    std::size_t end = source.find_first_of(separators, at);
    if (end == std::string_view::npos) {
      end = source.size();
    }
    const std::string_view name = source.substr(at, end - at);
    if (name == "..") {
      if (names.size() > kept) {
        names.pop_back();
      }
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    at = end + 1;
  }
  std::string path(folder);
  while (path.size() > 1 && separators.find(path.back()) != std::string_view::npos) {
    path.pop_back();
  }
  folders.clear();
  // The folder itself and the folders on the way to it, as far as they are named.
  for (std::size_t k = 1; k < path.size(); ++k) {
    if (separators.find(path[k]) != std::string_view::npos &&
        separators.find(path[k - 1]) == std::string_view::npos && path[k - 1] != ':') {
      folders.push_back(path.substr(0, k));
    }
  }
  folders.push_back(path);
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (separators.find(path.back()) == std::string_view::npos) {
      path += '/';
    }
    path += names[k];
    if (k + 1 < names.size()) {
      folders.push_back(path);
    }
  }
  return path + ".lst";
}

int run_command_line(const Language& language, int argc, const char* const* argv) {
  platform::start_process();
  const std::string program(language.program);
  const auto say = [&](int fd, std::string_view text) { platform::write_all(fd, text); };

  CLI::App app(std::string(language.summary), program);
  app.allow_windows_style_options(false);
  app.set_help_flag("-h,--help", "show this help");
  app.set_version_flag("--version", program + " " + NEST_VERSION, "show the version");
  Answers answers;
  answers.maxlen = language.maxlen;
  std::string glyphs = "plain";
  std::string output;
  bool check = false;
  unsigned jobs = platform::processors();
  std::vector<std::string> files;
  app.get_formatter()->column_width(24);
  app.add_option("-n,--numbers", answers.numcol, "line numbers in source column COL (0: none)")
      ->type_name("COL");
  app.add_option("-g,--glyphs", glyphs, "plain (the default), ibm (code page 437) or utf8")
      ->type_name("SET")
      ->check(CLI::IsMember({"plain", "ibm", "utf8"}).description(""));
  app.add_option("-w,--max-length", answers.maxlen,
                 "warn about lines longer than N (" + std::to_string(language.maxlen) + ")")
      ->type_name("N");
  if (language.idl_switches) {
    app.add_flag("--warn-end", answers.warnend, "warn when a plain \"end\" ends an inner block");
    app.add_flag("--warn-quotes", answers.warnquote, "report quotes left open at a line's end");
  }
  CLI::Option* output_option =
      app.add_option("-o,--output", output, "the listing file, or the folder of the listings")
          ->type_name("FILE");
  app.add_flag("-c,--check", check, "no listing: the errors and warnings on standard output")
      ->excludes(output_option);
  app.add_option("-j,--jobs", jobs, "files listed at once (default: the processors available)")
      ->type_name("N")
      ->check(CLI::Range(1U, 1U << 20).description(""));
  app.add_option("FILE", files, "the sources; - is standard input")->required()->type_name("");
  app.footer(usage_footer(program));
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    say(platform::kStandardOutput, app.help());
    return 0;
  } catch (const CLI::CallForVersion& version) {
    say(platform::kStandardOutput, std::string(version.what()) + "\n");
    return 0;
  } catch (const CLI::ParseError& error) {
    say(platform::kStandardError,
        message_line(program, error.what()) + "Try '" + program + " --help'.\n");
    return 2;
  }

  Run run(language, answers);
  run.utf8 = glyphs == "utf8";
  run.answers.ibmpc = glyphs != "plain";
  const bool folder = !output.empty() && (files.size() > 1 || ends_in_separator(output) || [&] {
    platform::FileInfo info;
    return platform::describe_path(output, info) == 0 && info.directory;
  }());
  run.mode = check             ? Mode::kCheck
             : folder          ? Mode::kFolder
             : !output.empty() ? Mode::kFile
                               : Mode::kScreen;
  for (const std::string& file : files) {
    Source source;
    source.argument = file;
    source.name = file == "-" ? std::string(kStandardInputName) : file;
    if (run.mode == Mode::kFile) {
      source.listing = output;
    } else if (run.mode == Mode::kFolder) {
      source.listing = listing_in_folder(output, file, platform::kSeparators, source.folders);
    }
    run.sources.push_back(std::move(source));
  }
  if (run.mode == Mode::kFolder) {
    refuse_shared_listings(run);
  }
  if (!refuse_writing_over_sources(run)) {
    return 2;
  }

  InOrder out(run.sources.size());
  run.out = &out;
  const std::size_t threads =
      std::min<std::size_t>({jobs, run.sources.size(), platform::kTemporaries});
  std::vector<std::thread> listers;
  int error = 0;
  int failed_fd = -1;
  try {
    for (std::size_t k = 0; k < threads; ++k) {
      listers.emplace_back(list_sources, std::ref(run));
    }
  } catch (const std::system_error&) {
    if (listers.empty()) {
      say(platform::kStandardError, message_line(program, "cannot start a thread"));
      return 2;
    }
  }
  error = out.write_out(failed_fd);
  for (std::thread& lister : listers) {
    lister.join();
  }
  if (error == EPIPE) {
    return 2;  // the reader has gone: nothing more to say
  }
  if (error != 0) {
    say(platform::kStandardError,
        message_line(program,
                     system_failure("cannot write",
                                    failed_fd == platform::kStandardOutput ? "standard output"
                                                                           : "standard error",
                                    error)
                         .what()));
    return 2;
  }
  if (run.failed) {
    return 2;
  }
  return check && run.errors ? 1 : 0;
}

}  // namespace nest
