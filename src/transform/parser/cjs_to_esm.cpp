#include "transform/parser/cjs_to_esm.hpp"

#include <initializer_list>
#include <utility>

#include "common/text.hpp"
#include "transform/parser/joined_lines.hpp"

namespace dsf {
namespace {

void append(std::string& out, std::initializer_list<std::string_view> parts) {
  for (std::string_view part : parts) out += part;
}

// Every pattern begins with the indentation (the side-effect import with none) and then a word
// of its own, so that word tells which rules a line may match; most lines can match none and
// are copied without running the matcher.
enum class Candidates { none, imports, default_export, exports, reexport_all, side_effect_import };

Candidates candidates_for(std::string_view line) {
  std::string_view word = trim_js_start(line);
  // The imports need a require call too, which most declarations lack.
  if (word.starts_with("const")) return word.contains("require(") ? Candidates::imports : Candidates::none;
  if (word.starts_with("module.exports")) return Candidates::default_export;
  if (word.starts_with("exports.")) return Candidates::exports;
  if (word.starts_with("Object.assign(")) return Candidates::reexport_all;
  // Only at the top level: an ES module takes no import in a block or a function.
  if (line.starts_with("require(")) return Candidates::side_effect_import;
  return Candidates::none;
}

// The line rewritten by the first of its candidate rules that matches, or copied.
void append_rewritten(std::string& out, std::string_view text, Candidates candidates, const CjsPatterns& patterns) {
  if (candidates == Candidates::none) {
    out += text;
    return;
  }
  const RuleLine line(text);
  std::string_view g[4];
  switch (candidates) {
    case Candidates::imports:
      if (patterns.default_import.match(line, g)) return append(out, {g[0], "import ", g[1], " from \"", g[2], "\";"});
      if (patterns.namespace_import.match(line, g)) {
        return append(out, {g[0], "import * as ", g[1], " from \"", g[2], "\";"});
      }
      if (patterns.named_import.match(line, g)) {
        return append(out, {g[0], "import { ", cjs_names_to_esm(g[1]), " } from \"", g[2], "\";"});
      }
      break;
    case Candidates::default_export:
      if (patterns.default_export.match(line, g)) {
        return append(out, {g[0], "export default ", g[1], ends_with_semicolon(text) ? ";" : ""});
      }
      break;
    case Candidates::exports:
      if (patterns.reexport_one.match(line, g)) {
        return append(out, {g[0], "export { ", g[3], " as ", g[1], " } from \"", g[2], "\";"});
      }
      if (patterns.export_one.match(line, g)) return append(out, {g[0], "export { ", g[2], " as ", g[1], " };"});
      break;
    case Candidates::reexport_all:
      if (patterns.reexport_all.match(line, g)) return append(out, {g[0], "export * from \"", g[1], "\";"});
      break;
    case Candidates::side_effect_import:
      // What a side-effect import becomes on the way in; an ES module has no require to call.
      if (patterns.side_effect_import.match(line, g)) return append(out, {"import \"", g[0], "\";"});
      break;
    case Candidates::none:
      break;
  }
  out += text;
}

}  // namespace

CjsPatterns::CjsPatterns()
    : default_import(
          R"re(^(\s*)const\s+({id})\s+=\s+require\(["']([^"']+)["']\)\.default\s*\?\?\s*require\(["'][^"']+["']\);?\s*$)re"),
      namespace_import(R"re(^(\s*)const\s+({id})\s+=\s+require\(["']([^"']+)["']\);?\s*$)re"),
      named_import(R"re(^(\s*)const\s+\{([^}]+)\}\s+=\s+require\(["']([^"']+)["']\);?\s*$)re"),
      default_export(R"re(^(\s*)module\.exports\s+=\s+(.+?);?\s*$)re"),
      reexport_one(R"re(^(\s*)exports\.({id})\s+=\s+require\(["']([^"']+)["']\)\.({id});?\s*$)re"),
      export_one(R"re(^(\s*)exports\.({id})\s+=\s+({id});?\s*$)re"),
      reexport_all(R"re(^(\s*)Object\.assign\(exports,\s*require\(["']([^"']+)["']\)\);?\s*$)re"),
      side_effect_import(R"re(^require\(["']([^"']+)["']\);?\s*$)re") {}

std::string cjs_text_to_esm(std::string_view text) {
  const CjsPatterns patterns;
  JoinedLines out(text.size() + text.size() / 8);
  LineCursor cursor(text);
  for (std::string_view line; cursor.next(line);) {
    Candidates candidates = candidates_for(line);
    if (candidates == Candidates::none) {
      out.copy(line);
    } else {
      append_rewritten(out.add(), line, candidates, patterns);
    }
  }
  return std::move(out).take();
}

std::string cjs_line_to_esm(std::string_view line, const CjsPatterns& patterns) {
  std::string out;
  append_cjs_line_as_esm(out, line, patterns);
  return out;
}

void append_cjs_line_as_esm(std::string& out, std::string_view line, const CjsPatterns& patterns) {
  append_rewritten(out, line, candidates_for(line), patterns);
}

std::string cjs_names_to_esm(std::string_view names) {
  std::string out;
  bool first = true;
  for_each_list_entry(names, [&](std::string_view piece) {
    if (!first) out += ", ";
    first = false;
    out += cjs_name_to_esm(piece);
  });
  return out;
}

std::string cjs_name_to_esm(std::string_view name) {
  std::string_view piece = trim_js(name);
  std::size_t colon = piece.find(':');
  if (colon == std::string_view::npos) return std::string(piece);
  return std::string(trim_js(piece.substr(0, colon))) + " as " + std::string(trim_js(piece.substr(colon + 1)));
}

}  // namespace dsf
