#include "common/fatal.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace dsf {

void end_process(std::string_view message) {
  // One write where it fits, so that the line reaches a shared standard error whole.
  std::string line;
  line.reserve(message.size() + 1);
  line.append(message);
  line += '\n';
  std::string_view rest = line;
  while (!rest.empty()) {
    ssize_t written = ::write(STDERR_FILENO, rest.data(), rest.size());
    if (written > 0) {
      rest.remove_prefix(static_cast<std::size_t>(written));
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  std::abort();
}

}  // namespace dsf
