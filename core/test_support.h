// Captured streams for tests and fuzzers: everything written to the console and to the listing
// file is kept in strings, so that they compare exact bytes without starting a process.
#pragma once

#include <string>
#include <string_view>

#include "core/streams.h"

namespace nest::testing {

class Captured {
 public:
  explicit Captured(bool tofile) : streams_{console_, tofile ? file_ : console_, tofile} {}

  Captured(const Captured&) = delete;
  Captured& operator=(const Captured&) = delete;

  Streams& streams() { return streams_; }
  Sink& console_sink() { return console_; }

  /// Flushes both sinks; after this the strings hold everything written.
  void flush() {
    console_.flush();
    file_.flush();
  }
  /// Forgets everything written, keeping the memory for the next run.
  void clear() {
    flush();
    console_bytes_.clear();
    file_bytes_.clear();
  }

  /// Everything written to the console so far.
  const std::string& console() {
    console_.flush();
    return console_bytes_;
  }
  /// Everything written to the listing file so far.
  const std::string& file() {
    file_.flush();
    return file_bytes_;
  }

 private:
  std::string console_bytes_;
  std::string file_bytes_;
  Sink console_{&console_bytes_};
  Sink file_{&file_bytes_};
  Streams streams_;
};

/// Makes a pipe: `fds[0]` its read end, `fds[1]` its write end, both passing bytes unchanged.
bool make_pipe(int fds[2]);

/// A fresh temporary folder, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }
  void write(std::string_view name, std::string_view bytes) const;
  std::string read(std::string_view name) const;
  bool exists(std::string_view name) const;
  /// The bytes of the file `path`, or nothing when it cannot be read.
  static std::string read_file(const std::string& path);

 private:
  std::string path_;
};

}  // namespace nest::testing
