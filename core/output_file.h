// The listing file's life: where the listing that the user named is written, how it takes the
// place of an old listing, and which outputs are refused.
#pragma once

#include <string>
#include <string_view>

#include "core/platform.h"
#include "core/streams.h"

namespace nest {

/// Throws Fatal "<action> '<name>': Invalid argument" when `name` holds a NUL byte: the system
/// takes a name as a C string, so such a name would silently name another file.
void check_name(std::string_view action, const std::string& name);

/// Whether `console` writes to the file `info` describes (standard output redirected to it).
bool console_writes_to(const Sink& console, const platform::FileInfo& info);

/// The listing file that the user named. A regular file is written into a new file beside it,
/// which takes its place once the listing is complete and closed: a run that fails, or is
/// interrupted, leaves the old listing as it was and no file of its own. Written in place are
/// what is not a regular file (a device, a FIFO), standard output's own file (through standard
/// output itself), and an existing file in a folder where no new file can be made.
class Output {
 public:
  /// Opens the output `name`, refusing the source's own file before anything is made.
  Output(const std::string& name, const platform::FileInfo& source, const Sink& console);
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  /// Removes the new file, unless finish put it in its place.
  ~Output();

  /// The output is standard output's own file: the listing goes through the console instead.
  bool through_console() const { return through_console_; }
  /// The output is a regular file.
  bool regular() const { return regular_; }
  /// Where the listing is written, unless it goes through the console.
  int fd() const { return fd_.get(); }

  /// Closes the listing written through `sink` and, for a new file, puts it in its place.
  void finish(Sink& sink);

 private:
  [[noreturn]] void refuse() const;
  bool make_temporary(bool existing);

  std::string name_;       // as the user named it
  std::string target_;     // the file it leads to, which a new file replaces
  std::string temporary_;  // the new file, until it takes its place
  UniqueFd fd_;
  bool regular_ = false;
  bool through_console_ = false;
  bool replacing_ = false;  // an existing file is replaced: its permissions are kept
  unsigned permissions_ = 0;
};

}  // namespace nest
