#include "split/module_kind.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/paths.hpp"
#include "support/temp_folder.hpp"

namespace dsf {
namespace {

using testing::in_folder;
using testing::TempFolder;
using testing::write_test_file;

constexpr ModuleKind Es = ModuleKind::EsModule;
constexpr ModuleKind Cjs = ModuleKind::CommonJs;

std::string kind_name(ModuleKind kind) { return kind == Es ? "EsModule" : "CommonJs"; }

void make_folder(const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0777), 0) << path; }

TEST(DetectModuleKind, DecidingExtensionsWinOverProjectFiles) {
  TempFolder dir;
  write_test_file(dir / "package.json", R"({"type": "module"})");
  for (std::string_view name : {"x.py.cjs", "x.py.CTS", "x.cjs", "a.mjs/x.cjs"}) {
    EXPECT_EQ(detect_module_kind(dir / name), Cjs) << name;
  }
  write_test_file(dir / "package.json", R"({"type": "commonjs"})");
  for (std::string_view name : {"x.py.mjs", "x.py.MTS", "x.py.Mjs", "app.mjs", "x.py.mjs/"}) {
    EXPECT_EQ(detect_module_kind(dir / name), Es) << name;
  }
}

TEST(DetectModuleKind, OtherExtensionsAskTheProjectFiles) {
  TempFolder dir;
  write_test_file(dir / "package.json", R"({"type": "module"})");
  for (std::string_view name : {"x.py.js", "x.py.ts", "x.py.tsx", "x.py.jsx", "x.py.", "x", ".mjs", "x.mjs.txt"}) {
    EXPECT_EQ(detect_module_kind(dir / name), Es) << name;
  }
}

// Each case: the project files of one folder, and what the folder gives. The folder above holds
// a "package.json" of type "module", so a folder whose files do not decide gives EsModule, while
// one that decides CommonJs is seen as such.
struct FolderCase {
  std::string_view package_json;  // empty: no such file
  std::string_view tsconfig_json;
  ModuleKind expected;
};

void check_folder_cases(std::initializer_list<FolderCase> cases) {
  for (const auto& [package_json, tsconfig_json, expected] : cases) {
    TempFolder dir;
    write_test_file(dir / "package.json", R"({"type": "module"})");
    make_folder(dir / "app");
    if (!package_json.empty()) write_test_file(dir / "app/package.json", package_json);
    if (!tsconfig_json.empty()) write_test_file(dir / "app/tsconfig.json", tsconfig_json);
    EXPECT_EQ(kind_name(*detect_module_kind(dir / "app/x.py.js")), kind_name(expected))
        << "package.json: " << package_json << "\ntsconfig.json: " << tsconfig_json;
  }
}

TEST(DetectModuleKind, ReadsTheTypeOfPackageJson) {
  check_folder_cases({
      {R"({"type": "commonjs"})", "", Cjs},
      {R"({"type": "Module"})", "", Es},
      {R"({"type": "MODULE"})", "", Es},
      {R"({"type": "esnext"})", "", Es},  // one list serves both files
      {R"({"type": " module"})", "", Cjs},
      {R"({"type": "module "})", "", Cjs},
      {R"({"type": ""})", "", Cjs},
      {R"({"type": "modulé"})", "", Cjs},
      {R"({"typ\u0065": "\u006Dodule"})", "", Es},  // names and values compared unescaped
      {R"({"Type": "commonjs"})", "", Es},
      // A "type" that is no string, or stands deeper, does not decide.
      {R"({"type": 1})", "", Es},
      {R"({"type": null})", "", Es},
      {R"({"type": {"type": "commonjs"}})", "", Es},
      {R"({"type": ["commonjs"]})", "", Es},
      {R"({"a": {"type": "commonjs"}})", "", Es},
      {R"([{"type": "commonjs"}])", "", Es},
      {R"("commonjs")", "", Es},
      {R"({"a": [{"type": 1}, {"b": {}}], "type": "commonjs", "z": [[]]})", "", Cjs},
      // The last of two members of one name counts.
      {R"({"type": "module", "type": "commonjs"})", "", Cjs},
      {R"({"type": "commonjs", "type": 7})", "", Es},
  });
}

