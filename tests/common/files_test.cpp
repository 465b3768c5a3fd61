#include "common/files.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "support/result.hpp"
#include "support/temp_folder.hpp"

namespace dsf {
namespace {

using testing::TempFolder;
using testing::value_of;
using testing::read_test_file;
using testing::write_test_file;

mode_t permissions_of(const std::string& path) {
  struct stat status{};
  ::lstat(path.c_str(), &status);
  return status.st_mode & 07777;
}

TEST(PathExists, FollowsLinksAndTreatsEveryFailureAsAbsent) {
  TempFolder dir;
  write_test_file(dir / "file", "x");
  ASSERT_EQ(::symlink("missing", (dir / "dangling").c_str()), 0);
  EXPECT_TRUE(path_exists(dir / "file"));
  EXPECT_TRUE(path_exists(dir.path()));
  EXPECT_FALSE(path_exists(dir / "dangling"));
  EXPECT_FALSE(path_exists(dir / "missing"));
  EXPECT_FALSE(path_exists(""));
  EXPECT_FALSE(path_exists(std::string(dir / "file") + std::string(1, '\0')));
}

TEST(RequireExisting, SaysDoesNotExistOnlyForAnAbsentPathAndTheRealReasonOtherwise) {
  TempFolder dir;
  write_test_file(dir / "file", "x");
  ASSERT_EQ(::symlink("missing", (dir / "dangling").c_str()), 0);
  ASSERT_EQ(::symlink("loop", (dir / "loop").c_str()), 0);
  const std::string long_name = dir / (std::string(256, 'n') + ".py");
  struct Case {
    std::string path;
    std::string message;  // empty: the path exists
  };
  for (const auto& [path, message] : {
           Case{dir / "file", ""},
           Case{dir.path(), ""},
           Case{dir / "missing", dir / "missing does not exist."},
           Case{dir / "dangling", dir / "dangling does not exist."},
           Case{dir / "file/below", dir / "file/below does not exist."},  // ENOTDIR
           Case{"", " does not exist."},
           Case{dir / "loop", dir / "loop: Too many levels of symbolic links (os error 40)"},
           Case{dir / "loop/a.py", dir / "loop/a.py: Too many levels of symbolic links (os error 40)"},
           Case{long_name, long_name + ": File name too long (os error 36)"},
       }) {
    Status found = require_existing(path);
    EXPECT_EQ(found ? "" : found.error().display(), message) << path;
    EXPECT_EQ(path_exists(path), message.empty()) << path;
  }
}

TEST(ReadTextFile, ReadsWholeValidTextAndReportsEachFailure) {
  TempFolder dir;
  std::string big(100000, 'a');
  big += "é";
  write_test_file(dir / "big", big);
  EXPECT_EQ(value_of(read_text_file(dir / "big")), big);
  write_test_file(dir / "empty", "");
  EXPECT_EQ(value_of(read_text_file(dir / "empty")), "");

  write_test_file(dir / "bad", "ok\n\xFF\n");
  EXPECT_EQ(read_text_file(dir / "bad").error().display(), "stream did not contain valid UTF-8");
  EXPECT_EQ(read_text_file(dir / "missing").error().display(), "No such file or directory (os error 2)");
  EXPECT_EQ(read_text_file(dir.path()).error().display(), "Is a directory (os error 21)");
  EXPECT_EQ(read_text_file(std::string("a\0b", 3)).error().display(), "file name contained an unexpected NUL byte");
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool address_space_is_limitable = false;  // the sanitizers reserve shadow memory
#else
constexpr bool address_space_is_limitable = true;
#endif

TEST(ReadTextFile, ReportsOutOfMemoryWhenTheContentHasNoRoom) {
  if (!address_space_is_limitable) GTEST_SKIP() << "address space cannot be limited under this sanitizer";
  TempFolder dir;
  {
    // A sparse file far larger than the address space the reading process is given.
    FILE* huge = std::fopen((dir / "huge").c_str(), "w");
    ASSERT_NE(huge, nullptr);
    ASSERT_EQ(::ftruncate(fileno(huge), off_t{16} << 30), 0);
    std::fclose(huge);
  }
  pid_t pid = ::fork();
  if (pid == 0) {
    const rlimit limit{rlim_t{2} << 30, rlim_t{2} << 30};
    if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(2);
    auto text = read_text_file(dir / "huge");
    ::_exit(!text && text.error().display() == "out of memory" ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(WriteFile, CreatesOrTruncatesWithTheMaskApplied) {
  TempFolder dir;
  mode_t old_mask = ::umask(022);
  ASSERT_TRUE(write_file(dir / "f", "long content"));
  ASSERT_TRUE(write_file(dir / "f", "short"));
  ::umask(old_mask);
  EXPECT_EQ(read_test_file(dir / "f"), "short");
  EXPECT_EQ(permissions_of(dir / "f"), 0644u);
}

TEST(WriteFile, ExclusiveCreationRefusesFilesAndLinksAlike) {
  TempFolder dir;
  ASSERT_TRUE(write_file(dir / "secret", "s", {.permissions = 0600, .exclusive = true}));
  EXPECT_EQ(permissions_of(dir / "secret"), 0600u);
  EXPECT_EQ(write_file(dir / "secret", "t", {.permissions = 0600, .exclusive = true}).error().display(),
            "File exists (os error 17)");
  EXPECT_EQ(read_test_file(dir / "secret"), "s");
  ASSERT_EQ(::symlink("target", (dir / "link").c_str()), 0);
  EXPECT_FALSE(write_file(dir / "link", "t", {.exclusive = true}));
  EXPECT_FALSE(path_exists(dir / "target"));
}

TEST(WriteFile, ReportsAFullDeviceAndBadPaths) {
  EXPECT_EQ(write_file("/dev/full", "x").error().display(), "No space left on device (os error 28)");
  EXPECT_EQ(write_file(std::string("out\0x", 5), "x").error().display(), "file name contained an unexpected NUL byte");
  EXPECT_FALSE(write_file("", "x"));
}

TEST(CreateFolders, MakesMissingAncestorsAndAcceptsExistingFolders) {
  TempFolder dir;
  ASSERT_TRUE(create_folders(dir / "deep/a/b"));
  EXPECT_TRUE(path_exists(dir / "deep/a/b"));
  EXPECT_TRUE(create_folders(dir / "deep/a/b/"));
  EXPECT_TRUE(create_folders(dir / "deep/./a/../a"));
  EXPECT_TRUE(create_folders(""));

  write_test_file(dir / "file", "");
  EXPECT_EQ(create_folders(dir / "file").error().display(), "File exists (os error 17)");
  EXPECT_EQ(create_folders(dir / "file/sub").error().display(), "Not a directory (os error 20)");
}

}  // namespace
}  // namespace dsf
