// The listing file's life: where the listing that the user named is written, how it takes the
// place of an old listing, and which outputs are refused.
#pragma once

#include <span>
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
/// made with the old file's permission bits, which takes its place once the listing is complete
/// and everything else the run writes has been written: a run that fails, or is ended by a
/// signal, leaves the old listing as it was and no file of its own. A regular file beside which
/// no new file can be made is refused. Written in place are what is not a regular file (a device,
/// a FIFO), and standard output's own file (through standard output itself).
class Output {
 public:
  /// Opens the output `name` of a listing of the files `sources`. Refuses, before anything is
  /// made, any of `sources` and the file that standard input reads (unless it is a terminal or
  /// another device).
  Output(const std::string& name, std::span<const platform::FileInfo> sources, const Sink& console);
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

  /// Writes out and closes the listing written through `listing`, writes out what `console`
  /// holds, and only then puts a new file in its place. Throws Fatal when any of it fails, and
  /// has then replaced nothing.
  void finish(Sink& listing, Sink& console);

 private:
  void refuse_if_read(const platform::FileInfo& info,
                      std::span<const platform::FileInfo> sources) const;
  int make_temporary(const platform::FileInfo* replaced);

  std::string name_;       // as the user named it
  std::string target_;     // the file it leads to, which a new file replaces
  std::string temporary_;  // the new file, until it takes its place
  UniqueFd fd_;
  bool regular_ = false;
  bool through_console_ = false;
};

}  // namespace nest
