// The part of the platform unit that is the same on every system.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/platform.h"

namespace nest::platform {

std::string temporary_name(std::string_view target, std::string_view separators,
                           std::uint32_t random, std::size_t name_max, std::size_t path_max) {
  const std::size_t slash = target.find_last_of(separators);
  const std::size_t base = slash == std::string_view::npos ? 0 : slash + 1;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, ".%06x", static_cast<unsigned>(random & 0xFFFFFFU));
  const std::size_t added = 1 + std::strlen(suffix);  // the leading dot and the suffix
  if (added > name_max || base + added > path_max) {
    return "";
  }
  std::string_view file = target.substr(base);
  const std::size_t room = std::min(name_max - added, path_max - base - added);
  if (file.size() > room) {
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(file[cut]) & 0xC0U) == 0x80U) {
      --cut;  // not inside a UTF-8 character
    }
    file = file.substr(0, cut);
  }
  return std::string(target.substr(0, base)) + "." + std::string(file) + suffix;
}

std::string error_text(int error) {
  // The systems' own texts differ; these are the ones a user reads most, worded alike everywhere.
  switch (error) {
    case ENOENT:
      return "No such file or directory";
    case EACCES:
      return "Permission denied";
    case EPERM:
      return "Operation not permitted";
    case EISDIR:
      return "Is a directory";
    case ENOTDIR:
      return "Not a directory";
    case EEXIST:
      return "File exists";
    case ENAMETOOLONG:
      return "File name too long";
    case EINVAL:
      return "Invalid argument";
    case ENOSPC:
      return "No space left on device";
    case EFBIG:
      return "File too large";
    case EPIPE:
      return "Broken pipe";
    case EBADF:
      return "Bad file descriptor";
    case EIO:
      return "Input/output error";
    case EROFS:
      return "Read-only file system";
    case EMFILE:
      return "Too many open files";
    case ENOMEM:
      return "Cannot allocate memory";
    case EAGAIN:
      return "Resource temporarily unavailable";
    case EBUSY:
      return "Device or resource busy";
    case EXDEV:
      return "Invalid cross-device link";
    default:
      return std::strerror(error);
  }
}

}  // namespace nest::platform
