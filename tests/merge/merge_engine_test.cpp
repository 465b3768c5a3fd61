#include "merge/merge_engine.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <format>
#include <optional>

#include "support/descriptor_one.hpp"
#include "support/temp_folder.hpp"

namespace dsf {
namespace {

using testing::capture_descriptor_one;
using testing::in_folder;
using testing::read_test_file;
using testing::TempFolder;
using testing::write_test_file;

struct Outcome {
  Status status;
  std::string report;  // what the call wrote to standard output
};

// Runs merge_files with descriptor 1 caught, so that the report can be read back.
Outcome merge_reporting(std::string_view python_file, std::string_view node_file,
                        std::optional<std::string_view> output = std::nullopt) {
  Status status;
  std::string report = capture_descriptor_one([&] { status = merge_files(python_file, node_file, output); });
  return {std::move(status), std::move(report)};
}

std::string display(const Status& status) {
  if (status) return "success";
  return status.error().display();
}

bool is_io_error(const Status& status) {
  return !status && dynamic_cast<const IoError*>(&status.error().object()) != nullptr;
}

std::string os_error(int number) { return std::format("{} (os error {})", std::strerror(number), number); }

constexpr std::string_view python_source = "def hi():\n    print('hi')\n";
constexpr std::string_view js_source = "import path from 'path';\r\nexport default path;\n";
constexpr std::string_view merged_text =
    "1 // (lambda: exec(\"\"\"def hi():\\n\\tprint(\\'hi\\')\"\"\", globals()) or 1)()\n"
    "lambda: eval(\"const path = require(\\\"path\\\").default ?? require(\\\"path\\\");\\n"
    "module.exports = path;\\n\")";

TEST(MergeFiles, WritesTheDefaultOutputAndReportsIt) {
  TempFolder folder;
  write_test_file(folder / "app.py", python_source);
  write_test_file(folder / "app.js", js_source);
  in_folder(folder.path(), [] {
    Outcome outcome = merge_reporting("app.py", "app.js");
    ASSERT_TRUE(outcome.status) << display(outcome.status);
    EXPECT_EQ(read_test_file("out/result.py.js"), merged_text);
    EXPECT_EQ(outcome.report, "Merged:\n  out/result.py.js\n");
  });
}

TEST(MergeFiles, PairsTheInputsByExtensionInEitherOrderAndAnyCase) {
  TempFolder folder;
  write_test_file(folder / "APP.PY", python_source);
  write_test_file(folder / "LIB.MTS", js_source);
  in_folder(folder.path(), [] {
    Outcome outcome = merge_reporting("LIB.MTS", "APP.PY");
    ASSERT_TRUE(outcome.status) << display(outcome.status);
    EXPECT_EQ(read_test_file("out/result.py.mts"), merged_text);
    EXPECT_EQ(outcome.report, "Merged:\n  out/result.py.mts\n");
  });
}

TEST(MergeFiles, ReportsMissingInputsAndUnsupportedPairs) {
  TempFolder folder;
  for (std::string_view name : {"app.py", "main.PY", "app.js", "lib.ts", "view.jsx", "Makefile", ".py"}) {
    write_test_file(folder / name, "x\n");
  }
  ASSERT_EQ(::mkdir((folder / "dir.py").c_str(), 0777), 0);
  ASSERT_EQ(::symlink("nowhere.py", (folder / "gone.py").c_str()), 0);
  write_test_file(folder / "bad.js", "let s = '\xC3\x28';\n");

  struct Case {
    std::string_view python_file, node_file, message;
  };
  const std::string folder_read = os_error(EISDIR);
  in_folder(folder.path(), [&] {
    for (auto [python_file, node_file, message] : {
             Case{"missing.py", "missing.js", "missing.py does not exist."},
             Case{"app.py", "missing.js", "missing.js does not exist."},
             Case{"missing.txt", "app.js", "missing.txt does not exist."},
             Case{"", "app.js", " does not exist."},
             Case{"gone.py", "app.js", "gone.py does not exist."},
             Case{"app.py", "app.py", "Unsupported input combination (.py + .py)."},
             Case{"app.js", "lib.ts", "Unsupported input combination (.js + .ts)."},
             Case{"app.py", "view.jsx", "Unsupported input combination (.py + .jsx)."},
             Case{"main.PY", "Makefile", "Unsupported input combination (.py + .)."},
             Case{".py", "app.js", "Unsupported input combination (. + .js)."},
             Case{"dir.py", "app.js", folder_read},
             Case{"app.js", "dir.py", folder_read},
             Case{"app.py", "bad.js", "stream did not contain valid UTF-8"},
         }) {
      Outcome outcome = merge_reporting(python_file, node_file);
      EXPECT_EQ(display(outcome.status), message) << python_file << " + " << node_file;
      EXPECT_EQ(outcome.report, "");
    }
    EXPECT_FALSE(std::filesystem::exists("out"));
  });
}

TEST(MergeFiles, WritesAGivenOutputAsItIsNamed) {
  TempFolder folder;
  write_test_file(folder / "app.py", python_source);
  write_test_file(folder / "app.js", js_source);
  ASSERT_EQ(::mkdir((folder / "old").c_str(), 0777), 0);
  write_test_file(folder / "old/merged.ts", std::string(500, 'x'));
  in_folder(folder.path(), [] {
    struct Case {
      std::string_view output, report;
    };
    for (auto [output, report] : {
             Case{"merged.py.js", "Merged:\n  merged.py.js\n"},
             Case{"deep/a/b/merged.py.js", "Merged:\n  deep/a/b/merged.py.js\n"},
             Case{"./old/../old/merged.ts", "Merged:\n  ./old/../old/merged.ts\n"},
         }) {
      Outcome outcome = merge_reporting("app.py", "app.js", output);
      ASSERT_TRUE(outcome.status) << output << ": " << display(outcome.status);
      EXPECT_EQ(read_test_file(std::string(output)), merged_text) << output;
      EXPECT_EQ(outcome.report, report);
    }
    EXPECT_FALSE(std::filesystem::exists("out"));
  });
}

TEST(MergeFiles, FailsWhenTheOutputCannotBeWritten) {
  TempFolder folder;
  write_test_file(folder / "app.py", python_source);
  write_test_file(folder / "app.js", js_source);
  struct Case {
    std::string_view output;
    int error;
  };
  in_folder(folder.path(), [] {
    for (auto [output, error] : {
             Case{"", ENOENT},                          // the write of the empty path
             Case{"app.py/merged.py.js", EEXIST},       // the parent is a regular file
             Case{"app.py/sub/merged.py.js", ENOTDIR},  // so is an ancestor
         }) {
      Outcome outcome = merge_reporting("app.py", "app.js", output);
      EXPECT_EQ(display(outcome.status), os_error(error)) << output;
      EXPECT_TRUE(is_io_error(outcome.status)) << output;
      EXPECT_EQ(outcome.report, "") << output;
    }
    EXPECT_EQ(read_test_file("app.py"), python_source);
    EXPECT_FALSE(std::filesystem::exists("out"));
  });
}

TEST(Extensions, LowerCasesTheExtensionOfTheLastName) {
  struct Case {
    std::string_view path, extension;
  };
  for (auto [path, extension] : {
           Case{"a/B.JS", "js"},
           Case{"x.tar.GZ", "gz"},
           Case{"dir.PY/", "py"},
           Case{"\u00C4B.\u00C9JS", "\u00C9js"},  // only A to Z change
           Case{".py", ""},
           Case{"Makefile", ""},
           Case{"a.", ""},
           Case{"a.b/c", ""},
           Case{"a/..", ""},
           Case{"/", ""},
           Case{"", ""},
       }) {
    EXPECT_EQ(lowercase_extension(path), extension) << path;
  }
}

TEST(Extensions, AcceptsTheSevenJavaScriptExtensionsInAnyCase) {
  for (std::string_view extension : {"js", "mjs", "cjs", "ts", "mts", "cts", "tsx", "JS", "Tsx", "mJs"}) {
    EXPECT_TRUE(is_js_extension(extension)) << extension;
  }
  for (std::string_view extension : {"jsx", "py", "", "js ", "j", "json", "tsxx"}) {
    EXPECT_FALSE(is_js_extension(extension)) << extension;
  }
}

// The merged files of sources whose meaning TABs, a byte-order mark, lone CRs or the rewriting
// used to change, byte for byte.
TEST(MergeFiles, WritesSourcesThatNeedTheirMeaningKeptByteForByte) {
  constexpr std::string_view hello_python = "print('hi')\n";
  constexpr std::string_view hello_line = "1 // (lambda: exec(\"\"\"print(\\'hi\\')\"\"\", globals()) or 1)()\n";
  struct Case {
    std::string_view python, js, merged;
  };
  TempFolder folder;
  for (auto [python, js, merged] : {
           Case{"\uFEFFprint('hi')\r\n", "console.log(1)\n",
                "1 // (lambda: exec(\"\"\"print(\\'hi\\')\"\"\", globals()) or 1)()\n"
                "lambda: eval(\"console.log(1)\\n\")"},
           Case{hello_python, "\uFEFFimport fs from 'node:fs';\n",
                "lambda: eval(\"const fs = require(\\\"node:fs\\\").default ?? require(\\\"node:fs\\\");\\n\")"},
           Case{hello_python, "", "lambda: eval(\"\")"},
           Case{hello_python, "\n", "lambda: eval(\"\")"},
           Case{hello_python, "export {};\n", "lambda: eval(\"\")"},
           Case{hello_python, "export { }\r\nexport {};\n", "lambda: eval(\"\")"},
           Case{hello_python, "import \"node:fs\";\nconsole.log(2)",
                "lambda: eval(\"require(\\\"node:fs\\\");\\nconsole.log(2)\\n\")"},
           // A lone CR ends a line for the rewriting as for both interpreters.
           Case{hello_python, "import os from 'node:os'\rconsole.log(typeof os.platform)\r",
                "lambda: eval(\"const os = require(\\\"node:os\\\").default ?? require(\\\"node:os\\\");\\n"
                "console.log(typeof os.platform)\\n\")"},
           Case{hello_python, "let a = 1;\rexport { a }\r\nexport default a;\r\r\n",
                "lambda: eval(\"let a = 1;\\n\\nexports.a = a;\\nmodule.exports = a;\\n\")"},
           Case{"if x:\n        a = 1\nelse:\n      a = 2\n", "x\n",
                "1 // (lambda: exec(\"\"\"if x:\\n        a = 1\\nelse:\\n      a = 2\"\"\", globals()) or 1)()\n"
                "lambda: eval(\"x\\n\")"},
           Case{"s = '''\n   three\n'''\nif s:\n    print(s)\n", "x\n",
                "1 // (lambda: exec(\"\"\"s = \\'\\'\\'\\n   three\\n\\'\\'\\'\\nif s:\\n    print(s)\"\"\", globals()) or 1)()\n"
                "lambda: eval(\"x\\n\")"},
           Case{"if x:\n    s = 'a' \\\n      'b'\n", "x\n",
                "1 // (lambda: exec(\"\"\"if x:\\n    s = \\'a\\' \\\\\\n      \\'b\\'\"\"\", globals()) or 1)()\n"
                "lambda: eval(\"x\\n\")"},
       }) {
    write_test_file(folder / "app.py", python);
    write_test_file(folder / "app.js", js);
    Outcome outcome = merge_reporting(folder / "app.py", folder / "app.js", folder / "m.py.js");
    ASSERT_TRUE(outcome.status) << display(outcome.status);
    std::string expected(merged);
    if (python == hello_python) expected.insert(0, hello_line);
    EXPECT_EQ(read_test_file(folder / "m.py.js"), expected) << python << " / " << js;
  }
}

}  // namespace
}  // namespace dsf
