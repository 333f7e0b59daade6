#include "core/worker.h"

#include <utility>

namespace nest {

Worker::Worker() : thread_([this] { run(); }) {}

Worker::~Worker() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void Worker::start(std::function<void()> job) {
  {
    const std::lock_guard lock(mutex_);
    job_ = std::move(job);
    busy_ = true;
  }
  wake_.notify_one();
}

void Worker::wait() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return !busy_; });
}

void Worker::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || busy_; });
    if (!busy_) {
      return;  // stopping, with no job left
    }
    const std::function<void()> job = std::move(job_);
    lock.unlock();
    job();
    lock.lock();
    busy_ = false;
    done_.notify_one();
  }
}

}  // namespace nest
