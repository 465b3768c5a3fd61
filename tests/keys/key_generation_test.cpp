#include "keys/key_generation.hpp"

#include <botan/bigint.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/descriptor_one.hpp"
#include "support/file_size_limit.hpp"
#include "support/result.hpp"
#include "support/temp_folder.hpp"

namespace dsf {
namespace {

using Botan::BigInt;
using testing::capture_descriptor_one;
using testing::entries_of;
using testing::read_test_file;
using testing::TempFolder;
using testing::write_test_file;

constexpr std::string_view name_message =
    "Key filenames must be filenames only; directories are configured with --output.";
constexpr std::string_view clash_message = "Key filenames must differ from each other and from key-info.json.";
constexpr std::string_view raw_size_message = "Raw byte keys must be between 16 and 4096 bytes.";
constexpr std::string_view rsa_size_message =
    "RSA key size must be at least 2048 bits and a multiple of 256 (for example, 2048 or 4096).";

std::string refusal(std::string_view output) {
  return "Refusing to overwrite existing keys in " + std::string(output) +
         ". Choose another directory or remove the old keys intentionally.";
}

KeyGenOptions rsa_options(std::string output, std::uint64_t size = 2048) {
  return {.output = std::move(output), .private_name = "private.pem", .public_name = "public.pem",
          .raw_name = "key.bin", .comment = std::nullopt, .size = size, .raw = false};
}

KeyGenOptions raw_options(std::string output, std::uint64_t size = 32) {
  KeyGenOptions options = rsa_options(std::move(output), size);
  options.raw = true;
  return options;
}

struct Outcome {
  std::string failure;  // empty on success
  std::string report;   // what went to standard output
};

// Runs one call with standard output caught.
Outcome generate(const KeyGenOptions& options) {
  Status status;
  Outcome outcome;
  outcome.report = capture_descriptor_one([&] { status = generate_key_files(options); });
  if (!status) outcome.failure = status.error().display();
  return outcome;
}

bool exists(const std::string& path) {
  struct stat status{};
  return ::lstat(path.c_str(), &status) == 0;
}

mode_t permissions_of(const std::string& path) {
  struct stat status{};
  ::lstat(path.c_str(), &status);
  return status.st_mode & 07777;
}

// The usual mask, so that "0666 less the mask" has one answer.
class KeyGeneration : public ::testing::Test {
 protected:
  void SetUp() override { old_mask_ = ::umask(022); }
  void TearDown() override { ::umask(old_mask_); }

