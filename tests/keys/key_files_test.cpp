#include "keys/key_files.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <functional>
#include <string>

#include "support/result.hpp"
#include "support/temp_folder.hpp"

namespace dsf {
namespace {

using testing::failure_of;
using testing::read_test_file;
using testing::TempFolder;
using testing::write_test_file;

constexpr std::string_view refusal_in_out =
    "Refusing to overwrite existing keys in out. Choose another directory or remove the old keys intentionally.";

TEST(KeyFileName, IsOneComponentButNeitherDotNorDotDot) {
  for (std::string_view name : {"private.pem", ".hidden", "...", "a/", "a//", "a/.", "a/./", "../", "../.", "/", "//",
                                "/.", "./", "./.", "key-info.json"}) {
    EXPECT_TRUE(is_key_file_name(name)) << name;
  }
  for (std::string_view name : {"", ".", "..", "a/b", "/a", "./a", "a/..", "../a", "a/b/"}) {
    EXPECT_FALSE(is_key_file_name(name)) << name;
  }
}

// Each way of finding something at a key path.
struct Plant {
  const char* what;
  std::function<void(const TempFolder&, const std::string&)> make;
};

const std::array<Plant, 5> plants{{
    {"a regular file", [](const TempFolder&, const std::string& at) { write_test_file(at, "old"); }},
    {"a folder", [](const TempFolder&, const std::string& at) { ASSERT_EQ(::mkdir(at.c_str(), 0777), 0); }},
    {"a link to a file",
     [](const TempFolder& dir, const std::string& at) {
       write_test_file(dir / "target", "old");
       ASSERT_EQ(::symlink((dir / "target").c_str(), at.c_str()), 0);
     }},
    {"a dangling link",
     [](const TempFolder& dir, const std::string& at) {
       ASSERT_EQ(::symlink((dir / "target").c_str(), at.c_str()), 0);
     }},
    {"a link to itself", [](const TempFolder&, const std::string& at) { ASSERT_EQ(::symlink(at.c_str(), at.c_str()), 0); }},
}};

TEST(RefuseExistingKeys, RefusesAnythingAtAnyKeyPathNamingTheOutputText) {
  for (const Plant& plant : plants) {
    for (std::size_t planted_at : {0u, 1u}) {
      TempFolder dir;
      const std::array<std::string, 2> paths{dir / "private.pem", dir / "public.pem"};
      plant.make(dir, paths[planted_at]);
      EXPECT_EQ(failure_of(refuse_existing_keys("out", paths)), refusal_in_out) << plant.what << " at " << planted_at;
    }
  }
}

TEST(RefuseExistingKeys, PassesWhenNothingIsThere) {
  TempFolder dir;
  write_test_file(dir / "key-info.json", "{}");  // never a key
  const std::array<std::string, 3> paths{dir / "private.pem", dir / "missing/public.pem",
                                         std::string("a\0b", 3)};
  EXPECT_TRUE(refuse_existing_keys("out", paths));
}

mode_t permissions_of(const std::string& path) {
  struct stat status{};
  ::lstat(path.c_str(), &status);
  return status.st_mode & 07777;
}

TEST(CreateKeyFile, MakesANewFileWithTheGivenPermissions) {
  TempFolder dir;
  mode_t old_mask = ::umask(022);
  {
    auto secret = create_key_file("out", dir / "secret", 0600);
    auto open = create_key_file("out", dir / "public", 0666);
    ASSERT_TRUE(secret && open);
    ASSERT_TRUE(secret->write("key"));
    secret->keep();
    open->keep();
  }
  ::umask(old_mask);
  EXPECT_EQ(read_test_file(dir / "secret"), "key");
  EXPECT_EQ(permissions_of(dir / "secret"), 0600u);
  EXPECT_EQ(permissions_of(dir / "public"), 0644u);
}

TEST(CreateKeyFile, RefusesWhatAppearedSinceTheTestAndTouchesNothing) {
  for (const Plant& plant : plants) {
    TempFolder dir;
    plant.make(dir, dir / "private.pem");
    EXPECT_EQ(failure_of(create_key_file("out", dir / "private.pem", 0600)), refusal_in_out) << plant.what;
    // Nothing was written through a link, nor was its target created.
    if (std::string(plant.what) == "a dangling link") {
      EXPECT_NE(::access((dir / "target").c_str(), F_OK), 0);
    } else if (::access((dir / "target").c_str(), F_OK) == 0) {
      EXPECT_EQ(read_test_file(dir / "target"), "old") << plant.what;
    }
    if (std::string(plant.what) == "a regular file") {
      EXPECT_EQ(read_test_file(dir / "private.pem"), "old");
    }
  }
}

TEST(CreateKeyFile, PassesOtherFailuresOn) {
  TempFolder dir;
  EXPECT_EQ(failure_of(create_key_file("out", dir / "missing/private.pem", 0600)),
            "No such file or directory (os error 2)");
  EXPECT_EQ(failure_of(create_key_file("out", dir / "a/", 0600)), "Is a directory (os error 21)");
  EXPECT_EQ(failure_of(create_key_file("out", dir / std::string(300, 'p'), 0600)), "File name too long (os error 36)");
}

}  // namespace
}  // namespace dsf
