// Runs a fuzz harness over the files named on the command line, and over every file in each
// folder named, without libFuzzer: so that a finding reproduces in any build, g++ and gdb
// included.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "cannot read '%s'\n", file.c_str());
    std::exit(2);
  }
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 0;
  for (int k = 1; k < argc; ++k) {
    const std::filesystem::path named(argv[k]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(named)) {
      for (const auto& entry : std::filesystem::directory_iterator(named)) {
        if (entry.is_regular_file()) {
          files.push_back(entry.path());
        }
      }
      std::sort(files.begin(), files.end());
    } else {
      files.push_back(named);
    }
    for (const auto& file : files) {
      replay(file);
      ++count;
    }
  }
  std::printf("replayed %zu inputs\n", count);
  return 0;
}
