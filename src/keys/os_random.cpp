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

void fill_from_getrandom(std::span<std::byte> bytes) {
  while (!bytes.empty()) {
    long got = sys_getrandom(bytes.data(), bytes.size(), 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      fail_source_errno(errno);
    }
    // Never for a real kernel; a filter that fakes success must not make this spin forever.
    if (got == 0) fail_source("getrandom returned no data");
    bytes = bytes.subspan(static_cast<std::size_t>(got));
  }
}

int open_read_only(const char* path) {
  int fd;
  do {
    fd = ::open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) fail_source_errno(errno);
  return fd;
}

// "/dev/urandom" gives bytes even before the kernel's pool has been seeded; "/dev/random"
// becomes readable only once it has, so it is waited on first.
void wait_for_seeded_pool() {
  int fd = open_read_only("/dev/random");
  pollfd request{.fd = fd, .events = POLLIN, .revents = 0};
  for (;;) {
    int ready = ::poll(&request, 1, -1);
    if (ready > 0) break;
    if (ready < 0 && errno != EINTR && errno != EAGAIN) {
      int error = errno;
      ::close(fd);
      fail_source_errno(error);
    }
  }
  ::close(fd);
}

// A descriptor kept for the life of the process must not sit at 0, 1 or 2, where it would
// stand in for a standard stream that the process closed and may open again.
int keep_off_standard_streams(int fd) {
  if (fd > STDERR_FILENO) return fd;
  int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (moved < 0) fail_source_errno(errno);
  ::close(fd);
  return moved;
}

std::atomic<int> urandom_fd{-1};
std::mutex urandom_lock;

// The descriptor is opened by the first caller only; calls on other threads wait on the lock
// and then find it open. It is never closed.
int urandom_descriptor() {
  int fd = urandom_fd.load(std::memory_order_acquire);
  if (fd >= 0) return fd;
  std::lock_guard guard(urandom_lock);
  fd = urandom_fd.load(std::memory_order_relaxed);
  if (fd >= 0) return fd;
  wait_for_seeded_pool();
  fd = keep_off_standard_streams(open_read_only("/dev/urandom"));
  urandom_fd.store(fd, std::memory_order_release);
  return fd;
}

void fill_from_urandom(std::span<std::byte> bytes) {
  int fd = urandom_descriptor();
  while (!bytes.empty()) {
    ssize_t got = ::read(fd, bytes.data(), bytes.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      fail_source_errno(errno);
    }
    if (got == 0) fail_source("the random device returned no data");
    bytes = bytes.subspan(static_cast<std::size_t>(got));
  }
}

}  // namespace

void fill_os_random(std::span<std::byte> bytes) {
  if (bytes.empty()) return;
  if (getrandom_usable()) {
    fill_from_getrandom(bytes);
  } else {
    fill_from_urandom(bytes);
  }
}

}  // namespace dsf