TEST(DetectModuleKind, ReadsTheModuleOfTsconfigJson) {
  check_folder_cases({
      {"", R"({"compilerOptions": {"module": "commonjs"}})", Cjs},
      {"", R"({"compilerOptions": {"module": "node18"}})", Cjs},
      {"", R"({"compilerOptions": {"module": "es2021"}})", Cjs},
      {"", R"({"compilerOptions": {"target": "esnext", "module": "ES2017"}})", Cjs},
      {"", R"({"compilerOptions": {"module": "esnext"}, "module": "commonjs"})", Es},
      {"", R"({"compilerOptions": "commonjs"})", Es},
      {"", R"({"compilerOptions": {"target": "commonjs"}})", Es},
      {"", R"({"compilerOptions": {"a": {"module": "commonjs"}}})", Es},
      {"", R"({"module": "commonjs"})", Es},
      {"", R"({"compilerOptions": {"module": "commonjs"}, "compilerOptions": {}})", Es},
      {"", R"({"compilerOptions": {}, "compilerOptions": {"module": "commonjs"}})", Cjs},
      {"", R"({"compilerOptions": {"module": "commonjs", "module": false}})", Es},
      {"", R"({"extends": "./base.json"})", Es},
  });
}

TEST(DetectModuleKind, KnowsTheNineEsModuleValues) {
  TempFolder dir;
  for (std::string_view value : {"esnext", "ESNext", "nodenext", "NodeNext", "node16", "es2015", "es2020", "es2022",
                                 "es6", "preserve", "module", "ES6"}) {
    write_test_file(dir / "tsconfig.json", R"({"compilerOptions": {"module": ")" + std::string(value) + R"("}})");
    EXPECT_EQ(detect_module_kind(dir / "x.py.ts"), Es) << value;
  }
}

TEST(DetectModuleKind, PackageJsonDecidesBeforeTsconfigJson) {
  check_folder_cases({
      {R"({"type": "commonjs"})", R"({"compilerOptions": {"module": "esnext"}})", Cjs},
      {R"({"name": "app"})", R"({"compilerOptions": {"module": "commonjs"}})", Cjs},
      {R"({"type": 3})", R"({"compilerOptions": {"module": "commonjs"}})", Cjs},
      {"{", R"({"compilerOptions": {"module": "commonjs"}})", Cjs},
  });
}

// Some editors begin a file with a byte-order mark; Node.js and TypeScript read the file
// without it, but not without a second one.
TEST(DetectModuleKind, ReadsAProjectFileAfterItsByteOrderMark) {
  check_folder_cases({
      {"\xEF\xBB\xBF{\"type\": \"commonjs\"}", "", Cjs},
      {"", "\xEF\xBB\xBF{\"compilerOptions\": {\"module\": \"commonjs\"}}", Cjs},
      {"\xEF\xBB\xBF\xEF\xBB\xBF{\"type\": \"commonjs\"}", "", Es},
      {" \xEF\xBB\xBF{\"type\": \"commonjs\"}", "", Es},
      {"\xEF\xBB\xBF", "", Es},
  });
}

TEST(DetectModuleKind, PassesOverFilesThatAreNoStrictJson) {
  check_folder_cases({
      {" \t\r\n{\"type\": \"commonjs\"} \t\r\n", "", Cjs},
      {"{\"type\": \"commonjs\"}\n// end", "", Es},
      {R"({"type": "commonjs"}{})", "", Es},
      {R"({"type": "commonjs"} x)", "", Es},
      {R"({"type": "commonjs",})", "", Es},
      {"{\"type\": \"commonjs\", \"a\": [1,]}", "", Es},
      {"{/* c */ \"type\": \"commonjs\"}", "", Es},
      {"{\"type\": 'commonjs'}", "", Es},
      {"{\"type\": \"commonjs\"}\f", "", Es},  // only space, TAB, LF and CR count as JSON white space
      {"{\"type\": \"commonjs\"}\xFF", "", Es},
      {std::string_view("{\"type\": \"commonjs\"}\0", 21), "", Es},
      {std::string_view("{\"type\": \"commonjs\"}\0 {", 23), "", Es},
      {R"({"type": "commonjs", "nul": "\u0000"})", "", Cjs},
      {" ", "", Es},
      {"", "{\"compilerOptions\": {\"module\": \"commonjs\" // c\n}}", Es},
      {"", "{\"compilerOptions\": {\"module\": \"commonjs\",},}", Es},
  });
}

