#include "keys/key_info.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <string>
#include <vector>

#include "support/file_size_limit.hpp"
#include "support/result.hpp"
#include "support/temp_folder.hpp"

namespace dsf {
namespace {

using testing::failure_of;
using testing::entries_of;
using testing::read_test_file;
using testing::TempFolder;
using testing::write_test_file;

KeyGenOptions rsa_options(std::string output) {
  return {.output = std::move(output), .private_name = "private.pem", .public_name = "public.pem",
          .raw_name = "key.bin", .comment = std::nullopt, .size = 4096, .raw = false};
}

TEST(WriteKeyInfo, WritesTheRsaDescriptionOfTheDefaultCall) {
  TempFolder dir;
  const std::array<std::string, 2> names{"private.pem", "public.pem"};
  ASSERT_TRUE(write_key_info(rsa_options(dir.path()), names));
  EXPECT_EQ(read_test_file(dir / "key-info.json"),
            "{\n"
            "  \"comment\": null,\n"
            "  \"files\": [\n"
            "    \"private.pem\",\n"
            "    \"public.pem\"\n"
            "  ],\n"
            "  \"size\": 4096,\n"
            "  \"size_unit\": \"bits\",\n"
            "  \"type\": \"rsa\"\n"
            "}");
}

TEST(WriteKeyInfo, WritesTheRawDescriptionAndReplacesAnEarlierOne) {
  TempFolder dir;
  write_test_file(dir / "key-info.json", std::string(500, 'x'));
  KeyGenOptions options = rsa_options(dir.path() + "/");
  options.raw = true;
  options.size = 32;
  const std::array<std::string, 1> names{"key.bin"};
  ASSERT_TRUE(write_key_info(options, names));
  EXPECT_EQ(read_test_file(dir / "key-info.json"),
            "{\n"
            "  \"comment\": null,\n"
            "  \"files\": [\n"
            "    \"key.bin\"\n"
            "  ],\n"
            "  \"size\": 32,\n"
            "  \"size_unit\": \"bytes\",\n"
            "  \"type\": \"bytes\"\n"
            "}");
}

TEST(WriteKeyInfo, EscapesOnlyQuotesBackslashesAndControlCharacters) {
  struct Case {
    std::string comment;
    std::string written;
  };
  const Case cases[] = {
      {"", R"("")"},
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\keys", R"("C:\\keys")"},
      {"\b\t\n\f\r", R"("\b\t\n\f\r")"},
      {std::string("\0\x01\x0b\x1f", 4), R"("\u0000\u0001\u000b\u001f")"},
      {"\x7f and a/b", "\"\x7f and a/b\""},
      {"Schlüssel für 鍵", "\"Schlüssel für 鍵\""},
  };
  for (const Case& c : cases) {
    TempFolder dir;
    KeyGenOptions options = rsa_options(dir.path());
    options.comment = c.comment;
    const std::array<std::string, 2> names{"a/", "b\"c"};
    ASSERT_TRUE(write_key_info(options, names));
    std::string text = read_test_file(dir / "key-info.json");
    EXPECT_TRUE(text.starts_with("{\n  \"comment\": " + c.written + ",\n  \"files\": [\n    \"a/\",\n    \"b\\\"c\"\n"))
        << text;
  }
}

TEST(WriteKeyInfo, WritesWithTheMaskAppliedInTheCurrentFolderForAnEmptyOutput) {
  TempFolder dir;
  mode_t old_mask = ::umask(027);
  testing::in_folder(dir.path(), [] {
    const std::array<std::string, 1> names{"key.bin"};
    EXPECT_TRUE(write_key_info(rsa_options(""), names));
  });
  ::umask(old_mask);
  struct stat status{};
  ASSERT_EQ(::stat((dir / "key-info.json").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}

TEST(WriteKeyInfo, ReplacesALinkAtItsNameAndLeavesTheTargetAlone) {
  TempFolder outside;
  write_test_file(outside / "victim.txt", "not a description");
  const std::array<std::string, 3> targets{"../victim.txt", "../planted", outside / "planted"};
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const std::string dir = outside / ("keys" + std::to_string(i));
    ASSERT_EQ(::mkdir(dir.c_str(), 0777), 0);
    ASSERT_EQ(::symlink(targets[i].c_str(), (dir + "/key-info.json").c_str()), 0);
    const std::array<std::string, 1> names{"key.bin"};
    ASSERT_TRUE(write_key_info(rsa_options(dir), names)) << targets[i];
    struct stat status{};
    ASSERT_EQ(::lstat((dir + "/key-info.json").c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode)) << targets[i];
    EXPECT_TRUE(read_test_file(dir + "/key-info.json").starts_with("{\n  \"comment\": null,")) << targets[i];
    EXPECT_EQ(entries_of(dir), std::vector<std::string>{"key-info.json"});
  }
  EXPECT_EQ(read_test_file(outside / "victim.txt"), "not a description");
  EXPECT_EQ(entries_of(outside.path()), (std::vector<std::string>{"keys0", "keys1", "keys2", "victim.txt"}));
}

TEST(WriteKeyInfo, ReportsFailuresOfTheWriteAndOfTheJsonPrinter) {
  TempFolder dir;
  const std::array<std::string, 1> names{"key.bin"};
  ASSERT_EQ(::mkdir((dir / "key-info.json").c_str(), 0777), 0);
  EXPECT_EQ(failure_of(write_key_info(rsa_options(dir.path()), names)), "Is a directory (os error 21)");
  EXPECT_EQ(entries_of(dir.path()), std::vector<std::string>{"key-info.json"});  // no new file left behind

  // Text that is not UTF-8 cannot be printed as JSON; no file is written then.
  TempFolder other;
  KeyGenOptions options = rsa_options(other.path());
  options.comment = "\xff";
  auto failed = write_key_info(options, names);
  ASSERT_FALSE(failed);
  EXPECT_NE(dynamic_cast<const JsonError*>(&failed.error().object()), nullptr);
  EXPECT_NE(::access((other / "key-info.json").c_str(), F_OK), 0);
}

TEST(WriteKeyInfo, AWriteCutShortLeavesTheOldDescriptionWhole) {
  TempFolder dir;
  const std::string old_text(500, 'x');
  write_test_file(dir / "key-info.json", old_text);
  const std::array<std::string, 1> names{"key.bin"};
  std::string failure = testing::under_file_size_limit(64, [&] {
    Status written = write_key_info(rsa_options(dir.path()), names);
    return written ? std::string("written") : written.error().display();
  });
  EXPECT_EQ(failure, "File too large (os error 27)");
  EXPECT_EQ(read_test_file(dir / "key-info.json"), old_text);
  EXPECT_EQ(entries_of(dir.path()), std::vector<std::string>{"key-info.json"});
}

}  // namespace
}  // namespace dsf
