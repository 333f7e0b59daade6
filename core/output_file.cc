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

Output::Output(const std::string& name, std::span<const platform::FileInfo> sources,
               const Sink& console)
    : name_(name) {
  check_name("cannot create", name);
  platform::FileInfo existing;
  const int found = platform::describe_path(name, existing);
  if (found == 0) {
    refuse_if_read(existing, sources);
  }
  if (found == ENOENT) {
    // A new listing (or one that a dangling link names).
    if (const int error = make_temporary(nullptr); error != 0) {
      throw system_failure("cannot create", name, error);
    }
    return;
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
  refuse_if_read(info, sources);
  if (console_writes_to(console, info)) {
    // Opened again and emptied, it would lose what the console wrote there and be overwritten
    // by what it writes next: the listing goes through standard output's own file instead.
    through_console_ = true;
    return;
  }
  regular_ = info.regular;
  if (!regular_) {
    fd_ = std::move(opened);
    return;
  }
  // Written over in place, the old listing would be lost to a run that fails halfway.
  if (const int failure = make_temporary(&info); failure != 0) {
    throw system_failure("cannot create a new file beside", name, failure);
  }
}

Output::~Output() {
  if (!temporary_.empty()) {
    platform::close(fd_.release());
    platform::discard_temporary(temporary_);
  }
}

void Output::finish(Sink& listing, Sink& console) {
  listing.flush();
  if (const int error = platform::close(fd_.release()); error != 0) {
    throw system_failure("cannot write", name_, error);
  }
  // The last of the console may fail too, and then the old listing must still be there.
  console.flush();
  if (!temporary_.empty()) {
    const std::string made = std::exchange(temporary_, "");
    if (const int error = platform::replace_with_temporary(made, target_); error != 0) {
      platform::discard_temporary(made);
      throw system_failure("cannot write", name_, error);
    }
  }
}

// A listing written into a file that the run reads would read itself back, or hang on it.
void Output::refuse_if_read(const platform::FileInfo& info,
                            std::span<const platform::FileInfo> sources) const {
  for (const platform::FileInfo& source : sources) {
    if (platform::same_file(info, source)) {
      throw Fatal("cannot create " + quoted(name_) + ": it is the source file");
    }
  }
  // A terminal or another device may well be both: only a file or a pipe is refused.
  platform::FileInfo input;
  if (platform::describe(platform::kStandardInput, input) == 0 && (input.regular || input.pipe) &&
      platform::same_file(info, input)) {
    throw Fatal("cannot create " + quoted(name_) + ": it is standard input");
  }
}

// Makes the new file that will take the place of the one that `name_` leads to, with what
// `replaced` (the file there, if any) has; returns 0 or the error.
int Output::make_temporary(const platform::FileInfo* replaced) {
  target_ = platform::final_name(name_);
  int fd = -1;
  if (const int error = platform::create_temporary(target_, replaced, fd, temporary_); error != 0) {
    temporary_.clear();
    return error;
  }
  fd_ = UniqueFd(fd);
  regular_ = true;
  return 0;
}

}  // namespace nest
