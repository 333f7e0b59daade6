// The Windows side of the platform unit. Files are opened through the C runtime's descriptors,
// in binary mode, with the names taken as the bytes typed (the system reads them in the
// process's code page); the identity of a file is its volume serial number and file index.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
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

// The errno value that stands for a system error of a Windows call.
int errno_of(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
      return EINVAL;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    default:
      return EIO;
  }
}

// The error of a failed Windows call on the file `name`: a name of MAX_PATH bytes or more, which
// this program's calls do not take, is too long whatever the call says.
int failure_of(const std::string& name, DWORD error) {
  return name.size() >= MAX_PATH ? ENAMETOOLONG : errno_of(error);
}

// Learns the identity of the open disk file `handle` into `info`; returns its attributes, or 0
// when none could be learnt.
DWORD identify(HANDLE handle, FileInfo& info) {
  BY_HANDLE_FILE_INFORMATION file{};
  FILE_ID_INFO id{};
  if (::GetFileInformationByHandle(handle, &file) != 0) {
    info.identified = true;
    info.device = file.dwVolumeSerialNumber;
    info.index = (std::uint64_t{file.nFileIndexHigh} << 32) | file.nFileIndexLow;
    return file.dwFileAttributes;
  }
  if (::GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id) != 0) {
    // Some handles (Wine's for a file that a Unix shell opened as standard output) answer only
    // this; their volume may come as 0, unknown.
    info.identified = true;
    info.device = id.VolumeSerialNumber;
    info.device_known = id.VolumeSerialNumber != 0;
    std::memcpy(&info.index, id.FileId.Identifier, sizeof info.index);
  }
  return 0;
}

// The temporary files to remove when the console ends the process, one for each listing being
// written at the same time. The handler runs on a thread of its own; a name is set before its
// flag and cleared after.
char interrupted_removes[kTemporaries][MAX_PATH + 1];
volatile LONG removal_armed[kTemporaries] = {};
std::mutex removals_in_use;  // between the threads that arm and disarm

BOOL WINAPI remove_and_end(DWORD) {
  for (int k = 0; k < kTemporaries; ++k) {
    if (removal_armed[k] != 0) {
      // The file was opened to be shared for deletion: it goes when the process ends.
      ::DeleteFileA(interrupted_removes[k]);
    }
  }
  return FALSE;  // and then the default: the process ends
}

// Arms the removal of `name` in a free place, or disarms the place that holds `name`.
void arm_removal(const std::string& name, bool arm) {
  const std::lock_guard<std::mutex> lock(removals_in_use);
  for (int k = 0; k < kTemporaries; ++k) {
    if (arm && removal_armed[k] == 0 && name.size() < sizeof interrupted_removes[k]) {
      std::memcpy(interrupted_removes[k], name.c_str(), name.size() + 1);
      ::InterlockedExchange(&removal_armed[k], 1);
      return;
    }
    if (!arm && removal_armed[k] != 0 && name == interrupted_removes[k]) {
      ::InterlockedExchange(&removal_armed[k], 0);
      return;
    }
  }
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

int open_existing_for_writing(const std::string& name, int& fd) {
  fd = _open(name.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
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
  if (handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) == FILE_TYPE_DISK) {
    identify(handle, info);
  }
  info.pipe = handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) == FILE_TYPE_PIPE;
  return 0;
}

int describe_path(const std::string& name, FileInfo& info) {
  // Opened for no access at all, which a folder and a file without read access allow too.
  const HANDLE handle =
      ::CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return failure_of(name, ::GetLastError());
  }
  info = FileInfo{};
  if (::GetFileType(handle) == FILE_TYPE_DISK) {
    const DWORD attributes = identify(handle, info);
    info.directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.regular = !info.directory;
    info.permissions = (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
  }
  ::CloseHandle(handle);
  return 0;
}

std::string final_name(const std::string& name) {
  return name;  // Windows replaces a link itself, and links are rare there
}

int create_temporary(const std::string& target, const FileInfo*, int& fd, std::string& name) {
  static const bool caught = ::SetConsoleCtrlHandler(remove_and_end, TRUE) != 0;
  static_cast<void>(caught);
  // Seeded once for each thread: a run that lists many files makes a temporary file for each.
  thread_local std::mt19937 random(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = temporary_name(target, "/\\", static_cast<std::uint32_t>(random()), 255, MAX_PATH - 1);
    if (name.empty()) {
      return ENAMETOOLONG;
    }
    // Armed before the file is made: the console's handler runs on a thread of its own, and the
    // file must not outlive the process when it runs between the two.
    arm_removal(name, true);
    const HANDLE handle = ::CreateFileA(name.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      arm_removal(name, false);
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
        continue;
      }
      return failure_of(name, error);
    }
    fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
      ::CloseHandle(handle);
      discard_temporary(name);
      return EMFILE;
    }
    return 0;
  }
  return EEXIST;
}

int replace_with_temporary(const std::string& temporary, const std::string& target) {
  const int error = ::MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0
                        ? 0
                        : errno_of(::GetLastError());
  arm_removal(temporary, false);
  return error;
}

void discard_temporary(const std::string& temporary) {
  arm_removal(temporary, false);
  ::DeleteFileA(temporary.c_str());
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
      // The C runtime calls a pipe whose reader has gone an invalid argument; Wine's at times
      // without the system's error behind it. On a pipe, nothing else makes a write invalid.
      const int error = errno;
      const auto system_error = static_cast<DWORD>(_doserrno);
      const bool pipe =
          ::GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) == FILE_TYPE_PIPE;
      return system_error == ERROR_NO_DATA || system_error == ERROR_BROKEN_PIPE ||
                     system_error == ERROR_PIPE_NOT_CONNECTED || (error == EINVAL && pipe)
                 ? EPIPE
                 : error;
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

unsigned processors() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) != 0 && process != 0) {
    unsigned count = 0;
    for (; process != 0; process &= process - 1) {
      ++count;
    }
    return count;
  }
  return std::max(std::thread::hardware_concurrency(), 1U);
}

int make_folder(const std::string& name) {
  return ::CreateDirectoryA(name.c_str(), nullptr) != 0 ? 0 : errno_of(::GetLastError());
}

}  // namespace nest::platform
