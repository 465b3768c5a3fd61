// Whole-file operations over POSIX descriptors. Failures come back as IoError values that never
// name the path.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include <utility>

#include "common/error.hpp"

namespace dsf {

// Owns one open file descriptor and closes it once.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void reset();
  // Hands the descriptor over to the caller, who closes it.
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

// Whether the file status of the path (following links) can be obtained: false when the path
// is absent (ENOENT, ENOTDIR, a NUL character in it), the operating system's error when the
// request fails for any other reason (denied search, a link loop, an over-long name...).
std::expected<bool, IoError> probe_path(std::string_view path);

// probe_path, with a failed request counted as absence.
bool path_exists(std::string_view path);

// An input that must exist: "{path} does not exist." when it is absent, "{path}: {error}" when
// its status cannot be had, so that the message gives the real reason.
Status require_existing(std::string_view path);

// Opens for reading only.
Result<FileDescriptor> open_for_reading(std::string_view path);

// One read call into `buffer`, repeated on EINTR unless the call is to stop; the number of
// bytes read, 0 at the end.
Result<std::size_t> read_some(const FileDescriptor& file, char* buffer, std::size_t size);

// The whole file as UTF-8 text.
Result<std::string> read_text_file(std::string_view path);

// Creates or truncates the file (0666 less the mask) and writes all of `bytes` to it.
Status write_file(std::string_view path, std::string_view bytes);

// A file that this call made new: created exclusively, so that nothing already there is opened
// and no link is followed. Dropped before `keep`, it is removed again, as long as its path
// still names it, so a failed call takes away what it made and only that.
class NewFile {
 public:
  // Fails with the creation's error: EEXIST for anything at the path, a link included.
  static std::expected<NewFile, IoError> create(std::string path, mode_t permissions);

  NewFile(NewFile&&) noexcept = default;
  NewFile& operator=(NewFile&&) = delete;
  ~NewFile();

  const std::string& path() const { return path_; }

  // Writes all of `bytes` after what was written before.
  Status write(std::string_view bytes) const;

  // Renames the file over `target`, which it replaces: a link there is replaced itself, its
  // target untouched. From then on the file is kept.
  Status rename_over(std::string_view target);

  void keep() { kept_ = true; }

 private:
  NewFile(std::string path, FileDescriptor file) : path_(std::move(path)), file_(std::move(file)) {}

  std::string path_;
  FileDescriptor file_;
  bool kept_ = false;
};

// Creates the folder and every missing ancestor (0777 less the mask). An existing folder is no
// failure; the empty path creates nothing.
Status create_folders(std::string_view path);

}  // namespace dsf
