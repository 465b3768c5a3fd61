#include "keys/os_random.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>

#include "common/error.hpp"
#include "common/files.hpp"
#include "common/interrupt.hpp"
#include "common/fatal.hpp"

namespace dsf {
namespace {

// The system call itself, not the C library's wrapper, which may answer from the vDSO.
long sys_getrandom(void* buffer, std::size_t length, unsigned flags) {
  return ::syscall(SYS_getrandom, buffer, length, flags);
}

[[noreturn]] void fail_source(std::string_view reason) { end_process(std::string("Error: ").append(reason)); }

[[noreturn]] void fail_source_errno(int number) {
  fail_source(EngineError(IoError::from_errno(number)).display());
}

// Asked once per process. An empty request fills nothing but still tells whether the call
// exists; any answer other than ENOSYS or EPERM (EAGAIN while the pool is not yet initialised,
// say) means it does, and the real requests block until the pool is ready.
bool getrandom_usable() {
  static const bool usable = [] {
    if (sys_getrandom(nullptr, 0, GRND_NONBLOCK) >= 0) return true;
    return errno != ENOSYS && errno != EPERM;
  }();
  return usable;
}

Status fill_from_getrandom(std::span<std::byte> bytes) {
  while (!bytes.empty()) {
    long got = retry_on_eintr([&] { return sys_getrandom(bytes.data(), bytes.size(), 0); });
    if (got < 0) {
      if (errno == EINTR) return std::unexpected(IoError::interrupted());
      fail_source_errno(errno);
    }
    // Never for a real kernel; a filter that fakes success must not make this spin forever.
    if (got == 0) fail_source("getrandom returned no data");
    bytes = bytes.subspan(static_cast<std::size_t>(got));
  }
  return {};
}

// Opens `path` for reading; only a stop asked by the call's interrupt check fails.
Result<FileDescriptor> open_read_only(const char* path) {
  int fd = retry_on_eintr([&] { return ::open(path, O_RDONLY | O_CLOEXEC); });
  if (fd < 0) {
    if (errno == EINTR) return std::unexpected(IoError::interrupted());
    fail_source_errno(errno);
  }
  return FileDescriptor(fd);
}

// "/dev/urandom" gives bytes even before the kernel's pool has been seeded; "/dev/random"
// becomes readable only once it has, so it is waited on first.
Status wait_for_seeded_pool() {
  auto random = open_read_only("/dev/random");
  if (!random) return std::unexpected(std::move(random.error()));
  pollfd request{.fd = random->get(), .events = POLLIN, .revents = 0};
  for (;;) {
    int ready = retry_on_eintr([&] { return ::poll(&request, 1, -1); });
    if (ready > 0) return {};
    if (ready < 0 && errno == EINTR) return std::unexpected(IoError::interrupted());
    if (ready < 0 && errno != EAGAIN) fail_source_errno(errno);
  }
}

// A descriptor kept for the life of the process must not sit at 0, 1 or 2, where it would
// stand in for a standard stream that the process closed and may open again.
int keep_off_standard_streams(FileDescriptor file) {
  if (file.get() > STDERR_FILENO) return file.release();
  int moved = ::fcntl(file.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (moved < 0) fail_source_errno(errno);
  return moved;
}

std::atomic<int> urandom_fd{-1};
std::mutex urandom_lock;

// The descriptor is opened by the first caller only; calls on other threads wait on the lock
// and then find it open. It is never closed.
Result<int> urandom_descriptor() {
  int fd = urandom_fd.load(std::memory_order_acquire);
  if (fd >= 0) return fd;
  std::lock_guard guard(urandom_lock);
  fd = urandom_fd.load(std::memory_order_relaxed);
  if (fd >= 0) return fd;
  if (Status seeded = wait_for_seeded_pool(); !seeded) return std::unexpected(std::move(seeded.error()));
  auto urandom = open_read_only("/dev/urandom");
  if (!urandom) return std::unexpected(std::move(urandom.error()));
  fd = keep_off_standard_streams(std::move(*urandom));
  urandom_fd.store(fd, std::memory_order_release);
  return fd;
}

Status fill_from_urandom(std::span<std::byte> bytes) {
  auto fd = urandom_descriptor();
  if (!fd) return std::unexpected(std::move(fd.error()));
  while (!bytes.empty()) {
    ssize_t got = retry_on_eintr([&] { return ::read(*fd, bytes.data(), bytes.size()); });
    if (got < 0) {
      if (errno == EINTR) return std::unexpected(IoError::interrupted());
      fail_source_errno(errno);
    }
    if (got == 0) fail_source("the random device returned no data");
    bytes = bytes.subspan(static_cast<std::size_t>(got));
  }
  return {};
}

}  // namespace

Status fill_os_random(std::span<std::byte> bytes) {
  if (bytes.empty()) return {};
  return getrandom_usable() ? fill_from_getrandom(bytes) : fill_from_urandom(bytes);
}

}  // namespace dsf
