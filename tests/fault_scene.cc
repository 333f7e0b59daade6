#include "tests/fault_scene.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace nest::testing {

FifoFeeder::FifoFeeder(std::string path, std::function<void(const Writer&)> produce)
    : path_(std::move(path)) {
  std::signal(SIGPIPE, SIG_IGN);  // a reader that goes early makes write() fail instead
  if (::mkfifo(path_.c_str(), 0600) != 0) {
    throw std::runtime_error("mkfifo " + path_ + " failed");
  }
  thread_ = std::thread([this, produce = std::move(produce)] {
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);  // waits for the reader
    if (fd < 0) {
      return;
    }
    ::fcntl(fd, F_SETPIPE_SZ, 1 << 20);  // fewer, larger transfers; a hint only
    produce([this, fd](std::string_view bytes) {
      while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) {
          continue;
        }
        if (put <= 0) {
          return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
        written_ += static_cast<std::size_t>(put);
      }
      return true;
    });
    ::close(fd);
  });
}

std::size_t FifoFeeder::finish() {
  if (thread_.joinable()) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      ::close(fd);
    }
    thread_.join();
  }
  return written_;
}

FifoDrain::FifoDrain(std::string path)
    : thread_([this, path = std::move(path)] {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
          return;
        }
        char buffer[1 << 16];
        ssize_t got = 0;
        while ((got = ::read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
          if (got > 0) {
            bytes_.append(buffer, static_cast<std::size_t>(got));
          }
        }
        ::close(fd);
      }) {}

const std::string& FifoDrain::finish() {
  if (thread_.joinable()) {
    thread_.join();
  }
  return bytes_;
}

void Gate::open() {
  {
    const std::lock_guard lock(mutex_);
    open_ = true;
  }
  changed_.notify_all();
}

void Gate::wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return open_; });
}

Scene::~Scene() {
  finish_feeding();
  for (const std::string& folder : locked_) {
    ::chmod(folder.c_str(), 0700);
  }
  for (const std::string& folder : mounted_) {
    ::umount2(folder.c_str(), MNT_DETACH);
  }
}

void Scene::feed(std::string_view name, std::function<void(const FifoFeeder::Writer&)> produce) {
  feeders.push_back(std::make_unique<FifoFeeder>(dir / name, std::move(produce)));
}

void Scene::finish_feeding() {
  gate.open();
  for (const auto& feeder : feeders) {
    fed += feeder->finish();
  }
  feeders.clear();
  if (drain != nullptr) {
    drained = drain->finish();
    drain.reset();
  }
}

std::size_t Scene::fed_so_far() const {
  std::size_t sum = 0;
  for (const auto& feeder : feeders) {
    sum += feeder->fed_so_far();
  }
  return sum;
}

void Scene::start_draining(std::string_view name) {
  drain = std::make_unique<FifoDrain>(dir / name);
}

bool Scene::mount_small_folder(std::string_view name, int inodes, std::size_t bytes) {
  const std::string folder = dir / name;
  std::filesystem::create_directory(folder);
  // In a mount namespace of this process's own, so that nothing is left mounted if it dies.
  static const bool own_namespace =
      ::unshare(CLONE_NEWNS) == 0 &&
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  const std::string options =
      "size=" + std::to_string(bytes) + ",nr_inodes=" + std::to_string(inodes) + ",mode=0755";
  if (!own_namespace || ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
    skipped = "a small file system cannot be mounted here: " + std::string(std::strerror(errno));
    return false;
  }
  mounted_.push_back(folder);
  return true;
}

void Scene::lock(std::string_view name) {
  const std::string folder = dir / name;
  ::chmod(folder.c_str(), 0555);
  locked_.push_back(folder);
}

std::string mode_of(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return "none";
  }
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(info.st_mode & 07777));
  return text;
}

std::map<std::string, std::string> snapshot(const std::string& folder, std::string_view skipped) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> entries;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    std::string name = fs::relative(entry.path(), folder).string();
    if (name == skipped) {
      continue;
    }
    std::string what;
    switch (entry.symlink_status().type()) {
      case fs::file_type::regular: {
        std::ifstream in(entry.path(), std::ios::binary);
        what = "file " + mode_of(entry.path().string()) + ":" +
               std::string(std::istreambuf_iterator<char>(in), {});
        break;
      }
      case fs::file_type::symlink:
        what = "link:" + fs::read_symlink(entry.path()).string();
        break;
      case fs::file_type::directory:
        what = "folder " + mode_of(entry.path().string());
        break;
      case fs::file_type::fifo:
        what = "fifo";
        break;
      default:
        what = "other";
        break;
    }
    entries.emplace(std::move(name), std::move(what));
  }
  return entries;
}

std::string differences(const std::map<std::string, std::string>& before,
                        const std::map<std::string, std::string>& after) {
  std::string out;
  for (const auto& [name, what] : before) {
    const auto found = after.find(name);
    if (found == after.end()) {
      out += " lost:" + name;
    } else if (found->second != what) {
      out += " changed:" + name;
    }
  }
  for (const auto& [name, what] : after) {
    if (!before.contains(name)) {
      out += " new:" + name;
    }
  }
  return out;
}

}  // namespace nest::testing
