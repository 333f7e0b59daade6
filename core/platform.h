// The few calls that the programs make to the operating system: opening, describing, reading,
// writing and replacing files, and what a process sets up at its start. One side for POSIX
// systems (platform_posix.cc) and one for Windows (platform_win32.cc); nothing else in the code
// calls the system.
//
// Failures are reported as errno values (ENOENT, ENOSPC, ...) on every system, so that the
// diagnostics read the same everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nest::platform {

inline constexpr int kStandardInput = 0;
inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

#if defined(_WIN32)
/// The bytes that end a folder's name in a path.
inline constexpr std::string_view kSeparators = "/\\";
/// Whether the file system takes two names that differ only in case for one file.
inline constexpr bool kNamesIgnoreCase = true;
#else
inline constexpr std::string_view kSeparators = "/";
#if defined(__APPLE__)
inline constexpr bool kNamesIgnoreCase = true;
#else
inline constexpr bool kNamesIgnoreCase = false;
#endif
#endif

/// What the system tells of an open file.
struct FileInfo {
  bool identified = false;  ///< the system gives the file an identity (device and index)
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  bool device_known = true;  ///< false where only the index could be learnt
  bool regular = false;    ///< a regular file (not a directory, device, pipe or terminal)
  bool directory = false;  ///< a directory
  bool pipe = false;       ///< a pipe or a FIFO
  unsigned permissions = 0;  ///< the permission bits (POSIX: mode & 07777)
  std::uint32_t owner = 0;   ///< the owning user (POSIX only)
  std::uint32_t group = 0;   ///< the owning group (POSIX only)
};

/// Whether `a` and `b` describe the same file: both identified, on the same device with the
/// same index (POSIX: st_dev and st_ino; Windows: the volume serial number and the file index).
/// Where the device of one is not known, the same index is taken for the same file: a listing
/// refused for that is safer than one that overwrites or reads itself.
inline bool same_file(const FileInfo& a, const FileInfo& b) {
  return a.identified && b.identified && a.index == b.index &&
         (a.device == b.device || !a.device_known || !b.device_known);
}

/// Sets up the process: the standard streams pass bytes unchanged (binary mode); writing to a
/// closed pipe, or past a file-size limit, fails with an error instead of ending the process by
/// a signal.
void start_process();

/// Opens the existing file `name` for reading into `fd`. Returns 0 or the error.
int open_for_reading(const std::string& name, int& fd);

/// Opens the file `name` for writing into `fd`, creating it when it does not exist (permissions
/// 0666 less the umask); an existing file is not emptied. Returns 0 or the error.
int open_for_writing(const std::string& name, int& fd);

/// Opens the existing file `name` for writing into `fd`, without emptying it. Returns 0 or the
/// error (ENOENT when there is no such file).
int open_existing_for_writing(const std::string& name, int& fd);

/// Describes the open file `fd`. Returns 0 or the error.
int describe(int fd, FileInfo& info);

/// Describes the file `name`, following symbolic links, without opening it for reading or
/// writing. Returns 0 or the error (ENOENT when there is no such file).
int describe_path(const std::string& name, FileInfo& info);

/// The name of the file that `name` leads to through its symbolic links (the last link's
/// target), or `name` itself: where a file that replaces it must be made and put.
std::string final_name(const std::string& name);

/// The most temporary files that a signal removes at one time: one per listing that a run
/// writes at the same time.
inline constexpr int kTemporaries = 64;

/// Creates a new, empty file for writing in the folder of `target`, into `fd`, its name into
/// `name`. A file that replaces `replaced` is made for this user alone and then given, before
/// anything is written to it, the permission bits of `replaced` and, where the process may, its
/// owner and group (the group's bits are dropped when its group cannot be kept); a file that
/// replaces nothing (`replaced` null) is created with 0666 less the umask. Until
/// replace_with_temporary or discard_temporary, the file is removed if a signal ends the process
/// (POSIX: every signal whose default is to end it, but the faults of the program itself; Windows:
/// Ctrl-C, Ctrl-Break, closing the console). Up to kTemporaries such files at a time, made by as
/// many threads. Returns 0 or the error.
int create_temporary(const std::string& target, const FileInfo* replaced, int& fd,
                     std::string& name);

/// The name of a new file beside `target`, whose folder ends at the last of `separators`: hidden,
/// and named after the file it will take the place of, so that a user who sees it knows it
/// (".<name>.<six hexadecimal digits of `random`>"). The name of the file is cut, at the start of
/// a UTF-8 character, so that the new name takes at most `name_max` bytes and the whole at most
/// `path_max`; it is empty when even the folder and ".." and the digits take more.
std::string temporary_name(std::string_view target, std::string_view separators,
                           std::uint32_t random, std::size_t name_max = 255,
                           std::size_t path_max = 4095);

/// Puts the closed file `temporary` in the place of `target`, at once: a reader of `target` sees
/// the old file or the new one, never a part. Returns 0 or the error; either way the temporary
/// file is no longer removed on an interruption.
int replace_with_temporary(const std::string& temporary, const std::string& target);

/// Removes the file `temporary`, after a failure.
void discard_temporary(const std::string& temporary);

/// Empties the open file `fd`. Returns 0 or the error.
int truncate(int fd);

/// Reads up to `size` bytes from `fd` into `to`, setting `got` (0 at the end of the input). Goes
/// on after an interruption, and waits when `fd` was left non-blocking and has nothing yet.
/// Returns 0 or the error.
int read(int fd, char* to, std::size_t size, std::size_t& got);

/// Writes all of `bytes` to `fd`. Goes on after an interruption, and waits when `fd` was left
/// non-blocking and is full. Returns 0 or the error of the write that failed.
int write_all(int fd, std::string_view bytes);

/// Closes `fd`. Returns 0 or the error: a file system may report a failed write only here.
int close(int fd);

/// The number of processors this process may run on (at least 1).
unsigned processors();

/// Makes the folder `name` (POSIX: permissions 0777 less the umask). Returns 0 or the error
/// (EEXIST when something of that name is there already).
int make_folder(const std::string& name);

/// The text of an error value: the same on every system for the errors that the programs
/// report ("No such file or directory", "No space left on device", ...).
std::string error_text(int error);

}  // namespace nest::platform
