// Runs one program and writes its wall time and peak resident memory to a file. The throughput
// driver starts the programs through this small process, so that the pages of the driver itself
// never count in a child's peak (a forked child starts out charged with its parent's pages).
//
// Usage: measure RESULT_FILE PROGRAM [ARGUMENT...]; standard input and output are passed on.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: measure RESULT_FILE PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  timespec start{}, stop{};
  ::clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execv(argv[2], argv + 2);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) < 0) {
    std::perror("measure");
    return 2;
  }
  ::clock_gettime(CLOCK_MONOTONIC, &stop);
  std::FILE* result = std::fopen(argv[1], "w");
  if (result == nullptr) {
    std::perror("measure");
    return 2;
  }
  const double seconds = static_cast<double>(stop.tv_sec - start.tv_sec) +
                         static_cast<double>(stop.tv_nsec - start.tv_nsec) * 1e-9;
  std::fprintf(result, "%.9f %ld\n", seconds, usage.ru_maxrss);
  std::fclose(result);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
