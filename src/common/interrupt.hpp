// System calls that a signal can interrupt, and the caller's say in whether to go on.
#pragma once

#include <cerrno>

namespace dsf {

// Asked when a system call was interrupted by a signal: true when the whole call is to stop.
// A plain function with its context, so that whoever asks (the Python entry functions) stays
// out of the engines.
struct InterruptCheck {
  bool (*stop)(void* context) = nullptr;
  void* context = nullptr;
};

// Makes `check` the one asked on this thread until the scope ends, then restores the one
// before it.
class InterruptCheckScope {
 public:
  explicit InterruptCheckScope(InterruptCheck check);
  ~InterruptCheckScope();
  InterruptCheckScope(const InterruptCheckScope&) = delete;
  InterruptCheckScope& operator=(const InterruptCheckScope&) = delete;

 private:
  InterruptCheck previous_;
};

// Asks the check of this thread; false when it has none. errno is kept.
bool stop_requested();

// Runs `call` (a system call giving a negative result and errno on failure) again for as long
// as it fails with EINTR and the thread's check lets it. When the check asks to stop, the
// interrupted result is given back with errno EINTR: the "interrupted" failure, which the
// caller reports as the operating system's error like any other.
template <class Call>
auto retry_on_eintr(Call&& call) {
  for (;;) {
    auto result = call();
    if (result >= 0 || errno != EINTR || stop_requested()) return result;
  }
}

}  // namespace dsf
