// Byte streams of a run: buffered output sinks, buffered input sources, and the one exception
// type that carries a failure of the environment to the program's main.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/padded_text.h"
#include "core/simd.h"

namespace nest {

class Reports;

/// `size` bytes left as they are, for a buffer that is written before it is read. (What
/// std::make_unique_for_overwrite does, which not every standard library has yet.)
inline std::unique_ptr<char[]> uninitialised_bytes(std::size_t size) {
  return std::unique_ptr<char[]>(new char[size]);
}

/// A failure of the environment (a file, console input, a write). It unwinds to main, which
/// writes "<program>: <what()>" on standard error and returns 2.
class Fatal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Quotes a name for a one-line diagnostic on standard error, its controls shown as '?' (see
/// shown_safely): the tab and the letters of a name in UTF-8 pass.
std::string quoted(std::string_view name);

/// Builds the text of a Fatal for a failed system call: "<action> '<name>': <strerror(err)>".
Fatal system_failure(std::string_view action, std::string_view name, int err);

/// Owns a file descriptor and closes it on destruction.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();

  int get() const { return fd_; }
  int release();

 private:
  int fd_ = -1;
};

/// Buffered output to a file descriptor, or into a string for tests and fuzzers.
///
/// Bytes are written as they are: no locale, no conversion. A failing write throws Fatal naming
/// the sink.
class Sink {
 public:
  /// Writes to `fd`, which stays owned by the caller; `name` is used in diagnostics.
  Sink(int fd, std::string name);
  /// Collects everything written into `*memory`.
  explicit Sink(std::string* memory);
  /// Hands each block of bytes written out to `drain` (which may throw Fatal); a `drain` that
  /// does nothing makes a sink that throws away what it is given.
  Sink(std::function<void(std::string_view)> drain, std::string name);
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;
  /// Does not flush: a destructor cannot report a failure. Callers flush.
  ~Sink();

  void write(std::string_view bytes) {
    if (bytes.size() > capacity_ - used_) {
      write_through(bytes);
      return;
    }
    copy_bytes(buffer_.get() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
  }
  void put(char c) {
    if (used_ == capacity_) {
      flush_buffer();
    }
    buffer_[used_++] = c;
  }
  /// Room for `size` bytes (at most kRoom) after what is buffered, for the caller to fill and
  /// then keep with commit(); writes the buffer out first when it has less room.
  char* room(std::size_t size) {
    if (size > capacity_ - used_) {
      flush_buffer();
    }
    return buffer_.get() + used_;
  }
  /// Keeps the first `size` bytes written at room().
  void commit(std::size_t size) { used_ += size; }
  /// The most that room() can give.
  static constexpr std::size_t kRoom = 1 << 16;
  /// Writes `count` blanks.
  void blanks(std::size_t count);
  /// Writes `bytes` followed by the record end CR LF.
  void record(std::string_view bytes) {
    write(bytes);
    write("\r\n");
  }
  /// Writes out everything buffered; throws Fatal on failure.
  void flush();
  /// The number of bytes written but not yet written out.
  std::size_t buffered() const { return used_; }
  /// The descriptor written to; -1 for a sink in memory.
  int fd() const { return fd_; }
  const std::string& name() const { return name_; }

 private:
  static constexpr std::size_t kBufferSize = kRoom;
  void write_through(std::string_view bytes);
  void flush_buffer();
  void write_fd(std::string_view bytes);

  int fd_ = -1;
  std::string* memory_ = nullptr;
  std::function<void(std::string_view)> drain_;
  std::string name_;
  std::unique_ptr<char[]> buffer_;  // made at the first write: many sinks of tests stay empty
  std::size_t capacity_ = 0;        // size of buffer_
  std::size_t used_ = 0;            // bytes buffered
};

/// Where a plain line ends: the position of the first byte of `bytes` outside 32 to 127, when
/// that is a LF or a CR and lies in the first `limit` bytes; npos when no such byte lies there,
/// or another one comes first.
inline std::size_t plain_line_end(std::string_view bytes, std::size_t limit) {
  // Views made directly, not by substr: its check for a bad position is a call on every line.
  const std::string_view head(bytes.data(), std::min(limit, bytes.size()));
  const std::size_t end = find_outside_printable(head, 0);
  return end < head.size() && (head[end] == '\n' || head[end] == '\r') ? end
                                                                         : std::string_view::npos;
}

/// Buffered input from a file descriptor, or from bytes in memory.
///
/// Lines end at LF, CR LF or a lone CR. After a CR the source does not wait for the next byte to
/// see whether it is a LF: it remembers the CR and skips a LF that starts the next read, so an
/// answer typed at a console that sends a bare CR is taken at once.
class ByteSource {
 public:
  static constexpr int kEnd = -1;      ///< end of input
  static constexpr int kLineEnd = -2;  ///< the end of the current line

