// CommonJS `require` and `exports` lines rewritten back into ES-module `import` and `export`
// lines. It is no parser: a statement is rewritten only when it stands alone on one line in one
// of the forms below; every other line is copied unchanged.
#pragma once

#include <string>
#include <string_view>

#include "transform/parser/pattern.hpp"

namespace dsf {

// The rules' patterns, compiled in the order in which they are tried.
struct CjsPatterns {
  CjsPatterns();

  NamedRulePattern default_import;    // const x = require("m").default ?? require("m");
  NamedRulePattern namespace_import;  // const x = require("m");
  RulePattern named_import;           // const { a, b: c } = require("m");
  RulePattern default_export;         // module.exports = expression;
  NamedRulePattern reexport_one;      // exports.x = require("m").y;
  NamedRulePattern export_one;        // exports.x = y;
  RulePattern reexport_all;           // Object.assign(exports, require("m"));
  RulePattern side_effect_import;     // require("m"); at the start of the line
};

// Every line rewritten on its own; the lines joined with LF, none after the last.
std::string cjs_text_to_esm(std::string_view text);

// One line without its line break: the rewritten line, or a copy when no rule matches.
std::string cjs_line_to_esm(std::string_view line, const CjsPatterns& patterns);

// The same line appended to `out`, so that a whole text is rewritten without a string per line.
void append_cjs_line_as_esm(std::string& out, std::string_view line, const CjsPatterns& patterns);

// The text between the braces of a destructuring `require`: each comma-separated piece
// converted, joined with ", ".
std::string cjs_names_to_esm(std::string_view names);

// One piece of that list, trimmed: `a: b` becomes `a as b`.
std::string cjs_name_to_esm(std::string_view name);

}  // namespace dsf
