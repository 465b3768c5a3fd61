#include "transform/parser/esm_to_cjs.hpp"

#include <gtest/gtest.h>

#include <string>

#include "transform/parser/pattern.hpp"

namespace dsf {
namespace {

struct Case {
  std::string_view input;
  std::string_view output;
};

TEST(EsmToCjs, RewritesImportsAndHoldsExportsBackToTheEnd) {
  EXPECT_EQ(esm_text_to_cjs("import path from \"path\";\n"
                            "import { readFile as read, stat } from 'fs';\n"
                            "\n"
                            "export const limit = 10;\n"
                            "export function run(file) {\n"
                            "  return read(path.join(file));\n"
                            "}\n"
                            "export { stat as info } from \"fs\";\n"
                            "export default run;\n"),
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
            "module.exports = run;");
}

TEST(EsmToCjs, HandlesTheEdgesOfEachRule) {
  EXPECT_EQ(esm_text_to_cjs("\timport {a,b as  c} from 'm'\n"
                            "import { x, } from \"m\";\n"
                            "import y from \"y\"; // note\n"
                            "import z from \"z\" ;\n"
                            "export   let   count=0\n"
                            "export async function load() {}\n"
                            "export * as ns from \"m\";\n"
                            "export {};\n"
                            "export default a;;\n"),
            "\tconst { a, b: c } = require(\"m\");\n"
            "const { x,  } = require(\"m\");\n"
            "import y from \"y\"; // note\n"
            "import z from \"z\" ;\n"
            "let count=0\n"
            "async function load() {}\n"
            "export * as ns from \"m\";\n"
            "exports.count = count;\n"
            "exports.load = load;\n"
            "module.exports = a;;");
}

TEST(EsmToCjs, SplitsAndJoinsLines) {
  for (auto [input, output] : {
           Case{"", ""},
           Case{"\n", ""},
           Case{"\n\n", "\n"},
           Case{"a\r\nb\r\n", "a\nb"},
           Case{"a\rb\r", "a\rb\r"},  // only a CR before an LF ends a line
           Case{"  \n\t\n\u3000", "  \n\t\n\u3000"},
           Case{"import a from 'a'\r\n", "const a = require(\"a\").default ?? require(\"a\");"},
           Case{"a\nb\r\n\nc\r\r\nd\n", "a\nb\n\nc\r\nd"},
           Case{"\n\nexport { a };\n\nb\nexport default c;\nd", "\n\n\nb\nd\nexports.a = a;\nmodule.exports = c;"},
           Case{"export default c;\n", "module.exports = c;"},
       }) {
    EXPECT_EQ(esm_text_to_cjs(input), output) << input;
  }
}

TEST(EsmToCjs, RewritesEachRuleKeepingTheIndentation) {
  for (auto [input, output] : {
           // Imports stay in place; any White_Space indentation is kept and quotes become double.
           Case{"import a from 'b'", "const a = require(\"b\").default ?? require(\"b\");"},
           Case{"\u3000import * as ns from \"m\";  ", "\u3000const ns = require(\"m\");"},
           Case{"\u00A0 import React, { useState as use, useEffect } from 'react';",
                "\u00A0 const React = require(\"react\").default ?? require(\"react\");\n"
                "\u00A0 const { useState: use, useEffect } = require(\"react\");"},
           Case{"import $a,{b} from \"m\"",
                "const $a = require(\"m\").default ?? require(\"m\");\nconst { b } = require(\"m\");"},
           Case{"  import {a} from \"m';", "  const { a } = require(\"m\");"},
           Case{"import './side.js'", "require(\"./side.js\");"},
           // A declaration keeps everything after its name; its export comes last, at column 0.
           Case{"\texport class Foo extends Bar { // c ", "\tclass Foo extends Bar { // c \nexports.Foo = Foo;"},
           Case{"export const\u2003x: number = 1;", "const x: number = 1;\nexports.x = x;"},
           Case{"export function f<T>(a: T): T {", "function f<T>(a: T): T {\nexports.f = f;"},
           Case{"export var _v", "var _v\nexports._v = _v;"},
           // Async functions and generators, with the keyword's spacing made regular.
           Case{"export async\t function load() {", "async function load() {\nexports.load = load;"},
           Case{"export function* gen() {", "function* gen() {\nexports.gen = gen;"},
           Case{"export function *gen() {", "function* gen() {\nexports.gen = gen;"},
           Case{"export function*gen(){", "function* gen(){\nexports.gen = gen;"},
           Case{"  export async function  *  stream() {", "  async function* stream() {\nexports.stream = stream;"},
           // Default exports: one final semicolon and the white space after it go.
           Case{"export default run;", "module.exports = run;"},
           Case{"\texport default a ;", "\tmodule.exports = a ;"},
           Case{"export default x; // c", "module.exports = x; // c"},
           Case{"export default {};", "module.exports = {};"},
           Case{"export default () => 1", "module.exports = () => 1"},
           // Export lists: one line per entry, in list order; empty entries export nothing.
           Case{"  export { a, b as c, };", "  exports.a = a;\n  exports.c = b;"},
           Case{"export {a,,b}", "exports.a = a;\nexports.b = b;"},
           Case{"export { , }", ""},
           // Empty braces only mark the file as a module.
           Case{"export {};", ""},
           Case{"a\n\texport {}  \nb", "a\nb"},
           Case{"export { };", ""},
           Case{"export {\u3000}", ""},
           Case{"export * from 'x';", "Object.assign(exports, require(\"x\"));"},
           Case{"\texport { a as b, c, } from './m'",
                "\texports.b = require(\"./m\").a;\n\texports.c = require(\"./m\").c;"},
       }) {
    EXPECT_EQ(esm_text_to_cjs(input), output) << input;
  }
}

// A default export moves to the end only when its line ends the statement with `;`; any other
// goes on over the next lines and stays where it is, without a `;`.
TEST(EsmToCjs, KeepsADefaultExportThatGoesOnInPlace) {
  for (auto [input, output] : {
           Case{"export default {\n  a: 1,\n};\nexport const b = 2;",
                "module.exports = {\n  a: 1,\n};\nconst b = 2;\nexports.b = b;"},
           Case{"  export default class extends Base {\n  }", "  module.exports = class extends Base {\n  }"},
           Case{"export default class {\n}", "module.exports = class {\n}"},
           Case{"export default function (a) {\n}", "module.exports = function (a) {\n}"},
           Case{"export default async function () {\n}", "module.exports = async function () {\n}"},
           Case{"export default function* () {\n}", "module.exports = function* () {\n}"},
           Case{"export default function () {} // c\nf();", "module.exports = function () {} // c\nf();"},
           Case{"export default (\n1)", "module.exports = (\n1)"},
           Case{"export default /* glsl */`\nvoid main() {}\n`;\nx();",
                "module.exports = /* glsl */`\nvoid main() {}\n`;\nx();"},
           Case{"export default (a) =>\n  a + 1;", "module.exports = (a) =>\n  a + 1;"},
           Case{"export default {  // options\n  a: 1,\n};", "module.exports = {  // options\n  a: 1,\n};"},
           Case{"export default x\ny();", "module.exports = x\ny();"},
           // A line that ends the statement moves, white space after its `;` aside.
           Case{"export default run;\nf();", "f();\nmodule.exports = run;"},
           Case{"export default `a`; \u3000\nf();", "f();\nmodule.exports = `a`;"},
       }) {
    EXPECT_EQ(esm_text_to_cjs(input), output) << input;
  }
}

// In a module an export line ends the statement before it. Where the line moves to the end or
// gives nothing, a `;` takes its place when the next line of code would go on that statement:
// one that begins with `(`, `[` or a backtick.
TEST(EsmToCjs, LeavesASemicolonWhereARemovedLineEndedTheStatementBefore) {
  for (auto [input, output] : {
           Case{"f()\nexport default x;\n(g)()", "f()\n;\n(g)()\nmodule.exports = x;"},
           Case{"export default x;\n[1].forEach(f)", ";\n[1].forEach(f)\nmodule.exports = x;"},
           Case{"const t = tag\n  export { t }\n`a`", "const t = tag\n  ;\n`a`\n  exports.t = t;"},
           Case{"const h = function () {}\nexport default class {}\n\t(function () {})()",
                "const h = function () {}\n;\n\t(function () {})()\nmodule.exports = class {};"},
           Case{"a\n\texport {}\n\n \u3000\n  (b)()", "a\n\t;\n\n \u3000\n  (b)()"},
           Case{"a\nexport * from 'm'\n// c\n  // d\n[b]",
                "a\n;\n// c\n  // d\n[b]\nObject.assign(exports, require(\"m\"));"},
           // Of two removed lines, the one next to the code leaves the `;`.
           Case{"a\nexport { x }\nexport { y } from 'm'\n(b)",
                "a\n;\n(b)\nexports.x = x;\nexports.y = require(\"m\").y;"},
           // Other next lines, and lines that stay in place, leave nothing.
           Case{"a\nexport { x }\n+b", "a\n+b\nexports.x = x;"},
           Case{"a\nexport { x }\n/* c */ (b)", "a\n/* c */ (b)\nexports.x = x;"},
           Case{"a\nexport { x }\n\n// (b)", "a\n\n// (b)\nexports.x = x;"},
           Case{"a\nexport const x = 1\n(b)", "a\nconst x = 1\n(b)\nexports.x = x;"},
           Case{"a\nexport default function () {\n}\n(b)", "a\nmodule.exports = function () {\n}\n(b)"},
       }) {
    EXPECT_EQ(esm_text_to_cjs(input), output) << input;
  }
}

// A named declaration after export default stays a declaration, so its name is bound in the
// module (hoisted, for a function); the module's export names it at the end.
TEST(EsmToCjs, KeepsADefaultExportedDeclarationAndExportsItsName) {
  for (auto [input, output] : {
           Case{"export default function greet() {\n  return 1;\n}\nconsole.log(greet());",
                "function greet() {\n  return 1;\n}\nconsole.log(greet());\nmodule.exports = greet;"},
           Case{"  export default  async function load(a) { // main",
                "  async function load(a) { // main\n  module.exports = load;"},
           Case{"export default function* gen() {}", "function* gen() {}\nmodule.exports = gen;"},
           Case{"export default function*gen(){}", "function*gen(){}\nmodule.exports = gen;"},
           Case{"export default async function *stream() {}", "async function *stream() {}\nmodule.exports = stream;"},
           Case{"export default class Foo extends Bar {", "class Foo extends Bar {\nmodule.exports = Foo;"},
           Case{"export default class $Foo{}", "class $Foo{}\nmodule.exports = $Foo;"},
           Case{"export default function f<T>(a: T) {", "function f<T>(a: T) {\nmodule.exports = f;"},
           Case{"export default class Foo", "class Foo\nmodule.exports = Foo;"},
           // Not declarations: a name that an escape goes on, a mere word.
           Case{"export default function gr\\u00E9et() {}", "module.exports = function gr\\u00E9et() {}"},
           Case{"export default classes;", "module.exports = classes;"},
           Case{"export default functions", "module.exports = functions"},
       }) {
    EXPECT_EQ(esm_text_to_cjs(input), output) << input;
  }
}

// In a module an unnamed function or class after export default is a declaration that ends at
// its `}`. On one line it moves to the end as a statement of its own, so that a next line that
// begins with `(`, `[` or a backtick cannot continue it as an expression.
TEST(EsmToCjs, HoldsAOneLineAnonymousDefaultDeclarationBack) {
  for (auto [input, output] : {
           Case{"export default function (a) { return a }\n[1, 2].forEach(f);",
                ";\n[1, 2].forEach(f);\nmodule.exports = function (a) { return a };"},
           Case{"  export default async function () {}\u3000 ", "  module.exports = async function () {};"},
           Case{"export default function* () { yield 1 }", "module.exports = function* () { yield 1 };"},
           Case{"export default async function*(){}", "module.exports = async function*(){};"},
           Case{"export default function <T>(a: T) { return a }", "module.exports = function <T>(a: T) { return a };"},
           Case{"export default class { m() {} }\n(f)();", ";\n(f)();\nmodule.exports = class { m() {} };"},
           Case{"export default class{}", "module.exports = class{};"},
           Case{"\texport default class extends Base {}", "\tmodule.exports = class extends Base {};"},
           Case{"export default class extends (mix(Base)) {}", "module.exports = class extends (mix(Base)) {};"},
       }) {
    EXPECT_EQ(esm_text_to_cjs(input), output) << input;
  }
}

// Names are JavaScript's: ID_Start, `$` or `_`, then also ID_Continue, ZWNJ and ZWJ, the
// Other_ID_Start and Other_ID_Continue characters included. A rule takes the whole name or
// leaves the line alone.
TEST(EsmToCjs, TakesWholeNamesOfJavaScriptsIdentifierCharacters) {
  for (std::string_view name : {"caf\u00E9", "\u03C0", "\u65E5\u672C", "U\u0308ber", "a\u200Db", "a\u200Cb", "$", "_",
                                "$_1", "x\u0663", "\u2167x", "a\u203Fb", "\U0001D400\U0001D7CE",
                                // Other_ID_Start, then Other_ID_Continue
                                "\u2118", "\u212E", "\u1885\u1886", "\u309B\u309C", "col\u00B7lecci\u00F3", "a\u0387",
                                "a\u1369\u1371", "a\u19DA", "\u30A2\u30FB", "a\uFF65"}) {
    std::string n(name);
    EXPECT_EQ(esm_text_to_cjs("export function " + n + "() { return 1 }"),
              "function " + n + "() { return 1 }\nexports." + n + " = " + n + ";");
    EXPECT_EQ(esm_text_to_cjs("export const " + n + "=3.14"), "const " + n + "=3.14\nexports." + n + " = " + n + ";");
    EXPECT_EQ(esm_text_to_cjs("export default function " + n + "() {}"),
              "function " + n + "() {}\nmodule.exports = " + n + ";");
    EXPECT_EQ(esm_text_to_cjs("import " + n + " from 'node:path'"),
              "const " + n + " = require(\"node:path\").default ?? require(\"node:path\");");
    EXPECT_EQ(esm_text_to_cjs("import * as " + n + " from 'm'"), "const " + n + " = require(\"m\");");
    EXPECT_EQ(esm_text_to_cjs("import " + n + ", { a } from 'm'"),
              "const " + n + " = require(\"m\").default ?? require(\"m\");\nconst { a } = require(\"m\");");
    EXPECT_EQ(esm_text_to_cjs("export { " + n + " as " + n + " }"), "exports." + n + " = " + n + ";");
  }
  // No name: a digit, a combining mark, U+00B7 or a ZWJ first; a character that cannot go on a
  // name (a symbol, a letter that is pattern syntax); an escape. The line stays as it is.
  for (std::string_view line : {"import 1a from 'm'", "import \u0308a from 'm'", "import \u200Da from 'm'",
                                "import a\u20ACb from 'm'", "import * as \u00B7a from 'm'",
                                "import a\u2E2F, { b } from 'm'", "export const a\u00B7\u20AC = 1",
                                "export function \u2E2F() {",
                                "export const caf\\u00E9 = 1", "export function caf\\u00E9() {"}) {
    EXPECT_EQ(esm_text_to_cjs(line), line);
  }
  EXPECT_EQ(esm_text_to_cjs("export default function a\u20ACb() {}"), "module.exports = function a\u20ACb() {}");
  // White space beyond ASCII right after a name ends it.
  for (auto [input, output] : {
           Case{"import caf\u00E9\u3000from 'm'", "const caf\u00E9 = require(\"m\").default ?? require(\"m\");"},
           Case{"import * as \u03C0\u00A0from 'm'", "const \u03C0 = require(\"m\");"},
           Case{"export const \u03C0\u2003= 3", "const \u03C0\u2003= 3\nexports.\u03C0 = \u03C0;"},
           Case{"export function f\u00E9\uFEFF() {}", "function f\u00E9\uFEFF() {}\nexports.f\u00E9 = f\u00E9;"},
           Case{"export default class \u00C9\u205F{}", "class \u00C9\u205F{}\nmodule.exports = \u00C9;"},
       }) {
    EXPECT_EQ(esm_text_to_cjs(input), output) << input;
  }
}

TEST(EsmToCjs, LeavesLinesThatNoRuleMatches) {
  for (std::string_view line : {
           "import y from \"y\"; // note",
           "import z from \"z\" ;",
           "import a from \"b\";;",
           "Import a from \"b\"",
           "EXPORT const x = 1",
           "import caf\\u00E9 from \"x\"",
           "import a from \"\"",
           "import type { A } from \"m\"",
           "import a, * as b from \"m\"",
           "import {} from \"m\"",
           "importa from \"m\"",
           "exports.a = 1",
           "export * as ns from \"m\";",
           "export {} from \"m\";",
           "export {}; // a module",
           "export { a } from \"m\"; // c",
           "export { a } from \"m\" ;",
           "export * from \"x\";;",
           "export * from 'x' // c",
           "export { a } ;",
           "export {a};;",
           "export const { a, b } = obj;",
           "export interface A {}",
           "export enum E { A }",
           "export type T = 1;",
           "export abstract class A {}",
           "export declare const x: number;",
           "export async function () {}",
           "export asyncfunction f() {}",
           "export default",
           "x = 1; import a from \"b\"",
       }) {
    EXPECT_EQ(esm_text_to_cjs(line), line);
  }
}

// JavaScript's white space, every White_Space character and U+FEFF, counts as white space in the
// indentation as between words, and no other character does: the cheap test for a leading
// import or export must agree with the patterns.
TEST(EsmToCjs, TakesExactlyJavaScriptsWhiteSpaceAsWhiteSpace) {
  for (std::string_view ws : {"\t", "\v", "\f", "\r", " ", "\u0085", "\u00A0", "\u1680", "\u2000", "\u2001",
                              "\u2002", "\u2003", "\u2004", "\u2005", "\u2006", "\u2007", "\u2008", "\u2009",
                              "\u200A", "\u2028", "\u2029", "\u202F", "\u205F", "\u3000", "\uFEFF"}) {
    std::string s(ws);
    EXPECT_EQ(esm_text_to_cjs(s + "import" + s + "a" + s + "from" + s + "'b'" + s),
              s + "const a = require(\"b\").default ?? require(\"b\");")
        << ws;
    EXPECT_EQ(esm_text_to_cjs(s + s + "export" + s + "default" + s + "x;" + s + "\nf();"),
              "f();\n" + s + s + "module.exports = x;")
        << ws;
  }
  // What a rule takes from a line keeps its white space as it is.
  EXPECT_EQ(esm_text_to_cjs("\u00A0import a from 'x\u3000y'"),
            "\u00A0const a = require(\"x\u3000y\").default ?? require(\"x\u3000y\");");
  EXPECT_EQ(esm_text_to_cjs("export default f(\"\u2028\", \uFEFF1);"), "module.exports = f(\"\u2028\", \uFEFF1);");
  EXPECT_EQ(esm_text_to_cjs("export {\u3000a\u3000as\u3000b }"), "exports.a\u3000as\u3000b = a\u3000as\u3000b;");
  EXPECT_EQ(esm_text_to_cjs("export default\u00A0\u3000\u205F"), "module.exports = \u205F");
  // U+FEFF, as files that begin with a byte-order mark give when joined, and inside a list.
  EXPECT_EQ(esm_text_to_cjs("console.log(1);\n\uFEFFexport const a = 2;"),
            "console.log(1);\n\uFEFFconst a = 2;\nexports.a = a;");
  EXPECT_EQ(esm_text_to_cjs("export\uFEFFconst b = 3;"), "const b = 3;\nexports.b = b;");
  EXPECT_EQ(esm_text_to_cjs("export {\uFEFFa as b\uFEFF, c\uFEFF}"), "exports.b = a;\nexports.c = c;");
  EXPECT_EQ(esm_text_to_cjs("import {\uFEFFa as b\uFEFF} from 'm'"), "const { a: b } = require(\"m\");");
  // Zero-width space, Mongolian vowel separator: no white space.
  for (std::string_view other : {"\u200B", "\u180E"}) {
    std::string s(other);
    for (std::string line : {s + "import a from 'b'", "import" + s + "a from 'b'", s + "export default x;",
                             "export" + s + "const x = 1"}) {
      EXPECT_EQ(esm_text_to_cjs(line), line);
    }
  }
}

TEST(RulePattern, EndsTheProcessWhenABuiltInPatternDoesNotCompile) {
  EXPECT_DEATH(RulePattern pattern("^(\\s*"), "does not compile");
}

TEST(EsmToCjs, HoldsExportsBackInInputOrder) {
  EXPECT_EQ(esm_text_to_cjs("export { b, c as d };\n"
                            "export function a() {\n"
                            "  return 1;\n"
                            "}\n"
                            "export default a;\n"
                            "import x from 'x';\n"
                            "const y = 1;\n"),
            "function a() {\n"
            "  return 1;\n"
            "}\n"
            "const x = require(\"x\").default ?? require(\"x\");\n"
            "const y = 1;\n"
            "exports.b = b;\n"
            "exports.d = c;\n"
            "exports.a = a;\n"
            "module.exports = a;");
}

TEST(EsmNamesToCjs, ConvertsEveryEntryBetweenCommas) {
  for (auto [input, output] : {
           Case{"a", "a"},
           Case{" a as b ", "a: b"},
           Case{"a  as  b", "a: b"},
           Case{"a as b as c", "a: b as c"},
           Case{"alias", "alias"},
           Case{"a\tas b", "a\tas b"},  // only spaces around "as" make a rename
           Case{"a as\u00A0b", "a as\u00A0b"},
           Case{"", ""},
           Case{" \t", ""},
       }) {
    EXPECT_EQ(esm_name_to_cjs(input), output) << input;
    EXPECT_EQ(esm_names_to_cjs(input), output) << input;
  }
  for (auto [input, output] : {
           Case{"a,b as  c", "a, b: c"},
           Case{" x, ", "x, "},
           Case{",", ", "},
           Case{"a,,b", "a, , b"},
       }) {
    EXPECT_EQ(esm_names_to_cjs(input), output) << input;
  }
}

}  // namespace
}  // namespace dsf