 private:
  mode_t old_mask_ = 0;
};

// ---- checks before anything is made -------------------------------------------------------

TEST_F(KeyGeneration, ChecksTheNamesFirstThenTheirClashesThenTheSize) {
  // The size is always wrong here, so a call that gets past the names fails with the size message.
  struct Case {
    std::string private_name, public_name, raw_name;
    bool raw;
    std::string_view failure;
  };
  const Case cases[] = {
      {"", "public.pem", "key.bin", false, name_message},
      {"private.pem", "sub/public.pem", "key.bin", false, name_message},
      {"private.pem", "public.pem", "a/b", false, name_message},  // unused by RSA mode, still checked
      {"..", "public.pem", "key.bin", true, name_message},        // unused by raw mode, still checked
      {".", "public.pem", "key.bin", false, name_message},
      {"a/..", "public.pem", "key.bin", false, name_message},
      {"./a", "public.pem", "key.bin", false, name_message},
      {"same.pem", "same.pem", "key.bin", false, clash_message},
      {"key-info.json", "public.pem", "key.bin", false, clash_message},
      {"private.pem", "key-info.json", "key.bin", false, clash_message},
      {"private.pem", "public.pem", "key-info.json", true, clash_message},
      {"same", "same", "key.bin", false, clash_message},
      // Only the names a mode writes can clash.
      {"private.pem", "public.pem", "key-info.json", false, rsa_size_message},
      {"same", "same", "key.bin", true, raw_size_message},
      {"key-info.json", "public.pem", "key.bin", true, raw_size_message},
      {"private.pem", "private.pem/", "key.bin", false, rsa_size_message},
      {"a/", "../", "/", false, rsa_size_message},
      {"./", "/.", "...", true, raw_size_message},
  };
  for (const Case& c : cases) {
    TempFolder dir;
    KeyGenOptions options = rsa_options(dir / "keys", c.raw ? 0 : 1024);
    options.raw = c.raw;
    options.private_name = c.private_name;
    options.public_name = c.public_name;
    options.raw_name = c.raw_name;
    Outcome outcome = generate(options);
    EXPECT_EQ(outcome.failure, c.failure) << c.private_name << " " << c.public_name << " " << c.raw_name;
    EXPECT_EQ(outcome.report, "");
    EXPECT_FALSE(exists(dir / "keys"));  // nothing touched the file system
  }
}

TEST_F(KeyGeneration, AcceptsTheSizesOfEachMode) {
  // A size that passes reaches the overwrite test, which a planted key file makes refuse.
  struct Case {
    bool raw;
    std::uint64_t size;
    bool passes;
  };
  const Case cases[] = {
      {false, 2048, true},  {false, 2304, true},  {false, 4096, true},   {false, 8192, true},
      {false, 16384, true}, {false, 0, false},    {false, 1792, false},  {false, 2047, false},
      {false, 2049, false}, {false, 2560 + 128, false}, {false, UINT64_MAX, false},
      {true, 16, true},     {true, 4096, true},   {true, 0, false},      {true, 15, false},
      {true, 4097, false},  {true, UINT64_MAX, false},
  };
  for (const Case& c : cases) {
    TempFolder dir;
    write_test_file(dir / (c.raw ? "key.bin" : "private.pem"), "old");
    KeyGenOptions options = rsa_options(dir.path(), c.size);
    options.raw = c.raw;
    std::string expected = c.passes ? refusal(dir.path()) : std::string(c.raw ? raw_size_message : rsa_size_message);
    EXPECT_EQ(generate(options).failure, expected) << c.raw << " " << c.size;
  }
}

TEST_F(KeyGeneration, RefusesAnythingAtAKeyPathBeforeMakingAKey) {
  struct Case {
    const char* what;
    const char* at;
    const char* name_suffix = "";  // a key name of "private.pem/" still names the link itself
  };
  for (auto [what, at, name_suffix] :
       {Case{"file", "private.pem"}, Case{"file", "public.pem"}, Case{"folder", "private.pem"},
        Case{"dangling link", "private.pem"}, Case{"dangling link", "public.pem"}, Case{"link", "public.pem"},
        Case{"dangling link", "private.pem", "/"}, Case{"dangling link", "public.pem", "/./"}}) {
    TempFolder dir;
    const std::string output = dir / "keys";
    ASSERT_EQ(::mkdir(output.c_str(), 0777), 0);
    const std::string path = output + "/" + at;
    std::string_view kind = what;
    if (kind == "file") write_test_file(path, "old");
    if (kind == "folder") {
      ASSERT_EQ(::mkdir(path.c_str(), 0777), 0);
    }
    if (kind == "link") write_test_file(dir / "target", "old");
    if (kind == "link" || kind == "dangling link") {
      ASSERT_EQ(::symlink((dir / "target").c_str(), path.c_str()), 0);
    }

    KeyGenOptions options = rsa_options(output);
    (std::string_view(at) == "private.pem" ? options.private_name : options.public_name) += name_suffix;
    Outcome outcome = generate(options);
    EXPECT_EQ(outcome.failure, refusal(output)) << what << " at " << at << name_suffix;
    EXPECT_EQ(outcome.report, "");
    EXPECT_EQ(entries_of(output), std::vector<std::string>{at}) << what << " at " << at;
    EXPECT_EQ(exists(dir / "target"), kind == "link") << "a link was followed";
  }
}

TEST_F(KeyGeneration, FailsAtFolderCreationWhenTheOutputIsAFile) {
  TempFolder dir;
  write_test_file(dir / "file", "x");
  Outcome outcome = generate(raw_options(dir / "file"));
  EXPECT_EQ(outcome.failure, "File exists (os error 17)");
  EXPECT_EQ(generate(raw_options(dir / "file/keys")).failure, "Not a directory (os error 20)");
  EXPECT_EQ(entries_of(dir.path()), std::vector<std::string>{"file"});
}

// ---- raw mode ---------------------------------------------------------------------------

TEST_F(KeyGeneration, WritesARawKeyItsDescriptionAndTheReport) {
  TempFolder dir;
  const std::string output = dir / "a/b/keys";  // missing ancestors are made
  Outcome outcome = generate(raw_options(output));
  ASSERT_EQ(outcome.failure, "");
  EXPECT_EQ(outcome.report, "Generated key:\n  Raw bytes (32)\n  " + output + "/key.bin\n");
  std::string key = read_test_file(output + "/key.bin");
  EXPECT_EQ(key.size(), 32u);
  EXPECT_EQ(permissions_of(output + "/key.bin"), 0600u);
  EXPECT_EQ(permissions_of(output + "/key-info.json"), 0644u);
  EXPECT_EQ(read_test_file(output + "/key-info.json"),
            "{\n  \"comment\": null,\n  \"files\": [\n    \"key.bin\"\n  ],\n  \"size\": 32,\n"
            "  \"size_unit\": \"bytes\",\n  \"type\": \"bytes\"\n}");

  // A second call is refused and changes nothing; another folder gets other bytes.
  Outcome again = generate(raw_options(output));
  EXPECT_EQ(again.failure, refusal(output));
  EXPECT_EQ(again.report, "");
  EXPECT_EQ(read_test_file(output + "/key.bin"), key);
  ASSERT_EQ(generate(raw_options(dir / "other")).failure, "");
  EXPECT_NE(read_test_file(dir / "other/key.bin"), key);

  for (std::uint64_t size : {16u, 4096u}) {
    TempFolder sized;
    ASSERT_EQ(generate(raw_options(sized.path(), size)).failure, "");
    EXPECT_EQ(read_test_file(sized / "key.bin").size(), size);
  }
}

TEST_F(KeyGeneration, JoinsTheOutputAsGivenAndUsesTheCurrentFolderForAnEmptyOne) {
  TempFolder dir;
  testing::in_folder(dir.path(), [] {
    Outcome outcome = generate(raw_options(""));
    EXPECT_EQ(outcome.failure, "");
    EXPECT_EQ(outcome.report, "Generated key:\n  Raw bytes (32)\n  key.bin\n");
    EXPECT_EQ(generate(raw_options("")).failure, refusal(""));

    outcome = generate(raw_options("keys/"));
    EXPECT_EQ(outcome.failure, "");
    EXPECT_EQ(outcome.report, "Generated key:\n  Raw bytes (32)\n  keys/key.bin\n");
    EXPECT_EQ(generate(raw_options("keys/")).failure, refusal("keys/"));
  });
  EXPECT_EQ(entries_of(dir.path()), (std::vector<std::string>{"key-info.json", "key.bin", "keys"}));
}

TEST_F(KeyGeneration, ReplacesAnOldDescriptionOrALinkThereButNeverWritesThroughIt) {
  TempFolder dir;
  write_test_file(dir / "key-info.json", "old description");
  ASSERT_EQ(generate(raw_options(dir.path())).failure, "");
  EXPECT_TRUE(read_test_file(dir / "key-info.json").starts_with("{\n"));

  // A link there is replaced itself; what it points to, or would create, is left alone.
  TempFolder outside;
  write_test_file(outside / "victim.txt", "victim");
  for (const char* target : {"../victim.txt", "../planted"}) {
    const std::string keys = outside / ("keys-" + std::string(target + 3));
    ASSERT_EQ(::mkdir(keys.c_str(), 0777), 0);
    ASSERT_EQ(::symlink(target, (keys + "/key-info.json").c_str()), 0);
    ASSERT_EQ(generate(raw_options(keys)).failure, "") << target;
    EXPECT_EQ(entries_of(keys), (std::vector<std::string>{"key-info.json", "key.bin"}));
    EXPECT_FALSE(std::filesystem::is_symlink(keys + "/key-info.json"));
    EXPECT_EQ(permissions_of(keys + "/key-info.json"), 0644u);
  }
  EXPECT_EQ(read_test_file(outside / "victim.txt"), "victim");
  EXPECT_EQ(entries_of(outside.path()), (std::vector<std::string>{"keys-planted", "keys-victim.txt", "victim.txt"}));
}

TEST_F(KeyGeneration, TakesKeyNamesWithASlashAsTheyAre) {
  TempFolder dir;
  KeyGenOptions root = raw_options(dir.path());
  root.raw_name = "/";  // the root exists
  EXPECT_EQ(generate(root).failure, refusal(dir.path()));

  // A name ending in "/" cannot be created as a file; in RSA mode the private key file made
  // before it goes again.
  for (bool raw : {true, false}) {
    KeyGenOptions folder_like = raw ? raw_options(dir.path()) : rsa_options(dir.path());
    (raw ? folder_like.raw_name : folder_like.public_name) = "a/";
    Outcome outcome = generate(folder_like);
    EXPECT_EQ(outcome.failure, "Is a directory (os error 21)");
    EXPECT_EQ(outcome.report, "");
    EXPECT_TRUE(entries_of(dir.path()).empty());
  }
}

// A failed call takes away the key files it made, and only them: the folder is left as it was,
// and a plain retry succeeds once the cause is gone.
struct FailingCall {
  const char* what;
  KeyGenOptions options;
  std::string failure;
  rlim_t file_size_limit = 0;    // none when 0
  bool key_info_folder = false;  // "key-info.json" is a folder, removed before the retry
};

void expect_folder_left_as_it_was(const FailingCall& c) {
  TempFolder dir;
  const std::string keys = dir / "keys";
  ASSERT_EQ(::mkdir(keys.c_str(), 0777), 0);
  write_test_file(keys + "/notes.txt", "kept");
  if (c.key_info_folder) {
    ASSERT_EQ(::mkdir((keys + "/key-info.json").c_str(), 0777), 0);
  }
  const std::vector<std::string> before = entries_of(keys);

  KeyGenOptions options = c.options;
  options.output = keys;
  Outcome outcome;
  if (c.file_size_limit == 0) {
    outcome = generate(options);
  } else {
    outcome.failure = testing::under_file_size_limit(c.file_size_limit, [&] {
      Outcome in_child = generate(options);
      return in_child.failure + in_child.report;
    });
  }
  EXPECT_EQ(outcome.failure, c.failure) << c.what;
  EXPECT_EQ(outcome.report, "") << c.what;
  EXPECT_EQ(entries_of(keys), before) << c.what;
  EXPECT_EQ(read_test_file(keys + "/notes.txt"), "kept");

  if (c.key_info_folder) {
    ASSERT_EQ(::rmdir((keys + "/key-info.json").c_str()), 0);
  }
  KeyGenOptions retry = c.options.raw ? raw_options(keys, c.options.size) : rsa_options(keys, c.options.size);
  EXPECT_EQ(generate(retry).failure, "") << c.what;
}

TEST_F(KeyGeneration, AKeyFileThatCannotBeMadeLeavesTheFolderAsItWas) {
  const std::string long_name(300, 'p');
  auto with = [](KeyGenOptions options, std::string KeyGenOptions::*name, std::string value) {
    options.*name = std::move(value);
    return options;
  };
  const FailingCall cases[] = {
      {"long private name", with(rsa_options(""), &KeyGenOptions::private_name, long_name),
       "File name too long (os error 36)"},
      {"long public name", with(rsa_options(""), &KeyGenOptions::public_name, long_name),
       "File name too long (os error 36)"},
      {"public name key-info.json/", with(rsa_options(""), &KeyGenOptions::public_name, "key-info.json/"),
       "Is a directory (os error 21)"},
      {"long raw name", with(raw_options(""), &KeyGenOptions::raw_name, long_name), "File name too long (os error 36)"},
  };
  for (const FailingCall& c : cases) expect_folder_left_as_it_was(c);
}

TEST_F(KeyGeneration, AFailedWriteOfAnyFileTakesTheKeyFilesAway) {
  const FailingCall cases[] = {
      {"raw key cut short", raw_options("", 4096), "File too large (os error 27)", 1000},
      {"key-info.json cut short", raw_options("", 16), "File too large (os error 27)", 64},
      {"private key cut short", rsa_options(""), "File too large (os error 27)", 1000},
      {"key-info.json a folder, raw", raw_options(""), "Is a directory (os error 21)", 0, true},
      {"key-info.json a folder, RSA", rsa_options(""), "Is a directory (os error 21)", 0, true},
  };
  for (const FailingCall& c : cases) expect_folder_left_as_it_was(c);
}

// ---- RSA mode, read back with openssl ------------------------------------------------------

struct Command {
  int status;
  std::string output;
};

Command run(const std::string& command) {
  Command result{-1, {}};
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.output.append(buffer, got);
  int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

struct Asn1Integer {
  std::size_t header_length;
  std::size_t length;
  BigInt value;
};

// The INTEGERs of a DER SEQUENCE as openssl's own parser lists them.
std::vector<Asn1Integer> integers_in(const std::string& pem_file) {
  Command parsed = run("openssl asn1parse -in '" + pem_file + "'");
  EXPECT_EQ(parsed.status, 0) << parsed.output;
  std::vector<Asn1Integer> integers;
  static const std::regex line(R"(hl=\s*(\d+)\s+l=\s*(\d+)\s+prim:\s+INTEGER\s+:([0-9A-F]+))");
  for (std::sregex_iterator it(parsed.output.begin(), parsed.output.end(), line), end; it != end; ++it) {
    integers.push_back({std::stoul((*it)[1]), std::stoul((*it)[2]), BigInt::from_string("0x" + (*it)[3].str())});
  }
  return integers;
}

// Every line ends with LF alone; only the BEGIN and END lines pass 64 characters.
void expect_pem_lines(const std::string& text, std::string_view label) {
  EXPECT_TRUE(text.starts_with("-----BEGIN " + std::string(label) + "-----\n"));
  EXPECT_TRUE(text.ends_with("\n-----END " + std::string(label) + "-----\n"));
  EXPECT_EQ(text.find('\r'), std::string::npos);
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    if (text[start] != '-') {
      EXPECT_LE(end - start, 64u);
    }
    start = end + 1;
  }
}

// The private key file holds a valid two-prime PKCS#1 key of `size` bits with e = 65537, and the
// public key file its n and e. Returns n.
BigInt expect_valid_key_pair(const std::string& private_file, const std::string& public_file, std::size_t size) {
  Command check = run("openssl rsa -in '" + private_file + "' -check -noout");
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_NE(check.output.find("RSA key ok"), std::string::npos) << check.output;
  Command text = run("openssl rsa -in '" + private_file + "' -text -noout");
  EXPECT_NE(text.output.find("Private-Key: (" + std::to_string(size) + " bit, 2 primes)"), std::string::npos);

  std::vector<Asn1Integer> fields = integers_in(private_file);
  EXPECT_EQ(fields.size(), 9u);
  if (fields.size() != 9) return {};
  const BigInt &version = fields[0].value, &n = fields[1].value, &e = fields[2].value, &d = fields[3].value,
               &p = fields[4].value, &q = fields[5].value, &dp = fields[6].value, &dq = fields[7].value,
               &qinv = fields[8].value;
  EXPECT_EQ(version, 0);
  EXPECT_EQ(e, 65537);
  EXPECT_EQ(n.bits(), size);
  EXPECT_EQ(p.bits(), size / 2);
  EXPECT_EQ(q.bits(), size / 2);
  EXPECT_EQ(p * q, n);
  EXPECT_EQ((d * e) % (p - 1), 1);
  EXPECT_EQ((d * e) % (q - 1), 1);
  EXPECT_EQ(dp, d % (p - 1));
  EXPECT_EQ(dq, d % (q - 1));
  EXPECT_EQ((q * qinv) % p, 1);

  std::vector<Asn1Integer> public_fields = integers_in(public_file);
  EXPECT_EQ(public_fields.size(), 2u);
  if (public_fields.size() == 2) {
    EXPECT_EQ(public_fields[0].value, n);
    EXPECT_EQ(public_fields[1].value, 65537);
    EXPECT_EQ(public_fields[1].length, 3u);  // 02 03 01 00 01
  }
  Command public_text = run("openssl rsa -RSAPublicKey_in -in '" + public_file + "' -text -noout");
  EXPECT_EQ(public_text.status, 0) << public_text.output;

  expect_pem_lines(read_test_file(private_file), "RSA PRIVATE KEY");
  expect_pem_lines(read_test_file(public_file), "RSA PUBLIC KEY");
  return n;
}

TEST_F(KeyGeneration, WritesAValidRsaKeyPairOnceAndRefusesToReplaceIt) {
  TempFolder dir;
  const std::string output = dir / "keys";
  KeyGenOptions options = rsa_options(output);
  options.comment = "test key";
  Outcome outcome = generate(options);
  ASSERT_EQ(outcome.failure, "");
  EXPECT_EQ(outcome.report, "Generated keys:\n  RSA-2048\n  " + output + "/private.pem\n  " + output + "/public.pem\n");

  const std::string private_file = output + "/private.pem", public_file = output + "/public.pem";
  BigInt n = expect_valid_key_pair(private_file, public_file, 2048);
  EXPECT_EQ(read_test_file(public_file).size(), 426u);
  EXPECT_EQ(permissions_of(private_file), 0600u);
  EXPECT_EQ(permissions_of(public_file), 0644u);
  EXPECT_EQ(permissions_of(output + "/key-info.json"), 0644u);
  EXPECT_EQ(read_test_file(output + "/key-info.json"),
            "{\n  \"comment\": \"test key\",\n  \"files\": [\n    \"private.pem\",\n    \"public.pem\"\n  ],\n"
            "  \"size\": 2048,\n  \"size_unit\": \"bits\",\n  \"type\": \"rsa\"\n}");

  // A second call changes nothing, also when only the public key is left.
  const std::string private_text = read_test_file(private_file), public_text = read_test_file(public_file);
  Outcome again = generate(rsa_options(output));
  EXPECT_EQ(again.failure, refusal(output));
  EXPECT_EQ(again.report, "");
  EXPECT_EQ(read_test_file(private_file), private_text);
  EXPECT_EQ(read_test_file(public_file), public_text);
  ASSERT_EQ(::unlink(private_file.c_str()), 0);
  EXPECT_EQ(generate(rsa_options(output)).failure, refusal(output));
  EXPECT_FALSE(exists(private_file));

  // Each call makes a new pair.
  ASSERT_EQ(generate(rsa_options(dir / "other")).failure, "");
  BigInt other_n = expect_valid_key_pair(dir / "other/private.pem", dir / "other/public.pem", 2048);
  EXPECT_NE(other_n, n);
}

TEST_F(KeyGeneration, WritesA4096BitPairAsTheDefaultCallDoes) {
  TempFolder dir;
  testing::in_folder(dir.path(), [] {
    Outcome outcome = generate(rsa_options("keys", 4096));
    ASSERT_EQ(outcome.failure, "");
    EXPECT_EQ(outcome.report, "Generated keys:\n  RSA-4096\n  keys/private.pem\n  keys/public.pem\n");
  });
  expect_valid_key_pair(dir / "keys/private.pem", dir / "keys/public.pem", 4096);
  EXPECT_EQ(read_test_file(dir / "keys/public.pem").size(), 775u);
  // The modulus is 02 82 02 01, a 00 byte and its 512 bytes, its top bit being set.
  std::vector<Asn1Integer> fields = integers_in(dir / "keys/private.pem");
  ASSERT_GE(fields.size(), 2u);
  EXPECT_EQ(fields[1].header_length, 4u);
  EXPECT_EQ(fields[1].length, 513u);
  EXPECT_EQ(read_test_file(dir / "keys/key-info.json"),
            "{\n  \"comment\": null,\n  \"files\": [\n    \"private.pem\",\n    \"public.pem\"\n  ],\n"
            "  \"size\": 4096,\n  \"size_unit\": \"bits\",\n  \"type\": \"rsa\"\n}");
}

}  // namespace
}  // namespace dsf
