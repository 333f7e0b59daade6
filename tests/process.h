// Runs a built program as a whole process, with its console input piped in, and captures what
// it writes, so that end-to-end tests compare exact bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nest::testing {

struct Outcome {
  int status = -1;       ///< exit status, or 128 + signal number when killed by a signal
  std::string output;    ///< standard output: questions, echoes, the listing on the screen
  std::string error;     ///< standard error
  long max_rss_kib = 0;  ///< the largest resident set of the process, in KiB
};

/// How the standard output of a run is connected.
enum class StandardOutput {
  kCaptured,      ///< a pipe read to its end into Outcome::output
  kClosed,        ///< descriptor 1 is not open at all
  kReaderLeaves,  ///< a pipe whose reader closes it after RunOptions::read_before_leaving bytes
};

/// How a process is started by run().
struct RunOptions {
  StandardOutput output = StandardOutput::kCaptured;
  std::size_t read_before_leaving = 0;  ///< for kReaderLeaves: bytes read before the reader goes
};

/// Runs `program` in the folder `cwd` with `input` as its standard input and no arguments.
Outcome run(const std::string& program, std::string_view input, const std::string& cwd = ".");

/// As above, with standard output connected as `options` says.
Outcome run(const std::string& program, std::string_view input, const std::string& cwd,
            const RunOptions& options);

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

 private:
  std::string path_;
};

/// `text` with every "\n" turned into the record end "\r\n": expected listings read as text.
std::string crlf(std::string_view text);

/// The answers of a dialogue, one line each, ended by LF.
std::string answers(const std::vector<std::string>& lines);

/// `text` without its first `count` records (each ended by CR LF): what follows a dialogue or
/// the header and ruler of a listing.
std::string without_records(const std::string& text, int count);

/// `utf8` with the eight box-drawing characters of the IBM PC glyphs (written in UTF-8 in the
/// tests, so that expected listings read as they look) turned into their code page 437 bytes.
std::string cp437(std::string_view utf8);

}  // namespace nest::testing