TEST(DetectModuleKind, PassesOverEmptyUnreadableAndNonUtf8Files) {
  TempFolder dir;
  write_test_file(dir / "package.json", R"({"type": "module"})");
  make_folder(dir / "empty");
  write_test_file(dir / "empty/package.json", "");
  make_folder(dir / "latin1");
  write_test_file(dir / "latin1/package.json", "{\"type\": \"commonjs\", \"name\": \"caf\xE9\"}");
  make_folder(dir / "folder");
  make_folder(dir / "folder/package.json");
  make_folder(dir / "folder/tsconfig.json");
  for (std::string_view name : {"empty/x.py.js", "latin1/x.py.js", "folder/x.py.js"}) {
    EXPECT_EQ(detect_module_kind(dir / name), Es) << name;
  }
}

// Nesting counts arrays and objects alike, the top-level object among them.
std::string nested(std::size_t levels) {
  return R"({"type": "commonjs", "a": )" + std::string(levels - 1, '[') + std::string(levels - 1, ']') + "}";
}

TEST(DetectModuleKind, ParsesNestingUpTo127Levels) {
  check_folder_cases({
      {nested(127), "", Cjs},
      {nested(128), "", Es},
  });
}

TEST(DetectModuleKind, PassesOverAMillionLevelsWithoutDeepRecursion) {
  std::string deep = std::string(1'000'000, '[') + std::string(1'000'000, ']');
  std::string deep_objects = R"({"type": "commonjs", "a": )";
  for (int i = 0; i < 1'000'000; ++i) deep_objects += R"({"a": )";
  std::string unclosed = R"({"type": "commonjs", "a": )" + std::string(1'000'000, '[');
  check_folder_cases({
      {deep, "", Es},
      {deep_objects, "", Es},
      {unclosed, "", Es},
      {nested(1'000'000), "", Es},
  });
}

TEST(DetectModuleKind, SearchesTheParentsOfThePathTextFromItsOwnFolderUp) {
  TempFolder dir;
  make_folder(dir / "a");
  make_folder(dir / "a/b");
  make_folder(dir / "a/b/c");
  in_folder(dir.path(), [] {
    EXPECT_EQ(detect_module_kind("x.py.js"), Cjs);
    EXPECT_EQ(detect_module_kind("a/b/x.py.js"), Cjs);

    // The walk ends in the current folder, and a nearer file decides first.
    write_test_file("package.json", R"({"type": "module"})");
    for (std::string_view path : {"x.py.js", "./x.py.js", "a/b/x.py.js", "a//b/./x.py.js", "a/b/c/"}) {
      EXPECT_EQ(detect_module_kind(path), Es) << path;
    }
    write_test_file("a/package.json", R"({"type": "commonjs"})");
    EXPECT_EQ(detect_module_kind("a/b/x.py.js"), Cjs);
    EXPECT_EQ(detect_module_kind("x.py.js"), Es);
    write_test_file("a/b/tsconfig.json", R"({"compilerOptions": {"module": "esnext"}})");
    EXPECT_EQ(detect_module_kind("a/b/x.py.js"), Es);
  });

  // Only folders that hold the file count: b/.. is dropped from a/b/../x.py.js, which searches
  // a and the current folder, never a/b; and ../x.py.js searches "..", not the current folder
  // below it.
  TempFolder tree;
  make_folder(tree / "a");
  make_folder(tree / "a/b");
  make_folder(tree / "a/sub");
  write_test_file(tree / "a/b/package.json", R"({"type": "module"})");
  in_folder(tree.path(), [] {
    EXPECT_EQ(detect_module_kind("a/b/../x.py.js"), Cjs);
    EXPECT_EQ(detect_module_kind("a/b/x.py.js"), Es);
    EXPECT_EQ(detect_module_kind("a/b/../b/x.py.js"), Es);
  });
  in_folder(tree / "a/sub", [] {
    write_test_file("package.json", R"({"type": "module"})");
    EXPECT_EQ(detect_module_kind("../x.py.js"), Cjs);
    EXPECT_EQ(detect_module_kind("x/../m.py.js"), Es);
    write_test_file("../package.json", R"({"type": "commonjs"})");
    EXPECT_EQ(detect_module_kind("../x.py.js"), Cjs);
    write_test_file("../package.json", R"({"type": "module"})");
    write_test_file("package.json", R"({"type": "commonjs"})");
    EXPECT_EQ(detect_module_kind("../x.py.js"), Es);
    EXPECT_EQ(detect_module_kind("../sub/x.py.js"), Cjs);  // sub, then "..", then no further
  });
}

