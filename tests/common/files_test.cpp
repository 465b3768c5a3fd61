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

TEST(WriteFile, ReportsAFullDeviceAndBadPaths) {
  EXPECT_EQ(write_file("/dev/full", "x").error().display(), "No space left on device (os error 28)");
  EXPECT_EQ(write_file(std::string("out\0x", 5), "x").error().display(), "file name contained an unexpected NUL byte");
  EXPECT_FALSE(write_file("", "x"));
}

TEST(NewFile, IsCreatedExclusivelyAndRemovedUnlessKept) {
  TempFolder dir;
  mode_t old_mask = ::umask(022);
  {
    auto kept = NewFile::create(dir / "kept", 0666);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->path(), dir / "kept");
    ASSERT_TRUE(kept->write("first "));
    ASSERT_TRUE(kept->write("second"));
    kept->keep();
    ASSERT_TRUE(NewFile::create(dir / "dropped", 0600));
  }
  ::umask(old_mask);
  EXPECT_EQ(read_test_file(dir / "kept"), "first second");
  EXPECT_EQ(permissions_of(dir / "kept"), 0644u);
  EXPECT_FALSE(path_exists(dir / "dropped"));

  // Anything already at the name is refused and left as it was.
  ASSERT_EQ(::symlink("target", (dir / "dangling").c_str()), 0);
  for (const char* name : {"kept", "dangling"}) {
    auto refused = NewFile::create(dir / name, 0600);
    ASSERT_FALSE(refused) << name;
    EXPECT_EQ(EngineError(refused.error()).display(), "File exists (os error 17)");
  }
  EXPECT_EQ(read_test_file(dir / "kept"), "first second");
  EXPECT_FALSE(path_exists(dir / "target"));
  EXPECT_EQ(EngineError(NewFile::create(std::string("a\0b", 3), 0600).error()).display(),
            "file name contained an unexpected NUL byte");
}

TEST(NewFile, LeavesWhatTookItsNameAlone) {
  TempFolder dir;
  {
    auto moved = NewFile::create(dir / "file", 0600);
    ASSERT_TRUE(moved);
    ASSERT_EQ(::rename((dir / "file").c_str(), (dir / "aside").c_str()), 0);
    write_test_file(dir / "file", "someone else's");
    auto replaced_by_link = NewFile::create(dir / "link", 0600);
    ASSERT_TRUE(replaced_by_link);
    ASSERT_EQ(::unlink((dir / "link").c_str()), 0);
    ASSERT_EQ(::symlink("aside", (dir / "link").c_str()), 0);
  }
  EXPECT_EQ(read_test_file(dir / "file"), "someone else's");
  EXPECT_TRUE(path_exists(dir / "aside"));
  char target[16] = {};
  EXPECT_EQ(::readlink((dir / "link").c_str(), target, sizeof target - 1), 5);
}

TEST(NewFile, RenamesOverAFileOrALinkButNotAFolder) {
  TempFolder outside, dir;
  write_test_file(outside / "victim", "untouched");
  ASSERT_EQ(::symlink((outside / "victim").c_str(), (dir / "to-victim").c_str()), 0);
  ASSERT_EQ(::symlink((outside / "planted").c_str(), (dir / "dangling").c_str()), 0);
  write_test_file(dir / "file", "old");
  for (const char* target : {"to-victim", "dangling", "file"}) {
    auto file = NewFile::create(dir / "new", 0600);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->write("new"));
    ASSERT_TRUE(file->rename_over(dir / target)) << target;
    struct stat status{};
    ASSERT_EQ(::lstat((dir / target).c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode)) << target;
    EXPECT_EQ(read_test_file(dir / target), "new");
  }
  EXPECT_EQ(read_test_file(outside / "victim"), "untouched");
  EXPECT_FALSE(path_exists(outside / "planted"));

  ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0777), 0);
  {
    auto file = NewFile::create(dir / "new", 0600);
    ASSERT_TRUE(file);
    EXPECT_EQ(testing::failure_of(file->rename_over(dir / "folder")), "Is a directory (os error 21)");
    EXPECT_EQ(testing::failure_of(file->rename_over(std::string("a\0b", 3))),
              "file name contained an unexpected NUL byte");
  }
  EXPECT_FALSE(path_exists(dir / "new"));  // the failed rename left it to be removed
  EXPECT_TRUE(path_exists(dir / "folder"));
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
