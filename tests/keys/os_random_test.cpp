#include "keys/os_random.hpp"

#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <utility>
#include <vector>

#include "common/interrupt.hpp"

namespace dsf {
namespace {

bool all_zero(std::span<const std::byte> bytes) {
  return std::ranges::all_of(bytes, [](std::byte b) { return b == std::byte{0}; });
}

TEST(FillOsRandom, FillsWholeBuffersWithFreshBytes) {
  EXPECT_TRUE(fill_os_random({}));  // nothing to fill is no failure

  // A megabyte takes more than one request; its tail must be filled too.
  std::vector<std::byte> first(1 << 20), second(1 << 20);
  EXPECT_TRUE(fill_os_random(first));
  EXPECT_TRUE(fill_os_random(second));
  EXPECT_FALSE(all_zero(std::span(first).last(32)));
  EXPECT_FALSE(all_zero(std::span(second).last(32)));
  EXPECT_NE(first, second);
}

// Makes the listed system calls fail with the given error numbers in this process from now on.
bool deny_system_calls(std::initializer_list<std::pair<int, int>> denied) {
  auto statement = [](std::uint16_t code, std::uint32_t k) { return sock_filter{code, 0, 0, k}; };
  auto jump_if = [](std::uint32_t k, std::uint8_t skip_if_true, std::uint8_t skip_if_false) {
    return sock_filter{static_cast<std::uint16_t>(BPF_JMP | BPF_JEQ | BPF_K), skip_if_true, skip_if_false, k};
  };
  constexpr auto load = static_cast<std::uint16_t>(BPF_LD | BPF_W | BPF_ABS);
  constexpr auto ret = static_cast<std::uint16_t>(BPF_RET | BPF_K);

  std::vector<sock_filter> program{
      statement(load, offsetof(seccomp_data, arch)),
      jump_if(AUDIT_ARCH_X86_64, 1, 0),
      statement(ret, SECCOMP_RET_ALLOW),
      statement(load, offsetof(seccomp_data, nr)),
  };
  for (auto [call, error] : denied) {
    program.push_back(jump_if(static_cast<std::uint32_t>(call), 0, 1));
    program.push_back(statement(ret, SECCOMP_RET_ERRNO | (static_cast<std::uint32_t>(error) & SECCOMP_RET_DATA)));
  }
  program.push_back(statement(ret, SECCOMP_RET_ALLOW));

  sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter, 0, 0) == 0;
}

bool system_calls_can_be_denied() {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(deny_system_calls({}) ? 0 : 1);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// How many descriptors of this process are open on `device`.
int descriptors_open_on(const char* device) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ignored;
    if (std::filesystem::read_symlink(entry.path(), ignored) == device) ++count;
  }
  return count;
}

// The probe runs once per process, so each case starts in a fresh one.
class OsRandomSource : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    if (!system_calls_can_be_denied()) GTEST_SKIP() << "seccomp filters are not available here";
  }
};

// Exit codes of the child below, each naming what went wrong.
enum Outcome {
  Fine = 0, NoFilter = 10, NotFilled, Repeated, UrandomNotKeptOnce, RandomLeftOpen, TookStdout, NotStopped
};

[[noreturn]] void fill_through_fallback(int getrandom_error) {
  if (!deny_system_calls({{SYS_getrandom, getrandom_error}})) std::_Exit(NoFilter);
  // With standard output closed, the kept descriptor must not take its place.
  ::close(STDOUT_FILENO);
  std::array<std::byte, 64> first{}, second{};
  if (!fill_os_random(first) || !fill_os_random(second)) std::_Exit(NotFilled);
  if (all_zero(first) || all_zero(second)) std::_Exit(NotFilled);
  if (first == second) std::_Exit(Repeated);
  if (descriptors_open_on("/dev/urandom") != 1) std::_Exit(UrandomNotKeptOnce);
  if (descriptors_open_on("/dev/random") != 0) std::_Exit(RandomLeftOpen);
  if (::fcntl(STDOUT_FILENO, F_GETFD) != -1) std::_Exit(TookStdout);
  std::_Exit(Fine);
}

TEST_F(OsRandomSource, FallsBackToOneKeptUrandomDescriptorWithoutGetrandom) {
  for (int error : {ENOSYS, EPERM}) {
    EXPECT_EXIT(fill_through_fallback(error), ::testing::ExitedWithCode(Fine), "") << error;
  }
}

[[noreturn]] void fill_denied(std::initializer_list<std::pair<int, int>> denied) {
  if (!deny_system_calls(denied)) std::_Exit(NoFilter);
  std::array<std::byte, 16> bytes{};
  (void)fill_os_random(bytes);
  std::_Exit(Fine);
}

TEST_F(OsRandomSource, EndsTheProcessWhenTheSourceFails) {
  // Any other answer to the probe means getrandom exists; its failure is final.
  EXPECT_EXIT(fill_denied({{SYS_getrandom, EIO}}), ::testing::KilledBySignal(SIGABRT),
              "^Error: Input/output error \\(os error 5\\)\n$");
  // A filter that answers 0 fills nothing; that must end the process, not spin.
  EXPECT_EXIT(fill_denied({{SYS_getrandom, 0}}), ::testing::KilledBySignal(SIGABRT),
              "^Error: getrandom returned no data\n$");
  // Without getrandom and without the devices there is nothing left to read from.
  EXPECT_EXIT(fill_denied({{SYS_getrandom, ENOSYS}, {SYS_openat, EACCES}, {SYS_open, EACCES}}),
              ::testing::KilledBySignal(SIGABRT), "^Error: Permission denied \\(os error 13\\)\n$");
}

// Every request of the source is interrupted; the call's check lets two retries go by, then
// stops the call, which must end with the "interrupted" failure and not end the process.
[[noreturn]] void fill_interrupted(std::initializer_list<std::pair<int, int>> denied) {
  if (!deny_system_calls(denied)) std::_Exit(NoFilter);
  int asked = 0;
  InterruptCheck check{[](void* count) { return ++*static_cast<int*>(count) == 3; }, &asked};
  InterruptCheckScope scope(check);
  std::array<std::byte, 16> bytes{};
  Status filled = fill_os_random(bytes);
  std::_Exit(!filled && is_interrupted(filled.error()) && asked == 3 ? Fine : NotStopped);
}

TEST_F(OsRandomSource, AnInterruptedRequestStopsWhenTheCallsCheckSaysSo) {
  EXPECT_EXIT(fill_interrupted({{SYS_getrandom, EINTR}}), ::testing::ExitedWithCode(Fine), "");
  // The fallback's wait for the pool and its reads are interrupted in the same way.
  EXPECT_EXIT(fill_interrupted({{SYS_getrandom, ENOSYS}, {SYS_poll, EINTR}, {SYS_ppoll, EINTR}}),
              ::testing::ExitedWithCode(Fine), "");
}

}  // namespace
}  // namespace dsf
