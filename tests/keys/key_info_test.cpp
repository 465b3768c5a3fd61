#include "keys/key_info.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <string>

#include "support/result.hpp"
#include "support/temp_folder.hpp"

namespace dsf {
namespace {

using testing::failure_of;
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

TEST(WriteKeyInfo, ReportsFailuresOfTheWriteAndOfTheJsonPrinter) {
  TempFolder dir;
  const std::array<std::string, 1> names{"key.bin"};
  ASSERT_EQ(::mkdir((dir / "key-info.json").c_str(), 0777), 0);
  EXPECT_EQ(failure_of(write_key_info(rsa_options(dir.path()), names)), "Is a directory (os error 21)");

  // Text that is not UTF-8 cannot be printed as JSON; no file is written then.
  TempFolder other;
  KeyGenOptions options = rsa_options(other.path());
  options.comment = "\xff";
  auto failed = write_key_info(options, names);
  ASSERT_FALSE(failed);
  EXPECT_NE(dynamic_cast<const JsonError*>(&failed.error().object()), nullptr);
  EXPECT_NE(::access((other / "key-info.json").c_str(), F_OK), 0);
}

}  // namespace
}  // namespace dsf
