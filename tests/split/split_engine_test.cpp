#include "split/split_engine.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/text.hpp"
#include "merge/merge_engine.hpp"
#include "merge/payload_writer.hpp"
#include "support/descriptor_one.hpp"
#include "support/result.hpp"
#include "support/temp_folder.hpp"

namespace dsf {
namespace {

using testing::capture_descriptor_one;
using testing::in_folder;
using testing::read_test_file;
using testing::TempFolder;
using testing::value_of;
using testing::write_test_file;

constexpr std::size_t block = MergedLineReader::buffer_size;

std::string merged_text(std::string_view python_source, std::string_view commonjs_text) {
  return fill_merged_template(prepare_python_payload(python_source), prepare_js_payload(commonjs_text));
}

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  LineCursor cursor(text);
  for (std::string_view line; cursor.next(line);) lines.emplace_back(line);
  return lines;
}

// Every line the reader gives, or the failure's text as the last entry.
std::vector<std::string> read_lines(const std::string& path) {
  std::vector<std::string> lines;
  auto reader = MergedLineReader::open(path);
  if (!reader) return {"failed: " + reader.error().display()};
  for (;;) {
    auto line = reader->next_line();
    if (!line) {
      lines.push_back("failed: " + line.error().display());
      return lines;
    }
    if (!*line) break;
    lines.push_back(std::move(**line));
  }
  // The end stays the end.
  auto again = reader->next_line();
  EXPECT_TRUE(again && !*again);
  reader->close();
  return lines;
}

bool exists(const std::string& path) {
  struct stat status{};
  return ::lstat(path.c_str(), &status) == 0;
}

TEST(MergedLineReader, CutsLinesAsTheLineRuleSays) {
  TempFolder dir;
  for (std::string_view text : {"", "a", "a\n", "a\r\n", "a\r", "a\rb\n", "\n", "\n\n", "a\n\nb", "\r\n\r\n", "é\r\r\n"}) {
    write_test_file(dir / "f", text);
    EXPECT_EQ(read_lines(dir / "f"), lines_of(text)) << text;
  }
}

// Where the reads end must not show in the lines: a line longer than the buffer, an LF or a CR LF
// pair or a multi-byte character across the boundary between two reads.
TEST(MergedLineReader, AssemblesLinesAcrossReads) {
  TempFolder dir;
  for (std::size_t before : {block - 2, block - 1, block, block + 1, 2 * block - 1, 2 * block, 3 * block + 5}) {
    for (std::string_view tail : {"\n", "\r\n", "é\n", "\u3000\r\n", "\r"}) {
      std::string text = std::string(before, 'x') + std::string(tail) + "next\r\n" + std::string(block * 2, 'y');
      write_test_file(dir / "f", text);
      EXPECT_EQ(read_lines(dir / "f"), lines_of(text)) << before << " then " << tail;
    }
  }
  std::string short_lines;
  for (int i = 0; i < 5000; ++i) short_lines += std::to_string(i) + (i % 3 ? "\n" : "\r\n");
  write_test_file(dir / "f", short_lines);
  EXPECT_EQ(read_lines(dir / "f"), lines_of(short_lines));
}

// The size the file had when it was opened only makes room for long lines: the lines are what
// the reads bring, from a file that has grown or shrunk since.
TEST(MergedLineReader, ReadsTheFileAsItIsWhenRead) {
  TempFolder dir;
  const std::string path = dir / "f";
  const std::string text = std::string(4 * block + 3, 'a') + "\n" + std::string(block, 'b');
  for (std::size_t size_at_open : {std::size_t{0}, 2 * block, 8 * block}) {
    write_test_file(path, std::string(size_at_open, 'z'));
    auto reader = MergedLineReader::open(path);
    ASSERT_TRUE(reader);
    write_test_file(path, text);
    std::vector<std::string> lines;
    for (auto line = reader->next_line(); line && *line; line = reader->next_line()) lines.push_back(std::move(**line));
    EXPECT_EQ(lines, lines_of(text)) << size_at_open;
  }
}

TEST(MergedLineReader, FailsOnInvalidUtf8AndOnReadsAndOpens) {
  TempFolder dir;
  write_test_file(dir / "bad", "good\n" + std::string(block, 'x') + "\xC3\n\xC3\xA9");
  EXPECT_EQ(read_lines(dir / "bad"),
            (std::vector<std::string>{"good", "failed: stream did not contain valid UTF-8"}));
  // A character cut by the end of the file is as invalid as one cut by the end of a line.
  write_test_file(dir / "cut", std::string(block - 1, 'x') + "\xE2\x80");
  EXPECT_EQ(read_lines(dir / "cut"), (std::vector<std::string>{"failed: stream did not contain valid UTF-8"}));
  EXPECT_EQ(read_lines(dir.path()), (std::vector<std::string>{"failed: Is a directory (os error 21)"}));
  EXPECT_EQ(read_lines(dir / "missing"), (std::vector<std::string>{"failed: No such file or directory (os error 2)"}));
}

// A FIFO shows how the reader reads: a line comes out as soon as one read has brought its LF,
// without waiting for the buffer to fill, and a read cut short by a signal is made again.
TEST(MergedLineReader, ReadsOnceForEachRefillAndRepeatsInterruptedReads) {
  using namespace std::chrono_literals;
  TempFolder dir;
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Opened for reading and writing, so that neither open waits for the other side.
  FileDescriptor sender(::open(fifo.c_str(), O_RDWR));
  ASSERT_TRUE(sender);
  auto reader = MergedLineReader::open(fifo);
  ASSERT_TRUE(reader);
  struct sigaction quiet{};
  quiet.sa_handler = [](int) {};  // without SA_RESTART a blocked read fails with EINTR
  struct sigaction previous{};
  ASSERT_EQ(::sigaction(SIGUSR1, &quiet, &previous), 0);
  const pthread_t reading_thread = ::pthread_self();
  std::promise<void> first_line_read;
  std::atomic<bool> first_line_in_time = false;
  std::thread writer([&] {
    auto send = [&](std::string_view bytes) {
      EXPECT_EQ(::write(sender.get(), bytes.data(), bytes.size()), std::ssize(bytes));
    };
    send("first\n");
    first_line_in_time = first_line_read.get_future().wait_for(30s) == std::future_status::ready;
    send("sec");
    // The reader now waits in its next read for the rest of the line.
    for (int i = 0; i < 5; ++i) {
      std::this_thread::sleep_for(20ms);
      ::pthread_kill(reading_thread, SIGUSR1);
    }
    send("ond\nthird");
    sender.reset();
  });

  auto first = reader->next_line();
  first_line_read.set_value();
  std::vector<std::string> lines;
  if (first && *first) lines.push_back(std::move(**first));
  for (;;) {
    auto line = reader->next_line();
    if (!line) {
      lines.push_back("failed: " + line.error().display());
      break;
    }
    if (!*line) break;
    lines.push_back(std::move(**line));
  }
  writer.join();
  ::sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_TRUE(first_line_in_time);
  EXPECT_EQ(lines, (std::vector<std::string>{"first", "second", "third"}));
}

TEST(JsOutputExtension, TakesTheEntryAfterPyInTheFileName) {
  struct Case { std::string_view path, extension; };
  for (auto [path, extension] : {
           Case{"x.py.js", "js"}, Case{"x.py.cjs", "cjs"}, Case{"x.py.mjs", "mjs"}, Case{"x.py.jsx", "jsx"},
           Case{"x.py.ts", "ts"}, Case{"x.py.cts", "cts"}, Case{"x.py.mts", "mts"}, Case{"out/x.py.tsx", "tsx"},
           Case{".py.ts", "ts"}, Case{"x.py.ts/", "ts"}, Case{"/a//b.py.cts//", "cts"},
           // Compared as written, and only in the name itself.
           Case{"x.py.TS", "js"}, Case{"X.PY.MJS", "js"}, Case{"x.ts", "js"}, Case{"x.mjs", "js"},
           Case{"x.pyts", "js"}, Case{"x.py.ts.bak", "js"}, Case{"merged.txt", "js"}, Case{"merged", "js"},
           Case{"x.py.ts/merged", "js"}, Case{"", "js"}, Case{"/", "js"}, Case{".", "js"}, Case{"x.py.ts/..", "js"},
       }) {
    EXPECT_EQ(js_output_extension(path), extension) << path;
  }
}

constexpr std::string_view python_source = "def hi():\n    print(\"hi\")\n";
constexpr std::string_view commonjs_source =
    "const path = require(\"path\");\n"
    "exports.run = run;\n"
    "module.exports = run;\n";
constexpr std::string_view commonjs_back =  // after the writer: every line ended by an LF
    "const path = require(\"path\");\n"
    "exports.run = run;\n"
    "module.exports = run;\n";
constexpr std::string_view esm_back =
    "import * as path from \"path\";\n"
    "export { run as run };\n"
    "export default run;";
constexpr std::string_view python_back = "def hi():\n\tprint(\"hi\")";

// Runs the split and gives its report, or the failure's text.
std::string run_split(std::string_view merged_file, std::optional<std::string_view> output) {
  Status status;
  std::string report = capture_descriptor_one([&] { status = split_file(merged_file, output); });
  if (!status) {
    EXPECT_EQ(report, "");
    return "failed: " + status.error().display();
  }
  return report;
}

TEST(SplitFile, WritesBothFilesIntoOutAndReportsThem) {
  TempFolder dir;
  ASSERT_EQ(::mkdir((dir / "out").c_str(), 0777), 0);
  write_test_file(dir / "out/result.py.js", merged_text(python_source, commonjs_source));
  in_folder(dir.path(), [] {
    EXPECT_EQ(run_split("out/result.py.js", std::nullopt), "Split:\n  out/result.py\n  out/result.js\n");
    EXPECT_EQ(read_test_file("out/result.py"), python_back);
    EXPECT_EQ(read_test_file("out/result.js"), commonjs_back);
  });
}

TEST(SplitFile, ChoosesTheFormAndTheExtensionFromTheMergedFilesName) {
  struct Case {
    std::string_view merged_name;
    std::string_view package_json;
    std::string_view js_name;
    bool es_module;
  };
  for (auto [merged_name, package_json, js_name, es_module] : {
           Case{"result.py.mjs", R"({"type": "commonjs"})", "result.mjs", true},
           Case{"result.py.cjs", R"({"type": "module"})", "result.cjs", false},
           Case{"result.py.tsx", R"({"type": "module"})", "result.tsx", true},
           Case{"result.py.tsx", "", "result.tsx", false},
           Case{"result.py.jsx", R"({"type": "module"})", "result.jsx", true},
           Case{"result.py.ts", R"({"type": "commonjs"})", "result.ts", false},
           Case{"X.PY.MJS", "", "result.js", true},
           Case{"merged.txt", R"({"type": "module"})", "result.js", true},
           Case{"app.mjs", "", "result.js", true},
           Case{"merged", "", "result.js", false},
           Case{"x.py.ts/merged", "", "result.js", false},
       }) {
    TempFolder dir;
    if (merged_name.find('/') != std::string_view::npos) {
      ASSERT_EQ(::mkdir((dir / "x.py.ts").c_str(), 0777), 0);
    }
    if (!package_json.empty()) write_test_file(dir / "package.json", package_json);
    write_test_file(dir / merged_name, merged_text(python_source, commonjs_source));
    std::string out = dir / "split";
    EXPECT_EQ(run_split(dir / merged_name, out),
              "Split:\n  " + out + "/result.py\n  " + out + "/" + std::string(js_name) + "\n")
        << merged_name;
    EXPECT_EQ(read_test_file(out + "/result.py"), python_back) << merged_name;
    EXPECT_EQ(read_test_file(out + "/" + std::string(js_name)), es_module ? esm_back : commonjs_back)
        << merged_name;
  }
}

TEST(SplitFile, TakesTheOutputFolderAsGiven) {
  TempFolder dir;
  write_test_file(dir / "m.py.js", merged_text(python_source, commonjs_source));
  in_folder(dir.path(), [] {
    EXPECT_EQ(run_split("m.py.js", ""), "Split:\n  result.py\n  result.js\n");
    EXPECT_EQ(read_test_file("result.js"), commonjs_back);
    EXPECT_EQ(run_split("m.py.js", "deep/a/b/"), "Split:\n  deep/a/b/result.py\n  deep/a/b/result.js\n");
    EXPECT_EQ(read_test_file("deep/a/b/result.py"), python_back);

    // Existing files are replaced.
    write_test_file("deep/a/b/result.js", std::string(10000, 'z'));
    EXPECT_EQ(run_split("m.py.js", "deep/a/b"), "Split:\n  deep/a/b/result.py\n  deep/a/b/result.js\n");
    EXPECT_EQ(read_test_file("deep/a/b/result.js"), commonjs_back);
  });
}

TEST(SplitFile, FindsThePayloadLinesAnywhereAndTakesTheLastOfEach) {
  TempFolder dir;
  std::string good = merged_text(python_source, commonjs_source);
  std::vector<std::string> two = lines_of(good);
  std::string other = merged_text("other = 1\n", "other();\n");
  const std::string files[] = {
      two[1] + "\n" + two[0],
      "#!/usr/bin/env x\n\n" + two[1] + "\nnoise\n" + two[0] + "\ntrailer\n",
      two[0] + "\r\n" + two[1] + "\r\n",
      lines_of(other)[0] + "\n" + other.substr(other.find('\n') + 1) + "\n" + good,
      std::string(block - two[0].size() - 1, '#') + "\n" + two[0] + "\n" + std::string(3 * block, '#') + "\n" + two[1],
      // A byte-order mark that an editor put at the start of the file.
      "\uFEFF" + good,
      "\uFEFF" + two[1] + "\r\n" + two[0],
  };
  for (const std::string& file : files) {
    write_test_file(dir / "m.py.js", file);
    const std::string out = dir / "out";
    EXPECT_EQ(run_split(dir / "m.py.js", out), "Split:\n  " + out + "/result.py\n  " + out + "/result.js\n");
    EXPECT_EQ(read_test_file(dir / "out/result.py"), python_back);
    EXPECT_EQ(read_test_file(dir / "out/result.js"), commonjs_back);
  }
}

TEST(SplitFile, RefusesFilesWithoutBothPayloadsAndWritesNothing) {
  TempFolder dir;
  std::vector<std::string> two = lines_of(merged_text(python_source, commonjs_source));
  const std::string files[] = {
      "",
      two[0],
      two[1],
      "1 // (lambda: exec(\"\", globals()) or 1)()\nlambda: eval(\")",
      " " + two[0] + "\n" + two[1],
      // Only one mark, and only at the start of the file, is dropped.
      "\uFEFF\uFEFF" + two[0] + "\n" + two[1],
      two[0] + "\n\uFEFF" + two[1],
  };
  for (const std::string& file : files) {
    write_test_file(dir / "m.py.js", file);
    EXPECT_EQ(run_split(dir / "m.py.js", dir / "out"), "failed: Invalid merged file.") << file;
    EXPECT_FALSE(exists(dir / "out"));
  }

  // An empty source on either side is a file like any other, and so is a later empty payload.
  struct Accepted { std::string file, python, js; };
  for (const auto& [file, python, js] : {
           Accepted{merged_text("", commonjs_source), "", std::string(commonjs_back)},
           Accepted{merged_text(python_source, ""), std::string(python_back), ""},
           Accepted{two[0] + "\n" + two[1] + "\nlambda: eval(\"\")", std::string(python_back), ""},
       }) {
    write_test_file(dir / "m.py.js", file);
    const std::string out = dir / "out";
    EXPECT_EQ(run_split(dir / "m.py.js", out), "Split:\n  " + out + "/result.py\n  " + out + "/result.js\n");
    EXPECT_EQ(read_test_file(out + "/result.py"), python) << file;
    EXPECT_EQ(read_test_file(out + "/result.js"), js) << file;
  }
}

TEST(SplitFile, FailsOnAnyLineThatIsNoUtf8BeforeWritingAnything) {
  TempFolder dir;
  std::string good = merged_text(python_source, commonjs_source);
  for (const std::string& file : {"\xFF\n" + good, good + "\n\xC0\xAF", good + "\n" + std::string(block, 'x') + "\xED\xA0\x80"}) {
    write_test_file(dir / "m.py.js", file);
    EXPECT_EQ(run_split(dir / "m.py.js", dir / "out"), "failed: stream did not contain valid UTF-8");
    EXPECT_FALSE(exists(dir / "out"));
  }
}

TEST(SplitFile, ReportsAMissingMergedFileByThePathAsGiven) {
  TempFolder dir;
  ASSERT_EQ(::symlink("missing", (dir / "dangling").c_str()), 0);
  EXPECT_EQ(run_split(dir / "missing.py.js", dir / "out"), "failed: " + dir / "missing.py.js does not exist.");
  EXPECT_EQ(run_split(dir / "dangling", dir / "out"), "failed: " + dir / "dangling does not exist.");
  EXPECT_EQ(run_split("", dir / "out"), "failed:  does not exist.");
  EXPECT_EQ(run_split(std::string("a\0b", 3), dir / "out"), "failed: " + std::string("a\0b", 3) + " does not exist.");
  EXPECT_EQ(run_split(dir.path(), dir / "out"), "failed: Is a directory (os error 21)");
  EXPECT_FALSE(exists(dir / "out"));
}

TEST(SplitFile, ReportsAMergedFileThatCannotBeOpened) {
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser may read any file";
  TempFolder dir;
  write_test_file(dir / "m.py.js", merged_text(python_source, commonjs_source));
  ASSERT_EQ(::chmod((dir / "m.py.js").c_str(), 0), 0);
  EXPECT_EQ(run_split(dir / "m.py.js", dir / "out"), "failed: Permission denied (os error 13)");
}

TEST(SplitFile, FailsWhenAnOutputCannotBeMadeAndKeepsWhatWasWritten) {
  TempFolder dir;
  write_test_file(dir / "m.py.js", merged_text(python_source, commonjs_source));

  write_test_file(dir / "file", "keep");
  EXPECT_EQ(run_split(dir / "m.py.js", dir / "file"), "failed: File exists (os error 17)");
  EXPECT_EQ(run_split(dir / "m.py.js", dir / "file/sub"), "failed: Not a directory (os error 20)");
  EXPECT_EQ(run_split(dir / "m.py.js", dir / std::string("a\0b", 3)),
            "failed: file name contained an unexpected NUL byte");
  EXPECT_EQ(read_test_file(dir / "file"), "keep");

  ASSERT_EQ(::mkdir((dir / "py").c_str(), 0777), 0);
  ASSERT_EQ(::mkdir((dir / "py/result.py").c_str(), 0777), 0);
  EXPECT_EQ(run_split(dir / "m.py.js", dir / "py"), "failed: Is a directory (os error 21)");
  EXPECT_FALSE(exists(dir / "py/result.js"));

  ASSERT_EQ(::mkdir((dir / "js").c_str(), 0777), 0);
  ASSERT_EQ(::mkdir((dir / "js/result.js").c_str(), 0777), 0);
  EXPECT_EQ(run_split(dir / "m.py.js", dir / "js"), "failed: Is a directory (os error 21)");
  EXPECT_EQ(read_test_file(dir / "js/result.py"), python_back);
}

// What a merge puts in, a split gives back: the Python text with LF line breaks (and TAB
// indentation where that is exact), the JavaScript text with LF line breaks and a final LF;
// nothing else changes.
TEST(SplitFile, GivesBackTheNormalisedSourcesOfAMerge) {
  TempFolder dir;
  const std::string python =
      "x = 1 + \\\r\n"
      "    2\r"
      "s = \"\"\"a\\n\\tb \\\t \"\"\" + '\\'' \n"
      "if x:\n"
      "        y = '__LITERAL_N__ __LITERAL_T__ \\\\n'  \n"
      "\tz = \"\u2028\u2029\"\n"
      "    \n";
  // Its triple quotes, its backslash before a line break and its TAB keep its indentation.
  const std::string python_expected =
      "x = 1 + \\\n"
      "    2\n"
      "s = \"\"\"a\\n\\tb \\\t \"\"\" + '\\'' \n"
      "if x:\n"
      "        y = '__LITERAL_N__ __LITERAL_T__ \\\\n'  \n"
      "\tz = \"\u2028\u2029\"\n"
      "    ";
  const std::string js =
      "const s = `a\\\r\n"
      "b\\\tc \\n \"q\" 'r'`  \r\n"
      "const t = '__LITERAL_N__' + \"\\\\\" // \\\n"
      "\treturn x\r"
      "  ? a : b";
  const std::string js_expected =
      "const s = `a\\\n"
      "b\\\tc \\n \"q\" 'r'`  \n"
      "const t = '__LITERAL_N__' + \"\\\\\" // \\\n"
      "\treturn x\n"
      "  ? a : b\n";
  write_test_file(dir / "m.py.js", merged_text(python, js));
  EXPECT_NE(run_split(dir / "m.py.js", dir / "out").substr(0, 7), "failed:");
  EXPECT_EQ(read_test_file(dir / "out/result.py"), python_expected);
  EXPECT_EQ(read_test_file(dir / "out/result.js"), js_expected);
}

TEST(SplitFile, GivesBackArbitraryTextsThatAMergeTookIn) {
  TempFolder dir;
  const std::vector<std::string> pieces = {"\\", "\"", "'", "\n", "\r\n", "\r", "\t", "n", "t", "u2028", "\u2028",
                                           "__LITERAL_N__", "__LITERAL_T__", "x", "é", " ", "\"\"\"", "`"};
  std::mt19937 random(4);
  for (int round = 0; round < 300; ++round) {
    std::string python = "p", js = "j";
    for (auto n = random() % 40; n > 0; --n) python += pieces[random() % pieces.size()];
    for (auto n = random() % 40; n > 0; --n) js += pieces[random() % pieces.size()];
    write_test_file(dir / "m.py.js", merged_text(python, js));
    ASSERT_NE(run_split(dir / "m.py.js", dir / "out").substr(0, 7), "failed:");
    EXPECT_EQ(read_test_file(dir / "out/result.py"), reindent_python(normalize_line_breaks(python)));
    EXPECT_EQ(read_test_file(dir / "out/result.js"), terminate_js_lines(normalize_line_breaks(js)));
  }
}

// What a split gives back of merges whose sources need their meaning kept, byte for byte: in
// CommonJS form from a .py.js name and in ES-module form from a .py.mjs name.
TEST(SplitFile, GivesBackSourcesThatNeedTheirMeaningKeptByteForByte) {
  struct Case {
    std::string_view python, js, python_result, commonjs_result, esm_result;
  };
  TempFolder dir;
  for (auto [python, js, python_result, commonjs_result, esm_result] : {
           Case{"\uFEFFprint('hi')\n", "\uFEFFconsole.log(1)\n", "print('hi')", "console.log(1)\n", "console.log(1)"},
           Case{"x = 1\n", "", "x = 1", "", ""},
           Case{"x = 1\n", "export {};\n", "x = 1", "", ""},
           Case{"x = 1\n", "import \"node:fs\";\n  import './side.cjs'\n", "x = 1",
                "require(\"node:fs\");\n  require(\"./side.cjs\");\n", "import \"node:fs\";\n  require(\"./side.cjs\");"},
           Case{"x = 1\n", "try {\n  require('node:fs');\n} catch (e) {}\n", "x = 1",
                "try {\n  require('node:fs');\n} catch (e) {}\n", "try {\n  require('node:fs');\n} catch (e) {}"},
           Case{"x = 1\n", "console.log(greet());\nexport default function greet() {\n  return 1;\n}\n", "x = 1",
                "console.log(greet());\nfunction greet() {\n  return 1;\n}\nmodule.exports = greet;\n",
                "console.log(greet());\nfunction greet() {\n  return 1;\n}\nexport default greet;"},
           Case{"x = 1\n", "export default /* glsl */`\nvoid main() {}\n`;\n", "x = 1",
                "module.exports = /* glsl */`\nvoid main() {}\n`;\n", "export default /* glsl */`\nvoid main() {}\n`;"},
           Case{"if x:\n    print(f\"{\n        x=}\")\n", "x\n", "if x:\n    print(f\"{\n        x=}\")", "x\n", "x"},
           Case{"if x:\n        a = 1\nelse:\n      a = 2\n", "x\n", "if x:\n        a = 1\nelse:\n      a = 2", "x\n", "x"},
           Case{"def f():\n    \"\"\"Doc.\n\n       More.\n    \"\"\"\n", "x\n",
                "def f():\n    \"\"\"Doc.\n\n       More.\n    \"\"\"", "x\n", "x"},
           Case{"def f():\n    return 1\n", "x\n", "def f():\n\treturn 1", "x\n", "x"},
       }) {
    write_test_file(dir / "app.py", python);
    write_test_file(dir / "app.js", js);
    Status merged;
    capture_descriptor_one([&] { merged = merge_files(dir / "app.py", dir / "app.js", dir / "m.py.js"); });
    ASSERT_TRUE(merged) << merged.error().display();
    write_test_file(dir / "m.py.mjs", read_test_file(dir / "m.py.js"));
    ASSERT_NE(run_split(dir / "m.py.js", dir / "cjs").substr(0, 7), "failed:") << js;
    ASSERT_NE(run_split(dir / "m.py.mjs", dir / "esm").substr(0, 7), "failed:") << js;
    EXPECT_EQ(read_test_file(dir / "cjs/result.py"), python_result) << python;
    EXPECT_EQ(read_test_file(dir / "cjs/result.js"), commonjs_result) << js;
    EXPECT_EQ(read_test_file(dir / "esm/result.mjs"), esm_result) << js;
  }
}

}  // namespace
}  // namespace dsf
