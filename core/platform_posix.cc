// The POSIX side of the platform unit: Linux, the BSDs and macOS.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

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

void describe_status(const struct stat& status, FileInfo& info) {
  info.identified = true;
  info.device = static_cast<std::uint64_t>(status.st_dev);
  info.index = static_cast<std::uint64_t>(status.st_ino);
  info.regular = S_ISREG(status.st_mode);
  info.directory = S_ISDIR(status.st_mode);
  info.pipe = S_ISFIFO(status.st_mode);
  info.permissions = static_cast<unsigned>(status.st_mode & 07777);
  info.owner = static_cast<std::uint32_t>(status.st_uid);
  info.group = static_cast<std::uint32_t>(status.st_gid);
}

// The temporary files to remove when a signal ends the process, one for each listing being
// written at the same time. A signal handler can only reach what is kept here, and may only call
// what is safe in one: so fixed buffers and flags, each flag set only once its name is complete.
char interrupted_removes[kTemporaries][PATH_MAX + 1];
volatile std::sig_atomic_t removal_armed[kTemporaries] = {};
std::mutex removals_in_use;  // between the threads that arm and disarm

extern "C" void remove_and_end(int signal_number) {
  for (int k = 0; k < kTemporaries; ++k) {
    if (removal_armed[k] != 0) {
      ::unlink(interrupted_removes[k]);
    }
  }
  // Ends the process as the signal would have: its status says so to the caller.
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

// Catches every signal whose default is to end the process, but the faults of the
// program itself (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS), which are left to the system
// and to the tools that report them. A signal that the process was told to ignore (nohup) stays
// ignored; SIGPIPE and SIGXFSZ are ignored from the start, so that they fail a write instead.
void install_handlers() {
  std::vector<int> ending = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGABRT};
#if defined(SIGXCPU)
  ending.push_back(SIGXCPU);
#endif
#if defined(SIGVTALRM)
  ending.push_back(SIGVTALRM);
#endif
#if defined(SIGPROF)
  ending.push_back(SIGPROF);
#endif
#if defined(SIGPOLL)
  ending.push_back(SIGPOLL);
#endif
#if defined(SIGSTKFLT)
  ending.push_back(SIGSTKFLT);
#endif
#if defined(SIGPWR)
  ending.push_back(SIGPWR);
#endif
#if defined(SIGEMT)
  ending.push_back(SIGEMT);
#endif
#if defined(SIGLOST)
  ending.push_back(SIGLOST);
#endif
#if defined(SIGRTMIN) && defined(SIGRTMAX)
  for (int real_time = SIGRTMIN; real_time <= SIGRTMAX; ++real_time) {
    ending.push_back(real_time);
  }
#endif
  for (const int signal_number : ending) {
    struct sigaction old {};
    if (::sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) {
      continue;
    }
    struct sigaction action {};
    action.sa_handler = remove_and_end;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal_number, &action, nullptr);
  }
}

// Installs the handlers once, whichever of the run's threads makes the first temporary file: the
// others wait until they are in place, so that no file is made before a signal would remove it.
void catch_interruptions() {
  static const bool installed = (install_handlers(), true);
  static_cast<void>(installed);
}

