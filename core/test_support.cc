#include "core/test_support.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace nest::testing {

namespace fs = std::filesystem;

bool make_pipe(int fds[2]) {
#if defined(_WIN32)
  return _pipe(fds, 1 << 16, _O_BINARY) == 0;
#else
  return ::pipe(fds) == 0;
#endif
}

TempDir::TempDir() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate =
        fs::temp_directory_path() / ("nest_test." + std::to_string(random() % 1000000000));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      // Forward slashes: the tests build names with "/", which every system takes.
      path_ = candidate.generic_string();
      return;
    }
  }
  throw std::runtime_error("no temporary folder could be made");
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void TempDir::write(std::string_view name, std::string_view bytes) const {
  std::ofstream file(*this / name, std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempDir::read(std::string_view name) const {
  return read_file(*this / name);
}

std::string TempDir::read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

bool TempDir::exists(std::string_view name) const {
  std::error_code error;
  return fs::exists(fs::symlink_status(*this / name, error));
}

}  // namespace nest::testing
