// The floor of the throughput benchmark: the least work any listing of a source must do. It
// reads each line (ended by LF, CR LF or a lone CR; at most 5000 bytes of it kept, as a listing
// keeps) and writes 13 blanks, the line and CR LF, through buffers as large as the programs use.
//
// Usage: floor SOURCE LISTING
//        floor --tree LIST FOLDER
// The second form lists, in one process, every source named in the file LIST (one path per
// line) into FOLDER/<path>.lst, making the folders on the way as a listing into a folder does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr std::size_t kBlock = 1 << 16;
constexpr std::size_t kKept = 5000;

class Output {
 public:
  explicit Output(int fd) : fd_(fd) { buffer_.reserve(kBlock); }
  void write(const char* bytes, std::size_t size) {
    if (buffer_.size() + size > kBlock) {
      flush();
    }
    buffer_.append(bytes, size);
  }
  void flush() {
    const char* at = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0) {
      const ssize_t done = ::write(fd_, at, left);
      if (done < 0) {
        if (errno == EINTR) {
          continue;
        }
        std::perror("floor: write");
        std::_Exit(2);
      }
      at += done;
      left -= static_cast<std::size_t>(done);
    }
    buffer_.clear();
  }

 private:
  int fd_;
  std::string buffer_;
};

}  // namespace

namespace {

int list(const char* source, const char* target) {
  const int in = ::open(source, O_RDONLY);
  const int out = ::open(target, O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (in < 0 || out < 0) {
    std::perror("floor: open");
    return 2;
  }
  Output listing(out);
  static char block[kBlock];
  std::string line;
  line.reserve(kKept);
  bool in_line = false;
  bool after_cr = false;
  const auto end_line = [&] {
    listing.write("             ", 13);
    listing.write(line.data(), line.size());
    listing.write("\r\n", 2);
    line.clear();
    in_line = false;
  };
  for (;;) {
    const ssize_t got = ::read(in, block, kBlock);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      std::perror("floor: read");
      return 2;
    }
    if (got == 0) {
      break;
    }
    const char* at = block;
    const char* const end = block + got;
    if (after_cr && *at == '\n') {
      ++at;
    }
    after_cr = false;
    while (at < end) {
      const char* lf =
          static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
      const char* stop = lf != nullptr ? lf : end;
      const char* cr =
          static_cast<const char*>(std::memchr(at, '\r', static_cast<std::size_t>(stop - at)));
      const char* text_end = cr != nullptr ? cr : stop;
      const std::size_t room = kKept - line.size();
      const std::size_t length = static_cast<std::size_t>(text_end - at);
      line.append(at, length < room ? length : room);
      in_line = true;
      if (text_end == end) {
        break;
      }
      end_line();
      at = text_end + 1;
      if (cr != nullptr) {
        if (at < end && *at == '\n') {
          ++at;
        } else if (at == end) {
          after_cr = true;
        }
      }
    }
  }
  if (in_line) {
    end_line();
  }
  listing.flush();
  ::close(in);
  return ::close(out) == 0 ? 0 : 2;
}

int list_tree(const char* names, const std::string& folder) {
  std::FILE* list_file = std::fopen(names, "r");
  if (list_file == nullptr) {
    std::perror("floor: open");
    return 2;
  }
  char name[4096];
  while (std::fgets(name, sizeof name, list_file) != nullptr) {
    std::string source(name);
    source.pop_back();  // its line end
    const std::string target = folder + "/" + source + ".lst";
    for (std::size_t at = target.find('/'); at != std::string::npos;
         at = target.find('/', at + 1)) {
      ::mkdir(target.substr(0, at).c_str(), 0777);
    }
    if (list(source.c_str(), target.c_str()) != 0) {
      return 2;
    }
  }
  std::fclose(list_file);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--tree") {
    return list_tree(argv[2], argv[3]);
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: floor SOURCE LISTING | floor --tree LIST FOLDER\n");
    return 2;
  }
  return list(argv[1], argv[2]);
}
