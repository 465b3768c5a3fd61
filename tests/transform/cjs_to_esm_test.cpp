#include "transform/parser/cjs_to_esm.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/text.hpp"

namespace dsf {
namespace {

struct LineCase {
  std::string_view input;
  std::string_view output;  // the input itself when the line is copied
};

std::string rewrite(std::string_view line) {
  const CjsPatterns patterns;
  return cjs_line_to_esm(line, patterns);
}

TEST(CjsLineToEsm, RewritesEachRuleAndCopiesLinesOutsideTheForms) {
  const LineCase cases[] = {
      // One line of each rule.
      {R"(const fs = require("fs").default ?? require("fs");)", R"(import fs from "fs";)"},
      {R"(const path = require('path');)", R"(import * as path from "path";)"},
      {R"(const { readFile, join: joinPath } = require("m");)", R"(import { readFile, join as joinPath } from "m";)"},
      {"module.exports = main;", "export default main;"},
      {R"(exports.run = require("path").join;)", R"(export { join as run } from "path";)"},
      {"exports.format = format;", "export { format as format };"},
      {R"(Object.assign(exports, require("util"));)", R"(export * from "util";)"},
      {R"(require("node:fs");)", R"(import "node:fs";)"},
      // The specifier of the second require reaches nothing and is not compared.
      {R"(const $x = require('a').default??require("b"))", R"(import $x from "a";)"},
      // What may follow a statement, and what the patterns demand around it.
      {R"(const fs = require("fs"))", R"(import * as fs from "fs";)"},
      {"const fs = require(\"fs\");  \t", R"(import * as fs from "fs";)"},
      {R"(const fs=require("fs");)", R"(const fs=require("fs");)"},
      {R"(let fs = require("fs");)", R"(let fs = require("fs");)"},
      {R"(var fs = require("fs");)", R"(var fs = require("fs");)"},
      {R"(const fs = require("fs"); // note)", R"(const fs = require("fs"); // note)"},
      {R"(const fs = require("fs") ;)", R"(const fs = require("fs") ;)"},
      {"const fs = require(`fs`);", "const fs = require(`fs`);"},
      {R"(const fs = require("");)", R"(const fs = require("");)"},
      {R"(const fs = require("fs');)", R"(import * as fs from "fs";)"},
      {R"(const fs = require("é/ü");)", R"(import * as fs from "é/ü";)"},
      {"module.exports = a; // note", "export default a; // note"},
      {"module.exports = a;;", "export default a;;"},
      {"module.exports=a;", "module.exports=a;"},
      {R"(module.exports = require("m");)", R"(export default require("m");)"},
      {"module.exports = {};", "export default {};"},
      {"module.exports = f();", "export default f();"},
      {R"(require('m'))", R"(import "m";)"},
      {"require(\"./side.js\");  ", "import \"./side.js\";"},
      {R"(require("m"); // note)", R"(require("m"); // note)"},
      {R"(require("m").run();)", R"(require("m").run();)"},
      {R"(require(m);)", R"(require(m);)"},
      {R"(require("");)", R"(require("");)"},
      {R"(requires("m");)", R"(requires("m");)"},
      {"exports.value = 42;", "exports.value = 42;"},
      {"exports.value = a.b;", "exports.value = a.b;"},
      {"exports.default = foo;", "export { foo as default };"},
      {"exports.a = b", "export { b as a };"},
      {R"(Object.assign(exports,require("m"));)", R"(export * from "m";)"},
      {R"(Object.assign(exports , require("m"));)", R"(Object.assign(exports , require("m"));)"},
      {R"(const { a, } = require("m");)", R"(import { a,  } from "m";)"},
      {R"(const { a: b: c } = require("m");)", R"(import { a as b: c } from "m";)"},
      {R"(const { a: { b } } = require("m");)", R"(const { a: { b } } = require("m");)"},
      {R"(const {} = require("m");)", R"(const {} = require("m");)"},
      // Case matters.
      {R"(Const fs = require("fs");)", R"(Const fs = require("fs");)"},
      {"Module.exports = a;", "Module.exports = a;"},
      // Lines that begin like a rule and are none of its forms.
      {R"(constant = require("m");)", R"(constant = require("m");)"},
      {"const x = 1; // require(", "const x = 1; // require("},
      {R"(const x = require ("m");)", R"(const x = require ("m");)"},
      {R"(exports = require("m");)", R"(exports = require("m");)"},
      {"module.exportsX = a;", "module.exportsX = a;"},
      {R"(Object.assign(module.exports, require("m"));)", R"(Object.assign(module.exports, require("m"));)"},
  };
  for (const auto& [input, output] : cases) EXPECT_EQ(rewrite(input), output) << input;
}

// The same names as on the way in: JavaScript's identifier characters, taken whole.
TEST(CjsLineToEsm, TakesWholeNamesOfJavaScriptsIdentifierCharacters) {
  for (std::string_view name : {"caf\u00E9", "\u03C0", "\u65E5\u672C", "U\u0308ber", "a\u200Db", "$_1", "\u2167x",
                                "a\u203Fb",
                                // Other_ID_Start, then Other_ID_Continue
                                "\u2118", "\u212E", "\u1885\u1886", "\u309B\u309C", "col\u00B7lecci\u00F3", "a\u0387",
                                "a\u1369\u1371", "a\u19DA", "\u30A2\u30FB", "a\uFF65"}) {
    std::string n(name);
    EXPECT_EQ(rewrite("exports." + n + " = " + n + ";"), "export { " + n + " as " + n + " };");
    EXPECT_EQ(rewrite("exports." + n + " = require(\"m\")." + n + ";"), "export { " + n + " as " + n + " } from \"m\";");
    EXPECT_EQ(rewrite("const " + n + " = require(\"m\");"), "import * as " + n + " from \"m\";");
    EXPECT_EQ(rewrite("const " + n + " = require(\"m\").default ?? require(\"m\");"), "import " + n + " from \"m\";");
  }
  // A name that is none stays with its line, in either place of a rule with two names.
  for (std::string_view line : {"exports.a\u20ACb = a\u20ACb;", "exports.caf\\u00E9 = caf\\u00E9;",
                                "const \u0308a = require(\"m\");", "const 1a = require(\"m\");",
                                "const \u00B7a = require(\"m\").default ?? require(\"m\");",
                                "exports.a = require(\"m\").b\u2E2F;", "exports.a\u20AC = require(\"m\").b;",
                                "exports.a = b\u00B7\u20AC", "exports.\u3000a = b;"}) {
    EXPECT_EQ(rewrite(line), line);
  }
  // White space beyond ASCII right after a name ends it.
  EXPECT_EQ(rewrite("exports.\u03C0\u3000=\u00A0\u03C0;\uFEFF"), "export { \u03C0 as \u03C0 };");
  EXPECT_EQ(rewrite("const caf\u00E9\u2003= require(\"m\");"), "import * as caf\u00E9 from \"m\";");
}

TEST(CjsLineToEsm, TreatsJavaScriptsWhiteSpaceAsWhiteSpace) {
  const LineCase cases[] = {
      // Leading white space of any kind is copied unchanged.
      {"\t  const fs = require(\"fs\");", "\t  import * as fs from \"fs\";"},
      {"\u00A0\u3000module.exports = a;", "\u00A0\u3000export default a;"},
      {"\u2028exports.a = b;", "\u2028export { b as a };"},
      {"\u3000\u0085Object.assign(exports, require('m'));", "\u3000\u0085export * from \"m\";"},
      {"require('m');\u3000", "import \"m\";"},
      // Between the tokens, and dropped after the statement, a CR included.
      {"const\u00A0fs\u2003=\u205Frequire(\"fs\");\u0085", "import * as fs from \"fs\";"},
      {"module.exports = a;\r", "export default a;"},
      {"exports.a\u000B=\u000Cb;\u202F", "export { b as a };"},
      // What a rule takes from a line keeps its white space as it is.
      {"module.exports = [\"\u00A0\", \u3000];\u3000", "export default [\"\u00A0\", \u3000];"},
      {"module.exports = \u00A0\u205F", "export default \u205F"},
      {"const {\u2003a\u2003:\u2003b c\u2003} = require('m\u2003n');", "import { a as b c } from \"m\u2003n\";"},
      // U+FEFF is white space to JavaScript.
      {"\uFEFFconst\uFEFFfs = require(\"fs\");\uFEFF", "\uFEFFimport * as fs from \"fs\";"},
      {"const {\uFEFFa:\uFEFFb\uFEFF} = require(\"m\");", "import { a as b } from \"m\";"},
      // A character outside the set is no white space.
      {"const\u200Bfs = require(\"fs\");", "const\u200Bfs = require(\"fs\");"},
  };
  for (const auto& [input, output] : cases) EXPECT_EQ(rewrite(input), output) << input;
}

// A default export whose line does not end in `;` goes on over the next lines, or ends without
// one; a `;` added to it would break the statement or change what follows.
TEST(CjsLineToEsm, EndsADefaultExportWithASemicolonOnlyWhereItsLineHasOne) {
  const LineCase cases[] = {
      {"module.exports = {", "export default {"},
      {"  module.exports = function (a) {  ", "  export default function (a) {"},
      {"module.exports = [", "export default ["},
      {"module.exports = (", "export default ("},
      {"module.exports = class extends Base {", "export default class extends Base {"},
      {"module.exports = f(", "export default f("},
      {"module.exports = { a: {", "export default { a: {"},
      {"module.exports = /* glsl */`", "export default /* glsl */`"},
      {"module.exports = (a) =>", "export default (a) =>"},
      {"module.exports = function f() { // main", "export default function f() { // main"},
      {"module.exports = [1, 2]", "export default [1, 2]"},
      {"module.exports = a; // note", "export default a; // note"},
      {"module.exports = {};", "export default {};"},
      {"module.exports = `a`;\u3000 ", "export default `a`;"},
      {"module.exports = a ;", "export default a ;"},
  };
  for (const auto& [input, output] : cases) EXPECT_EQ(rewrite(input), output) << input;
}

// An ES module takes an import only at its top level: an indented require() stays a call, so
// that a block or a function around it still parses.
TEST(CjsTextToEsm, TurnsOnlyATopLevelRequireIntoASideEffectImport) {
  const LineCase cases[] = {
      {"require('node:fs');\nrun();", "import \"node:fs\";\nrun();"},
      {"let loaded = false;\ntry {\n  require('node:fs');\n  loaded = true;\n} catch (e) {}",
       "let loaded = false;\ntry {\n  require('node:fs');\n  loaded = true;\n} catch (e) {}"},
      {"function load() {\n\trequire(\"./plugin.js\");\n}", "function load() {\n\trequire(\"./plugin.js\");\n}"},
      {"if (wanted) {\n    require(\"m\")\n}", "if (wanted) {\n    require(\"m\")\n}"},
      {"\u3000require(\"m\");", "\u3000require(\"m\");"},
  };
  for (const auto& [input, output] : cases) EXPECT_EQ(cjs_text_to_esm(input), output) << input;
}

TEST(CjsNamesToEsm, ConvertsEveryPieceEmptyOnesIncluded) {
  const LineCase cases[] = {
      {" a, b: c, ", "a, b as c, "},
      {"a", "a"},
      {",a", ", a"},
      {"a,,b", "a, , b"},
      {" ", ""},
      {"a : b", "a as b"},
      {"a:b:c", "a as b:c"},
      {"\u00A0a\u3000:\u2009b\u00A0", "a as b"},
      {":", " as "},
  };
  for (const auto& [input, output] : cases) EXPECT_EQ(cjs_names_to_esm(input), output) << input;
  EXPECT_EQ(cjs_name_to_esm("  x: y: z  "), "x as y: z");
}

TEST(CjsTextToEsm, RewritesTheFirstWorkedExample) {
  constexpr std::string_view input =
      "const fs = require(\"fs\").default ?? require(\"fs\");\n"
      "  const { a, b: c, } = require('util');\n"
      "module.exports = { a, c };\n"
      "exports.value = 42;\n";
  constexpr std::string_view expected =
      "import fs from \"fs\";\n"
      "  import { a, b as c,  } from \"util\";\n"
      "export default { a, c };\n"
      "exports.value = 42;";
  EXPECT_EQ(cjs_text_to_esm(input), expected);
}

TEST(CjsTextToEsm, RewritesTheWayBackFromCommonJs) {
  constexpr std::string_view input =
      "const path = require(\"path\").default ?? require(\"path\");\n"
      "const { readFile: read, stat } = require(\"fs\");\n"
      "\n"
      "const limit = 10;\n"
      "function run(file) {\n"
      "  return read(path.join(file));\n"
      "}\n"
      "exports.limit = limit;\n"
      "exports.run = run;\n"
      "exports.info = require(\"fs\").stat;\n"
      "module.exports = run;\n";
  constexpr std::string_view expected =
      "import path from \"path\";\n"
      "import { readFile as read, stat } from \"fs\";\n"
      "\n"
      "const limit = 10;\n"
      "function run(file) {\n"
      "  return read(path.join(file));\n"
      "}\n"
      "export { limit as limit };\n"
      "export { run as run };\n"
      "export { stat as info } from \"fs\";\n"
      "export default run;";
  EXPECT_EQ(cjs_text_to_esm(input), expected);
}

TEST(CjsTextToEsm, SplitsAndJoinsLines) {
  const LineCase cases[] = {
      {"", ""},
      {"\n", ""},
      {"\n\n", "\n"},
      {"a\r\nb\r\n", "a\nb"},
      {"a\rb\r", "a\rb\r"},  // a CR that ends no line stays, also at the very end
      {"x  \n", "x  "},
      {"module.exports = {\n  a,\n};\n", "export default {\n  a,\n};"},
      {"\r\n\r\nx", "\n\nx"},
      {"a\nb\r\nc\nexports.a = b;\r\n\nd\r\n\r\n", "a\nb\nc\nexport { b as a };\n\nd\n"},
      {"exports.a = b;\nx\nmodule.exports = y;", "export { b as a };\nx\nexport default y;"},
  };
  for (const auto& [input, output] : cases) EXPECT_EQ(cjs_text_to_esm(input), output) << input;
}

// The whole text comes out as its lines rewritten one by one and joined with LF, however
// copied and rewritten lines and line endings follow each other.
TEST(CjsTextToEsm, GivesTheLinesAsRewrittenOneByOne) {
  const std::vector<std::string> pieces = {"\n", "\r\n", "\r", " ", "\u00A0", "x", "const a = 1;",
                                           "const a = require(\"m\");", "exports.a = b;", "module.exports = c;",
                                           "Object.assign(exports, require('m'));", "exports.a = 42;", ";",
                                           "require(\"m\")"};
  const CjsPatterns patterns;
  std::mt19937 random(20261210);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    for (auto n = random() % 12; n > 0; --n) text += pieces[random() % pieces.size()];
    std::string expected;
    LineCursor cursor(text);
    bool first = true;
    for (std::string_view line; cursor.next(line); first = false) {
      if (!first) expected += '\n';
      expected += cjs_line_to_esm(line, patterns);
    }
    EXPECT_EQ(cjs_text_to_esm(text), expected) << text;
  }
}

// Minified code puts megabytes on one line; the matcher must neither recurse nor backtrack.
TEST(CjsTextToEsm, RewritesLinesOfSeveralMegabytes) {
  const std::string body(4 << 20, 'a');
  EXPECT_EQ(cjs_text_to_esm("module.exports = " + body + ";\n"), "export default " + body + ";");
  const std::string specifier = "const x = require(\"" + body + "\"); //";
  EXPECT_EQ(cjs_text_to_esm(specifier), specifier);
  const std::string names = "const {" + std::string(1 << 20, ',') + "} = require(\"m\")";
  std::string expected = "import { ";
  for (int i = 0; i < (1 << 20); ++i) expected += ", ";
  expected += " } from \"m\";";
  EXPECT_EQ(cjs_text_to_esm(names), expected);
}

}  // namespace
}  // namespace dsf
