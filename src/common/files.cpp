#include "common/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <format>
#include <new>
#include <stdexcept>

#include "common/interrupt.hpp"
#include "common/paths.hpp"
#include "common/text.hpp"

namespace dsf {
namespace {

// The C library needs a NUL-terminated copy; a NUL inside the text is refused before it.
std::expected<std::string, IoError> c_path(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return std::unexpected(IoError::nul_in_path());
  return std::string(path);
}

bool is_folder(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Room for a file's content that cannot be had is a failure of the read, not of the process.
// The new bytes are left as they are: the read overwrites them.
bool resize_for_reading(std::string& text, std::size_t size) {
  try {
    text.resize_and_overwrite(size, [](char*, std::size_t n) { return n; });
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

Status write_all(const FileDescriptor& file, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = retry_on_eintr([&] { return ::write(file.get(), bytes.data(), bytes.size()); });
    if (written < 0) return std::unexpected(IoError::from_errno(errno));
    if (written == 0) return std::unexpected(IoError::write_zero());
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

void FileDescriptor::reset() {
  if (fd_ >= 0) {
    ::close(fd_);  // the descriptor is gone even when close reports an error
    fd_ = -1;
  }
}

std::expected<bool, IoError> probe_path(std::string_view path) {
  auto name = c_path(path);
  if (!name) return false;  // no such name can be on the file system
  struct stat status;
  if (::stat(name->c_str(), &status) == 0) return true;
  if (errno == ENOENT || errno == ENOTDIR) return false;
  return std::unexpected(IoError::from_errno(errno));
}

bool path_exists(std::string_view path) {
  auto found = probe_path(path);
  return found && *found;
}

Status require_existing(std::string_view path) {
  auto found = probe_path(path);
  if (!found) {
    return std::unexpected(make_message_error(std::format("{}: {}", path, EngineError(found.error()).display())));
  }
  if (!*found) return std::unexpected(make_message_error(std::format("{} does not exist.", path)));
  return {};
}

Result<FileDescriptor> open_for_reading(std::string_view path) {
  auto name = c_path(path);
  if (!name) return std::unexpected(name.error());
  int fd = retry_on_eintr([&] { return ::open(name->c_str(), O_RDONLY | O_CLOEXEC); });
  if (fd < 0) return std::unexpected(IoError::from_errno(errno));
  return FileDescriptor(fd);
}

Result<std::size_t> read_some(const FileDescriptor& file, char* buffer, std::size_t size) {
  ssize_t got = retry_on_eintr([&] { return ::read(file.get(), buffer, size); });
  if (got < 0) return std::unexpected(IoError::from_errno(errno));
  return static_cast<std::size_t>(got);
}

Result<std::string> read_text_file(std::string_view path) {
  auto file = open_for_reading(path);
  if (!file) return std::unexpected(std::move(file.error()));

  // Size the text once from the file's status; a file that grows meanwhile still reads whole.
  struct stat status;
  std::size_t expected = 0;
  if (::fstat(file->get(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
    expected = static_cast<std::size_t>(status.st_size);
  }
  std::string text;
  // One spare byte shows the end without a second pass.
  if (!resize_for_reading(text, expected + 1)) return std::unexpected(IoError::out_of_memory());
  std::size_t filled = 0;
  for (;;) {
    if (filled == text.size() && !resize_for_reading(text, text.size() + text.size() / 2 + 8192)) {
      return std::unexpected(IoError::out_of_memory());
    }
    auto got = read_some(*file, text.data() + filled, text.size() - filled);
    if (!got) return std::unexpected(std::move(got.error()));
    if (*got == 0) break;
    filled += *got;
  }
  text.resize(filled);
  if (!is_valid_utf8(text)) return std::unexpected(IoError::invalid_utf8());
  return text;
}

Status write_file(std::string_view path, std::string_view bytes) {
  auto name = c_path(path);
  if (!name) return std::unexpected(name.error());
  int fd = retry_on_eintr([&] { return ::open(name->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666); });
  if (fd < 0) return std::unexpected(IoError::from_errno(errno));
  FileDescriptor file(fd);
  return write_all(file, bytes);
}

std::expected<NewFile, IoError> NewFile::create(std::string path, mode_t permissions) {
  auto name = c_path(path);
  if (!name) return std::unexpected(name.error());
  int fd = retry_on_eintr(
      [&] { return ::open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, permissions); });
  if (fd < 0) return std::unexpected(IoError::from_errno(errno));
  return NewFile(std::move(path), FileDescriptor(fd));
}

NewFile::~NewFile() {
  if (kept_ || !file_) return;
  // Whatever took the name since the file was made is someone else's and stays.
  struct stat mine, there;
  if (::fstat(file_.get(), &mine) == 0 && ::lstat(path_.c_str(), &there) == 0 && mine.st_dev == there.st_dev &&
      mine.st_ino == there.st_ino) {
    ::unlink(path_.c_str());
  }
}

Status NewFile::write(std::string_view bytes) const { return write_all(file_, bytes); }

Status NewFile::rename_over(std::string_view target) {
  auto name = c_path(target);
  if (!name) return std::unexpected(name.error());
  if (::rename(path_.c_str(), name->c_str()) != 0) return std::unexpected(IoError::from_errno(errno));
  kept_ = true;
  return {};
}

Status create_folders(std::string_view path) {
  if (path.empty()) return {};
  auto name = c_path(path);
  if (!name) return std::unexpected(name.error());
  if (::mkdir(name->c_str(), 0777) == 0) return {};
  int error = errno;
  if (error == ENOENT) {
    // Make the missing ancestors first, then this folder.
    if (auto parent = path_parent(path); parent && !parent->empty() && *parent != path) {
      if (auto made = create_folders(*parent); !made) return made;
    }
    if (::mkdir(name->c_str(), 0777) == 0) return {};
    error = errno;
  }
  if (is_folder(*name)) return {};
  return std::unexpected(IoError::from_errno(error));
}

}  // namespace dsf
