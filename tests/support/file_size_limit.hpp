// Runs a piece of a test in a child process whose files cannot grow past a limit.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace dsf::testing {

// Runs `body` (returning a text) in a child whose files cannot grow past `bytes`. SIGXFSZ is
// ignored there, so a write past the limit fails with EFBIG rather than ending the child. The
// body's text comes back, or "child did not finish" when the child ended otherwise.
template <class Body>
std::string under_file_size_limit(rlim_t bytes, Body body) {
  int channel[2];
  if (::pipe(channel) != 0) return "pipe failed";
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(channel[0]);
    ::close(channel[1]);
    return "fork failed";
  }
  if (pid == 0) {
    ::close(channel[0]);
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    std::string text = ::setrlimit(RLIMIT_FSIZE, &limit) == 0 ? body() : "setrlimit failed";
    bool sent = ::write(channel[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::_exit(sent ? 0 : 1);
  }
  ::close(channel[1]);
  std::string text;
  char buffer[512];
  for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(got));
  ::close(channel[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "child did not finish";
}

}  // namespace dsf::testing