// Arms the removal of `name` in a free place, or disarms the place that holds `name`, with the
// signals held off so that the handler never sees a name half written.
void arm_removal(const std::string& name, bool arm) {
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &before);
  {
    const std::lock_guard<std::mutex> lock(removals_in_use);
    for (int k = 0; k < kTemporaries; ++k) {
      if (arm && removal_armed[k] == 0 && name.size() < sizeof interrupted_removes[k]) {
        std::memcpy(interrupted_removes[k], name.c_str(), name.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        removal_armed[k] = 1;
        break;
      }
      if (!arm && removal_armed[k] != 0 && name == interrupted_removes[k]) {
        removal_armed[k] = 0;
        break;
      }
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
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

int open_existing_for_writing(const std::string& name, int& fd) {
  fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
  return fd < 0 ? errno : 0;
}

int describe(int fd, FileInfo& info) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    return errno;
  }
  describe_status(status, info);
  return 0;
}

int describe_path(const std::string& name, FileInfo& info) {
  struct stat status {};
  if (::stat(name.c_str(), &status) != 0) {
    return errno;
  }
  describe_status(status, info);
  return 0;
}

std::string final_name(const std::string& name) {
  std::string at = name;
  // As many links as the system itself follows; a loop ends there, and the open reports it.
  for (int links = 0; links < 40; ++links) {
    std::string target(PATH_MAX, '\0');
    const ssize_t size = ::readlink(at.c_str(), target.data(), target.size());
    if (size < 0 || static_cast<std::size_t>(size) >= target.size()) {
      return at;
    }
    target.resize(static_cast<std::size_t>(size));
    const std::size_t slash = at.rfind('/');
    if (target.front() != '/' && slash != std::string::npos) {
      target.insert(0, at.substr(0, slash + 1));  // relative to the link's own folder
    }
    at = std::move(target);
  }
  return at;
}

namespace {

// Gives the new file `fd` what the file `replaced` had: its owner and group where the process may
// (only root gives a file away), then its permission bits, the group's dropped when the group is
// not kept, so that no one gains a right on the listing that they had not.
int take_over(int fd, const FileInfo& replaced) {
  struct stat made {};
  if (::fstat(fd, &made) != 0) {
    return errno;
  }
  if (made.st_uid != replaced.owner || made.st_gid != replaced.group) {
    if (::fchown(fd, static_cast<uid_t>(replaced.owner), static_cast<gid_t>(replaced.group)) != 0) {
      static_cast<void>(::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(replaced.group)));
    }
    if (::fstat(fd, &made) != 0) {
      return errno;
    }
  }
  auto permissions = static_cast<mode_t>(replaced.permissions);
  if (made.st_gid != replaced.group) {
    permissions &= ~static_cast<mode_t>(S_IRWXG | S_ISGID);
  }
  return ::fchmod(fd, permissions) == 0 ? 0 : errno;
}

// The longest name a file may have in the folder of `target`.
std::size_t longest_name(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  return longest > 0 ? static_cast<std::size_t>(longest) : 255;
}

}  // namespace

int create_temporary(const std::string& target, const FileInfo* replaced, int& fd,
                     std::string& name) {
  catch_interruptions();
  // Seeded once for each thread: a run that lists many files makes a temporary file for each.
  thread_local std::mt19937 random(std::random_device{}());
  const std::size_t name_max = longest_name(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    name =
        temporary_name(target, "/", static_cast<std::uint32_t>(random()), name_max, PATH_MAX - 1);
    if (name.empty()) {
      return ENAMETOOLONG;
    }
    // Armed before the file is made: another thread may take a signal while this one is between
    // the two, and the file must not outlive the process then. Only a file of this name that
    // stands there already (one of this program's own hidden files, by its name) could be
    // removed in that moment.
    arm_removal(name, true);
    fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                replaced != nullptr ? 0600 : 0666);
    if (fd < 0) {
      const int error = errno;
      arm_removal(name, false);
      if (error != EEXIST) {
        return error;
      }
      continue;
    }
    if (replaced != nullptr) {
      if (const int error = take_over(fd, *replaced); error != 0) {
        ::close(fd);
        discard_temporary(name);
        return error;
      }
    }
    return 0;
  }
  return EEXIST;
}

int replace_with_temporary(const std::string& temporary, const std::string& target) {
  const int error = ::rename(temporary.c_str(), target.c_str()) == 0 ? 0 : errno;
  arm_removal(temporary, false);
  return error;
}

void discard_temporary(const std::string& temporary) {
  arm_removal(temporary, false);
  ::unlink(temporary.c_str());
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

unsigned processors() {
#if defined(__linux__)
  // The processors this process may run on, which may be fewer than the machine has.
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    return static_cast<unsigned>(CPU_COUNT(&allowed));
  }
#endif
  return std::max(std::thread::hardware_concurrency(), 1U);
}

int make_folder(const std::string& name) {
  return ::mkdir(name.c_str(), 0777) == 0 ? 0 : errno;
}

}  // namespace nest::platform