// Every folder of the chain is searched before the ones after it, and no other. The link
// a/b -> ../t/u makes a/b/.. the folder t, so a walk that resolved ".." would show.
TEST(DetectModuleKind, SearchesTheFolderChainInOrder) {
  struct ChainCase {
    std::string_view current_folder;  // below the test's folder
    std::string_view path;
    std::vector<std::string_view> folders;  // the chain, as the path text names it
    std::vector<std::string_view> others;   // folders that hold no part of the path, never read
  };
  const ChainCase cases[] = {
      {".", "x.py.js", {""}, {}},
      {".", "./x.py.js", {"."}, {}},  // then "", the same folder again
      {".", "a/b/../x.py.js", {"a", ""}, {"a/b", "a/b/.."}},
      {".", "s/../a/x.py.js", {"a", ""}, {"s"}},
      {".", "/", {}, {}},
      {"s", "../x.py.js", {".."}, {""}},
      {"s", "./../a/b/x.py.js", {"./../a/b", "./../a", "./.."}, {""}},
      {"s/v", "../../a/x.py.js", {"../../a", "../.."}, {"", ".."}},
      {"s/v", "../w/../../x.py.js", {"../.."}, {"", ".."}},
  };
  TempFolder dir;
  for (std::string_view folder : {"a", "t", "t/u", "s", "s/v"}) make_folder(dir / folder);
  ASSERT_EQ(::symlink("../t/u", (dir / "a/b").c_str()), 0);
  for (const auto& [current_folder, path, folders, others] : cases) {
    in_folder(dir / current_folder, [&] {
      for (std::size_t first = 0; first < folders.size(); ++first) {
        for (bool es_first : {true, false}) {
          for (std::size_t i = 0; i < folders.size(); ++i) {
            std::string file = join_path(folders[i], "package.json");
            ::unlink(file.c_str());
            if (i < first) continue;
            write_test_file(file, (i == first) == es_first ? R"({"type": "module"})" : R"({"type": "commonjs"})");
          }
          EXPECT_EQ(kind_name(*detect_module_kind(path)), kind_name(es_first ? Es : Cjs))
              << path << ": deciding in " << folders[first];
        }
      }
      for (std::string_view folder : folders) ::unlink(join_path(folder, "package.json").c_str());
      for (std::string_view folder : others) write_test_file(join_path(folder, "package.json"), R"({"type": "module"})");
      EXPECT_EQ(kind_name(*detect_module_kind(path)), kind_name(Cjs)) << path;
      for (std::string_view folder : others) ::unlink(join_path(folder, "package.json").c_str());
    });
  }
}

TEST(DetectModuleKind, WalksAnAbsolutePathUpwards) {
  TempFolder dir;
  make_folder(dir / "p");
  make_folder(dir / "p/q");
  write_test_file(dir / "package.json", R"({"type": "module"})");
  EXPECT_EQ(detect_module_kind(dir / "p/q/x.py.js"), Es);
  write_test_file(dir / "p/tsconfig.json", R"({"compilerOptions": {"module": "commonjs"}})");
  EXPECT_EQ(detect_module_kind(dir / "p/q/x.py.js"), Cjs);
}

}  // namespace
}  // namespace dsf
