#include "core/streams.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <unistd.h>

namespace nest {

std::string quoted(std::string_view name) {
  std::string out = "'";
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    out.push_back(byte < 32 || byte == 127 ? '?' : c);
  }
  out.push_back('\'');
  return out;
}

Fatal system_failure(std::string_view action, std::string_view name, int err) {
  std::string text(action);
  text += ' ';
  text += quoted(name);
  text += ": ";
  text += std::strerror(err);
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
    ::close(fd_);
  }
}

int UniqueFd::release() { return std::exchange(fd_, -1); }

Sink::Sink(int fd, std::string name) : fd_(fd), name_(std::move(name)) {
  buffer_.reserve(kBufferSize);
}

Sink::Sink(std::string* memory) : memory_(memory), name_("memory") {}

void Sink::blanks(std::size_t count) {
  while (count > 0) {
    if (buffer_.size() == kBufferSize) {
      flush_buffer();
    }
    const std::size_t room = kBufferSize - buffer_.size();
    const std::size_t now = count < room ? count : room;
    buffer_.append(now, ' ');
    count -= now;
  }
}

void Sink::flush() { flush_buffer(); }

void Sink::write_through(std::string_view bytes) {
  flush_buffer();
  if (bytes.size() >= kBufferSize) {
    write_fd(bytes);
  } else {
    buffer_.append(bytes);
  }
}

void Sink::flush_buffer() {
  if (!buffer_.empty()) {
    write_fd(buffer_);
    buffer_.clear();
  }
}

void Sink::write_fd(std::string_view bytes) {
  if (memory_ != nullptr) {
    memory_->append(bytes);
    return;
  }
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw system_failure("cannot write", name_, errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

ByteSource::ByteSource(int fd, std::string name) : fd_(fd), name_(std::move(name)) {
  storage_.resize(1 << 16);
}

ByteSource::ByteSource(std::string memory)
    : name_("memory"), storage_(std::move(memory)), window_(storage_) {}

bool ByteSource::fill() {
  if (!window_.empty()) {
    return true;
  }
  if (fd_ < 0 || at_end_) {
    return false;
  }
  for (;;) {
    const ssize_t got = ::read(fd_, storage_.data(), storage_.size());
    if (got > 0) {
      window_ = std::string_view(storage_.data(), static_cast<std::size_t>(got));
      return true;
    }
    if (got == 0) {
      at_end_ = true;
      return false;
    }
    if (errno != EINTR) {
      throw system_failure("cannot read", name_, errno);
    }
  }
}

void ByteSource::skip_pending_lf() {
  if (pending_cr_) {
    pending_cr_ = false;
    if (fill() && window_.front() == '\n') {
      window_.remove_prefix(1);
    }
  }
}

bool ByteSource::read_line(std::string& line, std::size_t cap) {
  line.clear();
  skip_pending_lf();
  if (!fill()) {
    return false;
  }
  for (;;) {
    // The line end is the first LF or CR in the window. Two memchr passes are faster than a
    // byte loop, and the CR search only covers the bytes before the LF.
    const char* begin = window_.data();
    const char* end = static_cast<const char*>(std::memchr(begin, '\n', window_.size()));
    const std::size_t upto = end != nullptr ? static_cast<std::size_t>(end - begin) : window_.size();
    const char* cr = static_cast<const char*>(std::memchr(begin, '\r', upto));
    const std::size_t length = cr != nullptr ? static_cast<std::size_t>(cr - begin) : upto;
    if (line.size() < cap) {
      const std::size_t take = length < cap - line.size() ? length : cap - line.size();
      line.append(begin, take);
    }
    if (cr != nullptr || end != nullptr) {
      window_.remove_prefix(length + 1);
      pending_cr_ = cr != nullptr;
      return true;
    }
    window_ = {};
    if (!fill()) {
      return true;  // a last line without a line end is still a line
    }
  }
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
