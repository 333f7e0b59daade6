// The Windows side of the platform unit. Files are opened through the C runtime's descriptors,
// in binary mode, with the names taken as the bytes typed (the system reads them in the
// process's code page); the identity of a file is its volume serial number and file index.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <thread>

#include "core/platform.h"

namespace nest::platform {

namespace {

// The error of a failed open, as POSIX gives it: the C runtime calls a folder a failure of access
// and a name too long (MAX_PATH bytes or more, which this program's calls do not take) a missing
// file.
int open_error(const std::string& name) {
  const int error = errno;
  if (_doserrno == ERROR_FILENAME_EXCED_RANGE || (error == ENOENT && name.size() >= MAX_PATH)) {
    return ENAMETOOLONG;
  }
  const DWORD attributes = ::GetFileAttributesA(name.c_str());
  if (error == EACCES && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return EISDIR;
  }
  return error;
}

}  // namespace

void start_process() {
  // No translation of line ends: every record ends in CR LF as written, and a listing on the
  // screen is the bytes of a listing file.
  _setmode(kStandardInput, _O_BINARY);
  _setmode(kStandardOutput, _O_BINARY);
  _setmode(kStandardError, _O_BINARY);
}

int open_for_reading(const std::string& name, int& fd) {
  fd = _open(name.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  return fd < 0 ? open_error(name) : 0;
}

int open_for_writing(const std::string& name, int& fd) {
  fd = _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT,
             _S_IREAD | _S_IWRITE);
  return fd < 0 ? open_error(name) : 0;
}

int describe(int fd, FileInfo& info) {
  struct _stat64 status {};
  if (_fstat64(fd, &status) != 0) {
    return errno;
  }
  info.regular = (status.st_mode & _S_IFMT) == _S_IFREG;
  info.directory = (status.st_mode & _S_IFMT) == _S_IFDIR;
  info.permissions = static_cast<unsigned>(status.st_mode & 0777);
  // st_ino is 0 here: a file's identity is its volume and its index on it. Consoles and pipes
  // have none.
  info.identified = false;
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  BY_HANDLE_FILE_INFORMATION file{};
  if (handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) == FILE_TYPE_DISK &&
      ::GetFileInformationByHandle(handle, &file) != 0) {
    info.identified = true;
    info.device = file.dwVolumeSerialNumber;
    info.index = (std::uint64_t{file.nFileIndexHigh} << 32) | file.nFileIndexLow;
  }
  return 0;
}

int truncate(int fd) {
  return _chsize_s(fd, 0);
}

int read(int fd, char* to, std::size_t size, std::size_t& got) {
  const int count = _read(fd, to, static_cast<unsigned>(size < INT_MAX ? size : INT_MAX));
  if (count < 0) {
    return errno;
  }
  got = static_cast<std::size_t>(count);
  return 0;
}

int write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t now = bytes.size() < INT_MAX ? bytes.size() : INT_MAX;
    const int written = _write(fd, bytes.data(), static_cast<unsigned>(now));
    if (written < 0) {
      // The C runtime calls a pipe whose reader has gone an invalid argument.
      const auto system_error = static_cast<DWORD>(_doserrno);
      return system_error == ERROR_NO_DATA || system_error == ERROR_BROKEN_PIPE ||
                     system_error == ERROR_PIPE_NOT_CONNECTED
                 ? EPIPE
                 : errno;
    }
    if (written == 0) {
      return ENOSPC;  // a disk that takes nothing more
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

int close(int fd) {
  return _close(fd) == 0 ? 0 : errno;
}

bool is_terminal(int fd) {
  return _isatty(fd) != 0;
}

bool several_processors() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) != 0) {
    return (process & (process - 1)) != 0;  // more than one bit set
  }
  return std::thread::hardware_concurrency() > 1;
}

}  // namespace nest::platform
