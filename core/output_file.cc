#include "core/output_file.h"

#include <cerrno>
#include <utility>

namespace nest {

void check_name(std::string_view action, const std::string& name) {
  if (name.find('\0') != std::string::npos) {
    throw system_failure(action, name, EINVAL);
  }
}

bool console_writes_to(const Sink& console, const platform::FileInfo& info) {
  platform::FileInfo standard_output;
  return console.fd() >= 0 && platform::describe(console.fd(), standard_output) == 0 &&
         platform::same_file(standard_output, info);
}

Output::Output(const std::string& name, const platform::FileInfo& source, const Sink& console)
    : name_(name) {
  check_name("cannot create", name);
  platform::FileInfo existing;
  const int found = platform::describe_path(name, existing);
  if (found == 0 && platform::same_file(existing, source)) {
    refuse();
  }
  if (found == ENOENT && make_temporary(false)) {
    return;  // a new listing (or one that a dangling link names)
  }
  int fd = -1;
  const int error = found == 0 ? platform::open_existing_for_writing(name, fd)
                               : platform::open_for_writing(name, fd);
  if (error != 0) {
    throw system_failure("cannot create", name, error);
  }
  UniqueFd opened(fd);
  platform::FileInfo info;
  if (const int failure = platform::describe(fd, info); failure != 0) {
    throw system_failure("cannot create", name, failure);
  }
  if (platform::same_file(info, source)) {
    refuse();
  }
  if (console_writes_to(console, info)) {
    // Opened again and emptied, it would lose what the console wrote there and be overwritten
    // by what it writes next: the listing goes through standard output's own file instead.
    through_console_ = true;
    return;
  }
  regular_ = info.regular;
  permissions_ = info.permissions;
  if (regular_ && found == 0 && make_temporary(true)) {
    return;
  }
  if (regular_) {
    if (const int failure = platform::truncate(fd); failure != 0) {
      throw system_failure("cannot create", name, failure);
    }
  }
  fd_ = std::move(opened);
}

Output::~Output() {
  if (!temporary_.empty()) {
    platform::close(fd_.release());
    platform::discard_temporary(temporary_);
  }
}

void Output::finish(Sink& sink) {
  sink.flush();
  if (replacing_) {
    if (const int error = platform::set_permissions(fd_.get(), permissions_); error != 0) {
      throw system_failure("cannot write", name_, error);
    }
  }
  if (const int error = platform::close(fd_.release()); error != 0) {
    throw system_failure("cannot write", name_, error);
  }
  if (!temporary_.empty()) {
    const std::string made = std::exchange(temporary_, "");
    if (const int error = platform::replace_with_temporary(made, target_); error != 0) {
      platform::discard_temporary(made);
      throw system_failure("cannot write", name_, error);
    }
  }
}

void Output::refuse() const {
  throw Fatal("cannot create " + quoted(name_) + ": it is the source file");
}

// Makes the new file that will take the place of the one that `name_` leads to (`existing`: a
// file stands there, whose permissions it takes); false when none can be made there.
bool Output::make_temporary(bool existing) {
  target_ = platform::final_name(name_);
  int fd = -1;
  if (platform::create_temporary(target_, fd, temporary_) != 0) {
    temporary_.clear();
    return false;
  }
  fd_ = UniqueFd(fd);
  regular_ = true;
  replacing_ = existing;
  return true;
}

}  // namespace nest
