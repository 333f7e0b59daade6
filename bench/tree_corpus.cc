// Writes a tree of realistic sources for the whole-tree benchmark: COUNT IDL or C programs in
// nested folders, their sizes spread evenly on a log scale from 400 bytes to 40 KB (a few
// hundred lines at most, most of them small, as the files of a real tree are). Prints the path
// of each file, one per line, relative to FOLDER. The same arguments always give the same bytes.
//
// Usage: tree_corpus FOLDER idl|c COUNT
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/corpus.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: tree_corpus FOLDER idl|c COUNT\n");
    return 2;
  }
  const std::string folder = argv[1];
  const bool idl = std::string(argv[2]) == "idl";
  const long count = std::atol(argv[3]);
  bench::Random random(20);
  ::mkdir(folder.c_str(), 0777);
  for (long k = 0; k < count; ++k) {
    const std::string top = "m" + std::to_string(k % 20);
    const std::string sub = top + "/s" + std::to_string(k / 20 % 25);
    ::mkdir((folder + "/" + top).c_str(), 0777);
    ::mkdir((folder + "/" + sub).c_str(), 0777);
    const double share = static_cast<double>(random.below(1000000)) / 1e6;
    const auto bytes = static_cast<std::uint64_t>(400.0 * std::pow(100.0, share));
    const std::string name = sub + "/f" + std::to_string(k) + (idl ? ".pro" : ".c");
    const std::string text = idl ? bench::idl_source(bytes, static_cast<std::uint64_t>(k) + 1)
                                 : bench::c_source(bytes, static_cast<std::uint64_t>(k) + 1);
    std::FILE* out = std::fopen((folder + "/" + name).c_str(), "wb");
    if (out == nullptr || std::fwrite(text.data(), 1, text.size(), out) != text.size() ||
        std::fclose(out) != 0) {
      std::perror(name.c_str());
      return 2;
    }
    std::printf("%s\n", name.c_str());
  }
  return 0;
}
