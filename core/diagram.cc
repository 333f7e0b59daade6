#include "core/diagram.h"

#include <cerrno>
#include <string>
#include <utility>

#include "core/output_file.h"
#include "core/platform.h"
#include "core/reader.h"
#include "core/text_helpers.h"

namespace nest {

namespace {

constexpr std::string_view kRuler =
    "....,....1....,....2....,....3....,....4....,....5....,....6....,....7....,....8";

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

// The listing loop: each line from `lines` through the scanner and the renderer.
//
// performance-critical; please benchmark any changes.
void list_lines(LineReader& lines, const Frame& frame, BlockScanner& scanner, Streams& streams) {
  Form form;
  form.fill(' ');
  LineState state;
  GlyphTable glyphs;
  PaddedView b;
  PaddedView last;  // the report at the end quotes the last line
  while (lines.next(b, form, streams)) {
    scanner.scan(b, form, state, streams);
    formline(b, state, form, frame.render, glyphs, streams);
    last = b;
  }
  scanner.finish(last, form, state, streams);
}

}  // namespace

void list_source(ByteSource& source, std::string_view filnam, const Frame& frame,
                 BlockScanner& scanner, Streams& streams) {
  write_heading(filnam, frame, streams);
  LineReader reader(source, frame.maxlen);
  list_lines(reader, frame, scanner, streams);
}

void diagram(std::string_view filnam, std::string_view filnam2, const Frame& frame,
             BlockScanner& scanner, Sink& console) {
  const std::string source_name(trimmed(filnam));
  platform::FileInfo source_info;
  const UniqueFd source_fd = open_source(source_name, source_info);
  ByteSource source(source_fd.get(), source_name);

  // Standard output redirected to the source would have the run read back what it writes,
  // listing or echoes, without end.
  if (console_writes_to(console, source_info)) {
    throw Fatal("cannot write 'standard output': it is the source file");
  }
  if (!names_a_file(filnam2)) {
    // What the listing shows is on the screen before the source is waited for.
    source.flush_before_reading(console);
    Streams streams{console, console, false};
    list_source(source, filnam, frame, scanner, streams);
    return;
  }
  const std::string output_name(trimmed(filnam2));
  // The dialogue is on the console before an output that waits for a reader (a FIFO) is opened.
  console.flush();
  Output output(output_name, {&source_info, 1}, console);
  if (output.through_console()) {
    Streams streams{console, console, true};
    list_source(source, filnam, frame, scanner, streams);
    return;
  }
  Sink file(output.fd(), output_name);
  Streams streams{console, file, true};
  list_source(source, filnam, frame, scanner, streams);
  output.finish(file, console);
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
  Output output(output_name, {&source_info, 1}, nowhere);
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
  output.finish(file, nowhere);
}

}  // namespace nest
