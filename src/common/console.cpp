#include "common/console.hpp"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

#include "common/error.hpp"
#include "common/fatal.hpp"

namespace dsf {
namespace {

std::mutex console_lock;

// Writing to a pipe without a reader raises SIGPIPE as well as failing with EPIPE. The signal is
// held back on this thread for the write, and taken off the thread again if the write raised
// it, so the report never ends the process through it.
class SigpipeHeld {
 public:
  SigpipeHeld() {
    sigset_t pipe_only;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    was_pending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_only, &previous_);
  }
  ~SigpipeHeld() {
    if (raised_ && !was_pending_) {
      sigset_t pipe_only;
      sigemptyset(&pipe_only);
      sigaddset(&pipe_only, SIGPIPE);
      const timespec no_wait{};
      while (sigtimedwait(&pipe_only, nullptr, &no_wait) < 0 && errno == EINTR) {
      }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  void note_raised() { raised_ = true; }

 private:
  sigset_t previous_;
  bool was_pending_ = false;
  bool raised_ = false;
};

// `error` 0 stands for a write call that took no bytes.
[[noreturn]] void fail_report(int error) {
  EngineError failure = error == 0 ? EngineError(IoError::write_zero()) : EngineError(IoError::from_errno(error));
  end_process("failed printing to stdout: " + failure.display());
}

}  // namespace

void report_line(std::string_view line) {
  std::string text;
  text.reserve(line.size() + 1);
  text.append(line);
  text += '\n';

  std::lock_guard guard(console_lock);
  SigpipeHeld held;
  std::string_view rest = text;
  while (!rest.empty()) {
    ssize_t written = ::write(1, rest.data(), rest.size());
    if (written > 0) {
      rest.remove_prefix(static_cast<std::size_t>(written));
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && errno == EBADF) return;
    if (written < 0 && errno == EPIPE) {
      held.note_raised();
      return;
    }
    fail_report(written == 0 ? 0 : errno);
  }
}

}  // namespace dsf
