// The POSIX side of the platform unit: Linux, the BSDs and macOS.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

#include "core/platform.h"

namespace nest::platform {

namespace {

// Waits until `fd`, left non-blocking by another program, is ready for `events`.
void wait_for(int fd, short events) {
  pollfd ready{fd, events, 0};
  while (::poll(&ready, 1, -1) < 0 && errno == EINTR) {
  }
}

}  // namespace

void start_process() {
  std::signal(SIGPIPE, SIG_IGN);
#if defined(SIGXFSZ)
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

int open_for_reading(const std::string& name, int& fd) {
  fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  return fd < 0 ? errno : 0;
}

int open_for_writing(const std::string& name, int& fd) {
  fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  return fd < 0 ? errno : 0;
}

int describe(int fd, FileInfo& info) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    return errno;
  }
  info.identified = true;
  info.device = static_cast<std::uint64_t>(status.st_dev);
  info.index = static_cast<std::uint64_t>(status.st_ino);
  info.regular = S_ISREG(status.st_mode);
  info.directory = S_ISDIR(status.st_mode);
  info.permissions = static_cast<unsigned>(status.st_mode & 07777);
  return 0;
}

int truncate(int fd) {
  return ::ftruncate(fd, 0) == 0 ? 0 : errno;
}

int read(int fd, char* to, std::size_t size, std::size_t& got) {
  for (;;) {
    const ssize_t count = ::read(fd, to, size);
    if (count >= 0) {
      got = static_cast<std::size_t>(count);
      return 0;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      wait_for(fd, POLLIN);
    } else if (errno != EINTR) {
      return errno;
    }
  }
}

int write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      wait_for(fd, POLLOUT);
    } else if (errno != EINTR) {
      return errno;
    }
  }
  return 0;
}

int close(int fd) {
  return ::close(fd) == 0 ? 0 : errno;
}

bool is_terminal(int fd) {
  return ::isatty(fd) == 1;
}

bool several_processors() {
#if defined(__linux__)
  // The processors this process may run on, which may be fewer than the machine has.
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    return CPU_COUNT(&allowed) > 1;
  }
#endif
  return std::thread::hardware_concurrency() > 1;
}

}  // namespace nest::platform
