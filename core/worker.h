// A thread of the run's own for input and output, so that the copies to and from the kernel
// overlap the work on the lines.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace nest {

/// Runs one job at a time on a thread of its own. The caller hands over a job, goes on with its
/// work and waits for the job when it needs its result; whatever the job writes is then safe
/// to read.
class Worker {
 public:
  /// Throws std::system_error when no thread can be started.
  Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  /// Waits for the job going on, if any, then ends the thread.
  ~Worker();

  /// Starts `job`. Only when no job is going on: at first, or after wait().
  void start(std::function<void()> job);
  /// Waits until the job started last has finished.
  void wait();

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable wake_;  // a job, or the end
  std::condition_variable done_;  // the job has finished
  std::function<void()> job_;
  bool busy_ = false;
  bool stopping_ = false;
  std::thread thread_;  // last: it starts once the members it uses exist
};

}  // namespace nest
