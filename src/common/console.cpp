#include "common/console.hpp"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "common/error.hpp"
#include "common/interrupt.hpp"

namespace dsf {
namespace {

std::mutex console_lock;

// Writing to a pipe without a reader raises SIGPIPE as well as failing with EPIPE. The signal is
// held back on this thread for the write, and taken off the thread again if the write raised
// it, so the report never ends the process through it.
class SigpipeHeld {
 public:
  SigpipeHeld() {
    sigset_t pipe_only = pipe_signal();
    sigset_t pending;
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_only, &previous_);
  }
  ~SigpipeHeld() {
    if (raised_ && !was_pending_) {
      // The signal is pending, so this takes it at once: with no time to wait there is no
      // wait for another signal to interrupt.
      sigset_t pipe_only = pipe_signal();
      const timespec no_wait{};
      sigtimedwait(&pipe_only, nullptr, &no_wait);
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  void note_raised() { raised_ = true; }

 private:
  static sigset_t pipe_signal() {
    sigset_t pipe_only;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    return pipe_only;
  }

  sigset_t previous_;
  bool was_pending_ = false;
  bool raised_ = false;
};

// A standard output set to non-blocking that is full (a pipe whose reader is slow) takes the
// rest of the line once it has room again.
Status wait_until_writable() {
  pollfd request{.fd = 1, .events = POLLOUT, .revents = 0};
  if (retry_on_eintr([&] { return ::poll(&request, 1, -1); }) >= 0) return {};
  if (errno == EINTR) return std::unexpected(IoError::interrupted());
  return std::unexpected(ReportError(IoError::from_errno(errno)));
}

}  // namespace

Status report_line(std::string_view line) {
  std::string text;
  text.reserve(line.size() + 1);
  text.append(line);
  text += '\n';

  std::lock_guard guard(console_lock);
  SigpipeHeld held;
  std::string_view rest = text;
  while (!rest.empty()) {
    ssize_t written = retry_on_eintr([&] { return ::write(1, rest.data(), rest.size()); });
    if (written > 0) {
      rest.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (written == 0) return std::unexpected(ReportError(IoError::write_zero()));
    switch (errno) {
      case EBADF: return {};
      case EPIPE: held.note_raised(); return {};
      case EINTR: return std::unexpected(IoError::interrupted());  // the call is to stop
      case EAGAIN:
#if EWOULDBLOCK != EAGAIN
      case EWOULDBLOCK:
#endif
        if (Status ready = wait_until_writable(); !ready) return ready;
        continue;
      default: return std::unexpected(ReportError(IoError::from_errno(errno)));
    }
  }
  return {};
}

Status report_lines(std::initializer_list<std::string_view> lines) {
  for (std::string_view line : lines) {
    if (Status reported = report_line(line); !reported) return reported;
  }
  return {};
}

}  // namespace dsf
