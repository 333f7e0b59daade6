#include "core/streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "core/platform.h"
#include "core/text_helpers.h"

namespace nest {

std::string quoted(std::string_view name) {
  return "'" + shown_safely(name) + "'";
}

Fatal system_failure(std::string_view action, std::string_view name, int err) {
  std::string text(action);
  text += ' ';
  text += quoted(name);
  text += ": ";
  text += platform::error_text(err);
  return Fatal(text);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    UniqueFd old(std::exchange(fd_, other.release()));
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) {
    platform::close(fd_);
  }
}

int UniqueFd::release() {
  return std::exchange(fd_, -1);
}

Sink::Sink(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}

Sink::Sink(std::string* memory) : memory_(memory), name_("memory") {}

Sink::Sink(std::function<void(std::string_view)> drain, std::string name)
    : drain_(std::move(drain)), name_(std::move(name)) {}

Sink::~Sink() = default;

void Sink::blanks(std::size_t count) {
  while (count > 0) {
    if (used_ == capacity_) {
      flush_buffer();
    }
    const std::size_t now = std::min(count, capacity_ - used_);
    std::memset(buffer_.get() + used_, ' ', now);
    used_ += now;
    count -= now;
  }
}

void Sink::flush() {
  flush_buffer();
}

void Sink::write_through(std::string_view bytes) {
  flush_buffer();
  if (bytes.size() >= capacity_) {
    write_fd(bytes);
  } else {
    std::memcpy(buffer_.get(), bytes.data(), bytes.size());
    used_ = bytes.size();
  }
}

void Sink::flush_buffer() {
  if (buffer_ == nullptr) {
    buffer_ = uninitialised_bytes(kBufferSize);
    capacity_ = kBufferSize;
    return;
  }
  if (used_ == 0) {
    return;
  }
  write_fd({buffer_.get(), used_});
  used_ = 0;
}

void Sink::write_fd(std::string_view bytes) {
  if (memory_ != nullptr) {
    memory_->append(bytes);
    return;
  }
  if (drain_) {
    drain_(bytes);
    return;
  }
  if (const int error = platform::write_all(fd_, bytes); error != 0) {
    throw system_failure("cannot write", name_, error);
  }
}

ByteSource::ByteSource(int fd, std::string name) : fd_(fd), name_(std::move(name)) {
  storage_.resize(2 * kBlock + kPadding);
}

ByteSource::ByteSource(std::string memory) : name_("memory"), storage_(std::move(memory)) {
  const std::size_t size = storage_.size();
  storage_.append(kPadding, '\0');
  window_ = std::string_view(storage_.data(), size);
}

bool ByteSource::fill() {
  if (!window_.empty()) {
    return true;
  }
  if (fd_ < 0 || at_end_) {
    return false;
  }
  if (flushed_first_ != nullptr) {
    flushed_first_->flush();
  }
  // Each read goes into the half the last one did not, so the line given last stays where it is.
  char* const into = storage_.data() + half_ * kBlock;
  std::size_t got = 0;
  if (const int error = platform::read(fd_, into, kBlock, got); error != 0) {
    throw system_failure("cannot read", name_, error);
  }
  if (got == 0) {
    at_end_ = true;
    return false;
  }
  half_ ^= 1;
  window_ = std::string_view(into, got);
  return true;
}

void ByteSource::skip_pending_lf() {
  if (pending_cr_) {
    pending_cr_ = false;
    if (fill() && window_.front() == '\n') {
      window_.remove_prefix(1);
    }
  }
}

namespace {

// The position of the first LF or CR in `bytes`, or npos; sets `plain` when every byte before
// it lies in 32 to 127. Most lines are short and plain: their end is found a block at a time; a
// long line, or one with a tab or a control byte, goes to memchr.
std::size_t line_end(std::string_view bytes, bool& plain) {
  constexpr std::size_t kShort = 128;
  if (const std::size_t end = plain_line_end(bytes, kShort); end != std::string_view::npos) {
    plain = true;
    return end;
  }
  plain = false;
  // The CR search only covers the bytes before the LF.
  const void* lf = std::memchr(bytes.data(), '\n', bytes.size());
  const std::size_t upto =
      lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - bytes.data())
                    : bytes.size();
  const void* cr = std::memchr(bytes.data(), '\r', upto);
  if (cr != nullptr) {
    return static_cast<std::size_t>(static_cast<const char*>(cr) - bytes.data());
  }
  return lf != nullptr ? upto : std::string_view::npos;
}

// Whether `bytes` hold text that a listing would show: a byte that is printable and not a blank.
bool holds_text(std::string_view bytes) {
  return find_printable_nonblank(bytes, 0) < bytes.size();
}

}  // namespace

bool ByteSource::read_line(std::string_view& line, std::size_t cap) {
  bool plain = false;
  return read_line(line, cap, plain);
}

bool ByteSource::read_any_line(std::string_view& line, std::size_t cap, bool& plain) {
  line = {};
  plain = false;
  skip_pending_lf();
  if (!fill()) {
    return false;
  }
  // Most lines end inside the buffer and are viewed where they are.
  if (const std::size_t end = line_end(window_, plain); end != std::string_view::npos) {
    line = window_.substr(0, std::min(end, cap));
    lost_text_ = end > cap && holds_text(window_.substr(cap, end - cap));
    pending_cr_ = window_[end] == '\r';
    window_.remove_prefix(end + 1);
    return true;
  }
  plain = false;
  lost_text_ = false;
  spill_.clear();
  for (;;) {
    bool ignored = false;
    const std::size_t end = line_end(window_, ignored);
    const std::size_t length = end != std::string_view::npos ? end : window_.size();
    std::size_t kept = 0;
    if (spill_.size() < cap) {
      kept = std::min(length, cap - spill_.size());
      spill_.append(window_.data(), kept);
    }
    // What is thrown away is looked at only until it shows text.
    lost_text_ = lost_text_ || holds_text(window_.substr(kept, length - kept));
    if (end != std::string_view::npos) {
      pending_cr_ = window_[end] == '\r';
      window_.remove_prefix(end + 1);
      break;
    }
    window_ = {};
    if (!fill()) {
      break;  // a last line without a line end is still a line
    }
  }
  line = spill_;
  return true;
}

bool ByteSource::read_line(std::string& line, std::size_t cap) {
  std::string_view view;
  const bool got = read_line(view, cap);
  line.assign(view);
  return got;
}

int ByteSource::get_in_line() {
  skip_pending_lf();
  if (!fill()) {
    return kEnd;
  }
  const char c = window_.front();
  window_.remove_prefix(1);
  if (c == '\n') {
    return kLineEnd;
  }
  if (c == '\r') {
    pending_cr_ = true;
    return kLineEnd;
  }
  return static_cast<unsigned char>(c);
}

void ByteSource::skip_line() {
  std::string nothing;
  read_line(nothing, 0);
}

}  // namespace nest
