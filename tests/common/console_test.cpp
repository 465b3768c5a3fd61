#include "common/console.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "common/interrupt.hpp"
#include "support/descriptor_one.hpp"

namespace dsf {
namespace {

using testing::capture_descriptor_one;
using testing::with_descriptor_one;

std::string outcome(const Status& status) { return status ? "success" : status.error().display(); }

TEST(ReportLine, WritesWholeLinesToDescriptorOne) {
  Status status;
  std::string report = capture_descriptor_one([&] { status = report_lines({"Merged:", "  out/result.py.js"}); });
  EXPECT_EQ(outcome(status), "success");
  EXPECT_EQ(report, "Merged:\n  out/result.py.js\n");
}

TEST(ReportLine, DropsTheLineWhenStandardOutputIsClosedOrItsReaderGone) {
  Status closed;
  with_descriptor_one(-1, [&] { closed = report_lines({"dropped", "dropped again"}); });
  EXPECT_EQ(outcome(closed), "success");

  // In a child: with the default disposition a raised SIGPIPE would end the process.
  pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGPIPE, SIG_DFL);
    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0) ::_exit(3);
    ::close(pipe_ends[0]);
    Status broken;
    with_descriptor_one(pipe_ends[1], [&] { broken = report_lines({"dropped", "dropped again"}); });
    ::_exit(broken ? 0 : 4);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(ReportLine, AnyOtherFailureIsAReportErrorAndEndsTheReport) {
  int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(full, 0);
  Status status;
  with_descriptor_one(full, [&] { status = report_lines({"lost", "never tried"}); });
  ::close(full);
  ASSERT_FALSE(status);
  const auto* report = dynamic_cast<const ReportError*>(&status.error().object());
  ASSERT_NE(report, nullptr);
  EXPECT_EQ(report->cause().os_error(), ENOSPC);
  EXPECT_EQ(outcome(status), "failed printing to stdout: No space left on device (os error 28)");
}

TEST(ReportLine, WaitsForAFullNonBlockingPipeToTakeTheLine) {
  int pipe_ends[2];
  ASSERT_EQ(::pipe2(pipe_ends, O_CLOEXEC), 0);
  ASSERT_EQ(::fcntl(pipe_ends[1], F_SETFL, O_NONBLOCK), 0);
  const std::string filler(4096, 'f');
  std::size_t filled = 0;
  for (ssize_t n; (n = ::write(pipe_ends[1], filler.data(), filler.size())) > 0;) filled += static_cast<std::size_t>(n);
  ASSERT_EQ(errno, EAGAIN);

  // The pipe is full before the report starts, and the line is larger than the pipe can hold.
  const std::string line(1 << 20, 'x');
  std::string drained;
  std::thread reader([&] {
    char buffer[65536];
    for (ssize_t n; (n = ::read(pipe_ends[0], buffer, sizeof buffer)) > 0;) drained.append(buffer, static_cast<std::size_t>(n));
  });
  Status status;
  with_descriptor_one(pipe_ends[1], [&] { status = report_line(line); });
  ::close(pipe_ends[1]);
  reader.join();
  ::close(pipe_ends[0]);
  EXPECT_EQ(outcome(status), "success");
  EXPECT_EQ(drained.size(), filled + line.size() + 1);
  EXPECT_EQ(drained.substr(filled), line + "\n");
}

TEST(ReportLine, AWaitThatTheInterruptCheckStopsIsTheInterruptedFailure) {
  int pipe_ends[2];
  ASSERT_EQ(::pipe2(pipe_ends, O_CLOEXEC | O_NONBLOCK), 0);
  const std::string filler(4096, 'f');
  while (::write(pipe_ends[1], filler.data(), filler.size()) > 0) {
  }
  // SIGALRM, with a handler and without SA_RESTART, interrupts the wait for room as Ctrl-C does
  // under Python.
  struct sigaction action{};
  action.sa_handler = [](int) {};
  struct sigaction previous{};
  ASSERT_EQ(::sigaction(SIGALRM, &action, &previous), 0);
  int asked = 0;
  InterruptCheckScope scope({[](void* count) { return ++*static_cast<int*>(count) > 0; }, &asked});
  Status status;
  with_descriptor_one(pipe_ends[1], [&] {
    ::alarm(1);
    status = report_line("waits");
  });
  ::sigaction(SIGALRM, &previous, nullptr);
  ::close(pipe_ends[0]);
  ::close(pipe_ends[1]);
  ASSERT_FALSE(status);
  EXPECT_TRUE(is_interrupted(status.error()));
  EXPECT_EQ(asked, 1);
}

}  // namespace
}  // namespace dsf
