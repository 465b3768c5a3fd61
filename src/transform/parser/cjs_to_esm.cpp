#include "transform/parser/cjs_to_esm.hpp"

#include "common/text.hpp"

namespace dsf {
namespace {

// Puts the identifier fragment in place of every `{id}` of a rule's pattern template.
std::string with_identifiers(std::string_view pattern_template) {
  constexpr std::string_view slot = "{id}";
  std::string pattern;
  for (std::size_t pos = 0;;) {
    std::size_t found = pattern_template.find(slot, pos);
    pattern.append(pattern_template.substr(pos, found - pos));
    if (found == std::string_view::npos) return pattern;
    pattern.append(identifier_fragment);
    pos = found + slot.size();
  }
}

// The module specifier always comes out between double quotes.
std::string quoted(std::string_view source) {
  std::string text;
  text.reserve(source.size() + 2);
  text += '"';
  text += source;
  text += '"';
  return text;
}

// A default export whose expression opens a bracket goes on over the next lines, so a `;`
// after it would end the statement inside its own body.
bool opens_block(std::string_view expression) {
  return expression.ends_with('{') || expression.ends_with('[') || expression.ends_with('(');
}

}  // namespace

CjsPatterns::CjsPatterns()
    : default_import(with_identifiers(
          R"re(^(\s*)const\s+({id})\s+=\s+require\(["']([^"']+)["']\)\.default\s*\?\?\s*require\(["'][^"']+["']\);?\s*$)re")),
      namespace_import(with_identifiers(R"re(^(\s*)const\s+({id})\s+=\s+require\(["']([^"']+)["']\);?\s*$)re")),
      named_import(R"re(^(\s*)const\s+\{([^}]+)\}\s+=\s+require\(["']([^"']+)["']\);?\s*$)re"),
      default_export(R"re(^(\s*)module\.exports\s+=\s+(.+?);?\s*$)re"),
      reexport_one(with_identifiers(
          R"re(^(\s*)exports\.({id})\s+=\s+require\(["']([^"']+)["']\)\.({id});?\s*$)re")),
      export_one(with_identifiers(R"re(^(\s*)exports\.({id})\s+=\s+({id});?\s*$)re")),
      reexport_all(R"re(^(\s*)Object\.assign\(exports,\s*require\(["']([^"']+)["']\)\);?\s*$)re") {}

std::string cjs_text_to_esm(std::string_view text) {
  const CjsPatterns patterns;
  std::string out;
  out.reserve(text.size());
  LineCursor cursor(text);
  bool first = true;
  for (std::string_view line; cursor.next(line); first = false) {
    if (!first) out += '\n';
    out += cjs_line_to_esm(line, patterns);
  }
  return out;
}

std::string cjs_line_to_esm(std::string_view line, const CjsPatterns& patterns) {
  std::string_view g[4];
  if (patterns.default_import.match(line, g)) {
    return std::string(g[0]) + "import " + std::string(g[1]) + " from " + quoted(g[2]) + ";";
  }
  if (patterns.namespace_import.match(line, g)) {
    return std::string(g[0]) + "import * as " + std::string(g[1]) + " from " + quoted(g[2]) + ";";
  }
  if (patterns.named_import.match(line, g)) {
    return std::string(g[0]) + "import { " + cjs_names_to_esm(g[1]) + " } from " + quoted(g[2]) + ";";
  }
  if (patterns.default_export.match(line, g)) {
    std::string out = std::string(g[0]) + "export default " + std::string(g[1]);
    if (!opens_block(g[1])) out += ';';
    return out;
  }
  if (patterns.reexport_one.match(line, g)) {
    return std::string(g[0]) + "export { " + std::string(g[3]) + " as " + std::string(g[1]) + " } from " +
           quoted(g[2]) + ";";
  }
  if (patterns.export_one.match(line, g)) {
    return std::string(g[0]) + "export { " + std::string(g[2]) + " as " + std::string(g[1]) + " };";
  }
  if (patterns.reexport_all.match(line, g)) {
    return std::string(g[0]) + "export * from " + quoted(g[1]) + ";";
  }
  return std::string(line);
}

std::string cjs_names_to_esm(std::string_view names) {
  std::string out;
  for (std::size_t pos = 0;;) {
    std::size_t comma = names.find(',', pos);
    out += cjs_name_to_esm(names.substr(pos, comma - pos));
    if (comma == std::string_view::npos) return out;
    out += ", ";
    pos = comma + 1;
  }
}

std::string cjs_name_to_esm(std::string_view name) {
  std::string_view piece = trim(name);
  std::size_t colon = piece.find(':');
  if (colon == std::string_view::npos) return std::string(piece);
  return std::string(trim(piece.substr(0, colon))) + " as " + std::string(trim(piece.substr(colon + 1)));
}

}  // namespace dsf