  /// Reads from `fd`, which stays owned by the caller; `name` is used in diagnostics.
  ByteSource(int fd, std::string name);
  /// Reads the bytes of `memory`.
  explicit ByteSource(std::string memory);
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;

  /// Reads the next line into `line`: its first `cap` bytes; the rest of a longer line is read
  /// and thrown away. The line end is not part of the line. Returns false, leaving `line` empty,
  /// when the input ends before the line has a byte or a line end. Throws Fatal on a read error.
  bool read_line(std::string& line, std::size_t cap);

  /// As above, but `line` views the line where it lies in the input buffer (or, for a line
  /// that crosses the buffer's end, a copy kept in the source): no copy for most lines. The
  /// view is valid until the next read from this source.
  bool read_line(std::string_view& line, std::size_t cap);

  /// As above, and tells in `plain` whether every byte of the line as given lies in 32 to 127;
  /// false may also be said of a plain line that crosses the buffer's end. A plain line lies in
  /// the input buffer, which owns kPadding bytes past it, and stays valid until the second read
  /// from the system after it: so it is still there when the next read finds the end.
  ///
  /// performance-critical; please benchmark any changes.
  bool read_line(std::string_view& line, std::size_t cap, bool& plain) {
    // Most lines are short and plain and end well inside the buffer. They end inside `cap` as
    // well, so that only read_any_line cuts a line and says what the cut lost.
    std::string_view rest = window_;
    if (pending_cr_ && !rest.empty() && rest.front() == '\n') {
      rest.remove_prefix(1);
    }
    if (const std::size_t end = plain_line_end(rest, std::min(kInlineSearch, cap));
        end != std::string_view::npos) {
      line = std::string_view(rest.data(), end);
      plain = true;
      pending_cr_ = rest[end] == '\r';
      window_ = std::string_view(rest.data() + end + 1, rest.size() - end - 1);
      return true;
    }
    return read_any_line(line, cap, plain);
  }

  /// After read_line gave a line of `cap` bytes: whether the rest of the line that it threw away
  /// held a byte that is printable and not a blank (33 to 127), text that a listing would show.
  bool lost_text() const { return lost_text_; }

  /// The next byte of the current line (0 to 255), kLineEnd at its end (the line end is
  /// consumed), or kEnd at the end of input.
  int get_in_line();

  /// Throws away the rest of the current line, its line end included.
  void skip_line();

  /// From now on, writes out everything buffered in `sink` before each read from the system, so
  /// that what the user should see is on the screen before this source waits for its input.
  void flush_before_reading(Sink& sink) { flushed_first_ = &sink; }

  const std::string& name() const { return name_; }

 private:
  static constexpr std::size_t kInlineSearch = 64;  // bytes searched for a line end inline
  static constexpr std::size_t kBlock = 1 << 16;    // bytes asked for by each read
  bool read_any_line(std::string_view& line, std::size_t cap, bool& plain);
  bool fill();  // false at end of input
  void skip_pending_lf();

  int fd_ = -1;
  std::string name_;
  std::string storage_;      // two halves of kBlock bytes read in turn, then kPadding bytes
  std::size_t half_ = 0;     // the half that the next read goes into
  std::string_view window_;  // bytes not yet consumed
  std::string spill_;        // a line that crosses the end of the buffer
  bool pending_cr_ = false;  // the last line ended at a CR; a LF that follows belongs to it
  bool at_end_ = false;
  bool lost_text_ = false;   // the last line read_any_line gave lost text past its cap
  Sink* flushed_first_ = nullptr;  // flushed before each read
};

/// Where the records of a run go.
struct Streams {
  Sink& console;  ///< console output: questions, echoes, copies of messages, the bell
  Sink& listing;  ///< the listing file, or the console itself when the listing goes to the screen
  bool tofile;    ///< true when the listing goes to a named file
  /// A run from the command line: the console gets no copy of a report, no line and no bell
  /// (the message record of a screen listing stays in it).
  bool quiet = false;
  /// When set, each report also goes here, in the form compilers use.
  Reports* reports = nullptr;
};

}  // namespace nest
