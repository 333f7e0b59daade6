#include "core/line_feed.h"

#include <algorithm>
#include <utility>

#include "core/reader.h"
#include "core/simd.h"
#include "core/text.h"
#include "core/worker.h"

namespace nest {

struct LineFeed::Batch {
  Batch(const ReadAhead& ring, bool tofile)
      : sizes(ring), text(uninitialised_bytes(ring.text)),
        streams{console_sink, listing_sink, tofile} {
    ends.reserve(ring.lines);
  }

  // A batch takes one line at least: an empty batch ends the source.
  bool full() const {
    return !ends.empty() &&
           (ends.size() == sizes.lines || text_size + kTextWidth > sizes.text ||
            listing.size() + listing_sink.buffered() + console.size() + console_sink.buffered() >=
                sizes.held);
  }
  void clear() {
    ends.clear();
    text_size = 0;
    held.clear();
    listing.clear();
    console.clear();
    last = false;
    failure = nullptr;
  }

  const ReadAhead& sizes;
  std::unique_ptr<char[]> text;
  std::size_t text_size = 0;
  std::vector<std::uint32_t> ends;  // where each line's text ends; the next one starts there
  // Each line's number, beside its end: as many as a batch takes lines.
  std::unique_ptr<Form[]> forms = std::make_unique<Form[]>(sizes.lines);
  std::vector<Held> held;           // in the order of their lines
  std::string listing;              // what irdlin wrote to the listing
  std::string console;              // and to the console
  Sink listing_sink{&listing};
  Sink console_sink{&console};
  Streams streams;
  bool last = false;           // the source ends after its lines
  std::exception_ptr failure;  // what ended the reading, if not the end of the source
};

LineFeed::LineFeed(ByteSource& source, int maxlen, bool tofile, ReadAhead settings)
    : sizes_(settings) {
  sizes_.batches = std::max<std::size_t>(sizes_.batches, 2);
  sizes_.lines = std::max<std::size_t>(sizes_.lines, 1);
  sizes_.text = std::max<std::size_t>(sizes_.text, kTextWidth);
  for (std::size_t k = 0; k < sizes_.batches; ++k) {
    batches_.push_back(std::make_unique<Batch>(sizes_, tofile));
  }
  if (settings.thread == nullptr) {
    own_thread_ = std::make_unique<Worker>();
  }
  reader_ = settings.thread != nullptr ? settings.thread : own_thread_.get();
  reader_->start([this, &source, maxlen] { read_all(source, maxlen); });
}

LineFeed::~LineFeed() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  reader_->wait();
}

void LineFeed::read_all(ByteSource& source, int maxlen) {
  LineBuffer line;
  Form form;
  form.fill(' ');
  std::int64_t linecount = 0;
  for (std::size_t k = 0;; ++k) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || k < freed_ + sizes_.batches; });
      if (stopping_) {
        return;
      }
    }
    Batch& batch = *batches_[k % sizes_.batches];
    batch.clear();
    try {
      while (!batch.full()) {
        const std::size_t listing_before = batch.listing.size() + batch.listing_sink.buffered();
        const std::size_t console_before = batch.console.size() + batch.console_sink.buffered();
        if (irdlin(source, batch.streams, maxlen, line, linecount, form)) {
          batch.last = true;
          break;
        }
        const std::string_view text = line.view();
        copy_bytes(batch.text.get() + batch.text_size, text.data(), text.size());
        batch.text_size += text.size();
        const std::size_t listing_after = batch.listing.size() + batch.listing_sink.buffered();
        const std::size_t console_after = batch.console.size() + batch.console_sink.buffered();
        if (listing_after != listing_before || console_after != console_before) {
          batch.held.push_back({static_cast<std::uint32_t>(batch.ends.size()),
                                static_cast<std::uint32_t>(listing_after),
                                static_cast<std::uint32_t>(console_after)});
        }
        batch.ends.push_back(static_cast<std::uint32_t>(batch.text_size));
        batch.forms[batch.ends.size() - 1] = form;
      }
    } catch (...) {
      batch.failure = std::current_exception();
      batch.last = true;
    }
    // The output held for the lines read, whether or not the reading failed after them. A sink
    // in memory only fails for want of memory, and then nothing more can be done.
    try {
      batch.listing_sink.flush();
      batch.console_sink.flush();
    } catch (...) {
      batch.ends.clear();
      batch.held.clear();
      batch.failure = std::current_exception();
      batch.last = true;
    }
    {
      const std::lock_guard lock(mutex_);
      filled_ = k + 1;
    }
    changed_.notify_all();
    if (batch.last) {
      return;
    }
  }
}

bool LineFeed::next_batch() {
  Batch* next = nullptr;
  if (current_ == nullptr || !current_->last) {
    const std::size_t index = freed_ + (current_ != nullptr ? 1 : 0);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return filled_ > index; });
    next = batches_[index % sizes_.batches].get();
  }
  if (next == nullptr || next->ends.empty()) {
    // The end: the last line, if any, stays where it is.
    Batch* const ended = next != nullptr ? next : current_;
    if (ended->failure) {
      std::rethrow_exception(std::exchange(ended->failure, nullptr));
    }
    return false;
  }
  if (current_ != nullptr) {
    {
      const std::lock_guard lock(mutex_);
      ++freed_;
    }
    changed_.notify_all();
  }
  current_ = next;
  text_ = next->text.get();
  ends_ = next->ends.data();
  forms_ = next->forms.get();
  count_ = next->ends.size();
  held_lines_ = next->held.data();
  held_count_ = next->held.size();
  taken_ = 0;
  held_ = 0;
  listing_written_ = 0;
  console_written_ = 0;
  return true;
}

void LineFeed::write_held(Streams& streams) {
  const Held& held = held_lines_[held_++];
  streams.listing.write(std::string_view(current_->listing)
                            .substr(listing_written_, held.listing_end - listing_written_));
  streams.console.write(std::string_view(current_->console)
                            .substr(console_written_, held.console_end - console_written_));
  listing_written_ = held.listing_end;
  console_written_ = held.console_end;
}

}  // namespace nest
