#include "common/interrupt.hpp"

namespace dsf {
namespace {

thread_local InterruptCheck current_check;

}  // namespace

InterruptCheckScope::InterruptCheckScope(InterruptCheck check) : previous_(current_check) { current_check = check; }

InterruptCheckScope::~InterruptCheckScope() { current_check = previous_; }

bool stop_requested() {
  if (current_check.stop == nullptr) return false;
  int saved = errno;
  bool stop = current_check.stop(current_check.context);
  errno = saved;
  return stop;
}

}  // namespace dsf
