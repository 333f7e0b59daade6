#include "core/diagram.h"

#include <cerrno>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include "core/line_feed.h"
#include "core/platform.h"
#include "core/reader.h"
#include "core/text_helpers.h"

namespace nest {

namespace {

constexpr std::string_view kRuler =
    "....,....1....,....2....,....3....,....4....,....5....,....6....,....7....,....8";

// The system takes a name as a C string, so a name holding a NUL byte would silently name
// another file.
void check_name(std::string_view action, const std::string& name) {
  if (name.find('\0') != std::string::npos) {
    throw system_failure(action, name, EINVAL);
  }
}

UniqueFd open_source(const std::string& name, platform::FileInfo& info) {
  check_name("cannot open", name);
  int fd = -1;
  if (const int error = platform::open_for_reading(name, fd); error != 0) {
    throw system_failure("cannot open", name, error);
  }
  UniqueFd source(fd);
  if (const int error = platform::describe(fd, info); error != 0) {
    throw system_failure("cannot open", name, error);
  }
  if (info.directory) {
    throw system_failure("cannot open", name, EISDIR);
  }
  return source;
}

// Whether `console` writes to the file `info` describes (standard output redirected to it).
bool console_writes_to(const Sink& console, const platform::FileInfo& info) {
  platform::FileInfo standard_output;
  return console.fd() >= 0 && platform::describe(console.fd(), standard_output) == 0 &&
         platform::same_file(standard_output, info);
}

// The listing file that the user named. A regular file is written into a new file beside it,
// which takes its place once the listing is complete and closed: a run that fails, or is
// interrupted, leaves the old listing as it was and no file of its own. Written in place are
// what is not a regular file (a device, a FIFO), standard output's own file (through standard
// output itself), and an existing file in a folder where no new file can be made.
class Output {
 public:
  // Opens the output `name`, refusing the source's own file before anything is made.
  Output(const std::string& name, const platform::FileInfo& source, const Sink& console)
      : name_(name) {
    check_name("cannot create", name);
    platform::FileInfo existing;
    const int found = platform::describe_path(name, existing);
    if (found == 0 && platform::same_file(existing, source)) {
      refuse();
    }
    if (found == ENOENT && make_temporary(false)) {
      return;  // a new listing (or one that a dangling link names)
    }
    int fd = -1;
    const int error = found == 0 ? platform::open_existing_for_writing(name, fd)
                                 : platform::open_for_writing(name, fd);
    if (error != 0) {
      throw system_failure("cannot create", name, error);
    }
    UniqueFd opened(fd);
    platform::FileInfo info;
    if (const int failure = platform::describe(fd, info); failure != 0) {
      throw system_failure("cannot create", name, failure);
    }
    if (platform::same_file(info, source)) {
      refuse();
    }
    if (console_writes_to(console, info)) {
      // Opened again and emptied, it would lose what the console wrote there and be overwritten
      // by what it writes next: the listing goes through standard output's own file instead.
      through_console_ = true;
      return;
    }
    regular_ = info.regular;
    permissions_ = info.permissions;
    if (regular_ && found == 0 && make_temporary(true)) {
      return;
    }
    if (regular_) {
      if (const int failure = platform::truncate(fd); failure != 0) {
        throw system_failure("cannot create", name, failure);
      }
    }
    fd_ = std::move(opened);
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output() {
    if (!temporary_.empty()) {
      platform::close(fd_.release());
      platform::discard_temporary(temporary_);
    }
  }

  bool through_console() const { return through_console_; }
  bool regular() const { return regular_; }
  int fd() const { return fd_.get(); }

  // Closes the listing written through `sink` and, for a new file, puts it in its place.
  void finish(Sink& sink) {
    sink.flush();
    if (replacing_) {
      if (const int error = platform::set_permissions(fd_.get(), permissions_); error != 0) {
        throw system_failure("cannot write", name_, error);
      }
    }
    if (const int error = platform::close(fd_.release()); error != 0) {
      throw system_failure("cannot write", name_, error);
    }
    if (!temporary_.empty()) {
      const std::string made = std::exchange(temporary_, "");
      if (const int error = platform::replace_with_temporary(made, target_); error != 0) {
        platform::discard_temporary(made);
        throw system_failure("cannot write", name_, error);
      }
    }
  }

 private:
  [[noreturn]] void refuse() const {
    throw Fatal("cannot create " + quoted(name_) + ": it is the source file");
  }
  // Makes the new file that will take the place of the one that `name_` leads to (`existing`:
  // a file stands there, whose permissions it takes); false when none can be made there.
  bool make_temporary(bool existing) {
    target_ = platform::final_name(name_);
    int fd = -1;
    if (platform::create_temporary(target_, fd, temporary_) != 0) {
      temporary_.clear();
      return false;
    }
    fd_ = UniqueFd(fd);
    regular_ = true;
    replacing_ = existing;
    return true;
  }

  std::string name_;           // as the user named it
  std::string target_;         // the file it leads to, which a new file replaces
  std::string temporary_;      // the new file, until it takes its place
  UniqueFd fd_;
  bool regular_ = false;
  bool through_console_ = false;
  bool replacing_ = false;     // an existing file is replaced: its permissions are kept
  unsigned permissions_ = 0;
};

// The answer names a file when its first byte that is not a blank sorts above the blank.
bool names_a_file(std::string_view filnam2) {
  const std::size_t first = filnam2.find_first_not_of(' ');
  return first != std::string_view::npos && static_cast<unsigned char>(filnam2[first]) > ' ';
}

// What comes before the first line: the page header (when listing to a file, naming `filnam`;
// its control bytes are shown as '?', as the listing file is shown on a terminal later), the
// ruler and an empty record.
void write_heading(std::string_view filnam, const Frame& frame, Streams& streams) {
  Sink& listing = streams.listing;
  if (streams.tofile) {
    listing.write(" \f=============--");
    listing.write(shown_safely(upto_lena(filnam)));
    listing.record("--=============");
  }
  listing.blanks(static_cast<std::size_t>(frame.ruler_indent));
  listing.record(kRuler);
  listing.record("");
}

// The listing loop: each line from `lines` (a LineReader or a LineFeed) through the scanner and
// the renderer.
//
// performance-critical; please benchmark any changes.
template <typename Lines>
void list_lines(Lines& lines, const Frame& frame, BlockScanner& scanner, Streams& streams) {
  Form form;
  form.fill(' ');
  LineState state;
  GlyphTable glyphs;
  std::string_view b;
  std::string_view last;  // the report at the end quotes the last line
  while (lines.next(b, form, streams)) {
    scanner.scan(b, form, state, streams);
    formline(b, state, form, frame.render, glyphs, streams);
    last = b;
  }
  scanner.finish(last, form, state, streams);
}

}  // namespace

void list_source(ByteSource& source, std::string_view filnam, const Frame& frame,
                 BlockScanner& scanner, Streams& streams, Reading reading) {
  write_heading(filnam, frame, streams);
  std::unique_ptr<LineFeed> feed;
  if (reading == Reading::kAhead) {
    try {
      feed = std::make_unique<LineFeed>(source, frame.maxlen, streams.tofile, frame.read_ahead);
    } catch (const std::system_error&) {
      // No thread to be had: the lines are read in turn.
    }
  }
  if (feed != nullptr) {
    list_lines(*feed, frame, scanner, streams);
  } else {
    LineReader reader(source, frame.maxlen);
    list_lines(reader, frame, scanner, streams);
  }
}

void diagram(std::string_view filnam, std::string_view filnam2, const Frame& frame,
             BlockScanner& scanner, Sink& console) {
  const std::string source_name(trimmed(filnam));
  platform::FileInfo source_info;
  const UniqueFd source_fd = open_source(source_name, source_info);
  ByteSource source(source_fd.get(), source_name);

  if (!names_a_file(filnam2)) {
    // A listing written into its own source (standard output redirected to it) would read
    // itself back without end.
    if (console_writes_to(console, source_info)) {
      throw Fatal("cannot write 'standard output': it is the source file");
    }
    // What the listing shows is on the screen before the source is waited for.
    source.flush_before_reading(console);
    Streams streams{console, console, false};
    list_source(source, filnam, frame, scanner, streams);
    return;
  }
  const std::string output_name(trimmed(filnam2));
  // The dialogue is on the console before an output that waits for a reader (a FIFO) is opened.
  console.flush();
  Output output(output_name, source_info, console);
  if (output.through_console()) {
    Streams streams{console, console, true};
    list_source(source, filnam, frame, scanner, streams);
    return;
  }
  Sink file(output.fd(), output_name);
  const bool threads = frame.threads == Threads::kWherever ||
                       (frame.threads == Threads::kWherePaying && platform::several_processors());
  if (threads && output.regular()) {
    file.write_behind();
  }
  Streams streams{console, file, true};
  list_source(source, filnam, frame, scanner, streams,
              threads && output.regular() && source_info.regular ? Reading::kAhead
                                                                  : Reading::kInTurn);
  output.finish(file);
}

void list_file(const FileListing& job, const Frame& frame, BlockScanner& scanner, Sink& screen) {
  const std::string source_name(job.name);
  platform::FileInfo source_info;
  UniqueFd opened;
  int fd = job.source_fd;
  if (fd < 0) {
    opened = open_source(source_name, source_info);
    fd = opened.get();
  } else if (const int error = platform::describe(fd, source_info); error != 0) {
    throw system_failure("cannot open", source_name, error);
  }
  ByteSource source(fd, source_name);
  if (job.output.empty()) {
    Streams streams{screen, screen, false, true, job.reports};
    list_source(source, job.name, frame, scanner, streams);
    return;
  }
  for (const std::string& folder : job.folders) {
    check_name("cannot create", folder);
    if (const int error = platform::make_folder(folder); error != 0 && error != EEXIST) {
      throw system_failure("cannot create", folder, error);
    }
  }
  const std::string output_name(job.output);
  Sink nowhere([](std::string_view) {}, "nowhere");
  Output output(output_name, source_info, nowhere);
  // In UTF-8, every glyph after the page header, whose name is left as it is.
  bool in_header = true;
  std::string converted;
  Sink file(
      [&](std::string_view bytes) {
        std::string_view shown = bytes;
        if (job.utf8) {
          converted.clear();
          if (in_header) {
            const std::size_t end = bytes.find('\n');
            converted.append(bytes.substr(0, end));
            bytes = end == std::string_view::npos ? "" : bytes.substr(end);
            in_header = end == std::string_view::npos;
          }
          append_glyphs_in_utf8(bytes, converted);
          shown = converted;
        }
        if (const int error = platform::write_all(output.fd(), shown); error != 0) {
          throw system_failure("cannot write", output_name, error);
        }
      },
      output_name);
  Streams streams{nowhere, file, true, true, job.reports};
  list_source(source, job.name, frame, scanner, streams);
  output.finish(file);
}

}  // namespace nest
