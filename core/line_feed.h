// The source lines of a listing, read a batch ahead on a thread of their own.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/streams.h"
#include "core/text.h"

namespace nest {

class Worker;

/// How a LineFeed reads ahead: a ring of `batches` batches, each ending at `lines` lines, when its
/// `text` bytes could not take one more line of 5000 columns, or at `held` bytes of output held
/// back for its lines; on `thread` when one is given (a thread kept from feed to feed, which must
/// have no job going on), else on a thread of the feed's own.
struct ReadAhead {
  std::size_t batches = 4;
  std::size_t lines = 4096;
  std::size_t text = std::size_t{1} << 18;
  std::size_t held = std::size_t{1} << 16;
  Worker* thread = nullptr;
};

/// Reads the lines of a source as irdlin does, on a thread of its own, in batches of up to a few
/// thousand lines while the caller lists the ones before. What irdlin writes for a line (a page
/// break, its warnings) is held back and written when the line is taken, so both streams get
/// the same bytes in the same order as when each line is read in its turn.
///
/// For a source that is a regular file: reading it never waits for long, so the reading thread
/// can always be stopped.
class LineFeed {
 public:
  /// Starts reading `source` for a listing that goes to a file (`tofile`) or to the screen, its
  /// warnings using `maxlen`. Sizes below the least that works (two batches, text for one line)
  /// are raised to it; a batch takes one line whatever its sizes. Throws std::system_error when
  /// no thread can be started.
  LineFeed(ByteSource& source, int maxlen, bool tofile, ReadAhead settings = {});
  LineFeed(const LineFeed&) = delete;
  LineFeed& operator=(const LineFeed&) = delete;
  /// Stops the reading and waits for it.
  ~LineFeed();

  /// The next line, as irdlin delivers it, and its number in `form`, after writing to `streams`
  /// what irdlin wrote for it (a page break, warnings). False at the end of the source, leaving
  /// `form` as it is; there it throws what stopped the reading, if anything did. A line stays
  /// valid until the next call that gives a line: after the end, the last line stays valid.
  ///
  /// performance-critical; please benchmark any changes.
  bool next(std::string_view& line, Form& form, Streams& streams) {
    if (taken_ == count_ && !next_batch()) {
      return false;
    }
    const std::uint32_t begin = taken_ == 0 ? 0 : ends_[taken_ - 1];
    if (held_ < held_count_ && held_lines_[held_].line == taken_) {
      write_held(streams);
    }
    line = std::string_view(text_ + begin, ends_[taken_] - begin);
    form = forms_[taken_];
    ++taken_;
    return true;
  }

 private:
  // Output that irdlin wrote for a line of a batch: up to these offsets of its held strings.
  struct Held {
    std::uint32_t line = 0;
    std::uint32_t listing_end = 0;
    std::uint32_t console_end = 0;
  };
  struct Batch;

  void read_all(ByteSource& source, int maxlen);  // the reading thread
  bool next_batch();
  void write_held(Streams& streams);

  ReadAhead sizes_;
  std::vector<std::unique_ptr<Batch>> batches_;
  Batch* current_ = nullptr;  // the batch lines are taken from, and what next() needs of it:
  const char* text_ = nullptr;
  const std::uint32_t* ends_ = nullptr;
  const Form* forms_ = nullptr;
  std::size_t count_ = 0;
  const Held* held_lines_ = nullptr;
  std::size_t held_count_ = 0;
  std::size_t taken_ = 0;  // lines taken from it
  std::size_t held_ = 0;   // its held output written
  std::size_t listing_written_ = 0;
  std::size_t console_written_ = 0;

  std::mutex mutex_;
  std::condition_variable changed_;  // a batch filled or freed, or the end
  std::size_t filled_ = 0;           // batches filled so far, in turn
  std::size_t freed_ = 0;            // batches given back so far
  bool stopping_ = false;
  std::unique_ptr<Worker> own_thread_;
  Worker* reader_ = nullptr;  // reads once everything it uses is there
};

}  // namespace nest
