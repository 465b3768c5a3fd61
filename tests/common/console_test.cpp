#include "common/console.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace dsf {
namespace {

// Runs `child` in a forked process and gives its exit status.
template <class Child>
int run_forked(Child child) {
  pid_t pid = ::fork();
  if (pid == 0) {
    child();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

TEST(ReportLine, WritesWholeLinesToDescriptorOne) {
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  int status = run_forked([&] {
    ::dup2(pipe_ends[1], 1);
    report_line("Merged:");
    report_line("  out/result.py.js");
  });
  ::close(pipe_ends[1]);
  std::string got(64, '\0');
  got.resize(static_cast<std::size_t>(::read(pipe_ends[0], got.data(), got.size())));
  ::close(pipe_ends[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(got, "Merged:\n  out/result.py.js\n");
}

TEST(ReportLine, DropsTheLineWhenStandardOutputIsClosedOrItsReaderGone) {
  int closed = run_forked([] {
    ::close(1);
    report_line("dropped");
  });
  EXPECT_TRUE(WIFEXITED(closed) && WEXITSTATUS(closed) == 0);

  int broken = run_forked([] {
    ::signal(SIGPIPE, SIG_DFL);  // the default would end the process
    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0) ::_exit(3);
    ::close(pipe_ends[0]);
    ::dup2(pipe_ends[1], 1);
    report_line("dropped");
    report_line("dropped again");
  });
  EXPECT_TRUE(WIFEXITED(broken) && WEXITSTATUS(broken) == 0) << broken;
}

TEST(ReportLine, EndsTheProcessOnAnyOtherFailure) {
  int status = run_forked([] {
    ::close(2);  // keep the test log clean
    FILE* full = std::fopen("/dev/full", "w");
    ::dup2(fileno(full), 1);
    report_line("lost");
  });
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT);
}

}  // namespace
}  // namespace dsf
