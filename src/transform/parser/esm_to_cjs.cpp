#include "transform/parser/esm_to_cjs.hpp"

#include <initializer_list>
#include <utility>

#include "common/text.hpp"
#include "transform/parser/joined_lines.hpp"
#include "transform/parser/pattern.hpp"

namespace dsf {
namespace {

// Group 1 of every rule is the line's indentation.
constexpr std::string_view default_import_rule =
    R"(^(\s*)import\s+({id})\s+from\s+["']([^"']+)["'];?\s*$)";
constexpr std::string_view namespace_import_rule =
    R"(^(\s*)import\s+\*\s+as\s+({id})\s+from\s+["']([^"']+)["'];?\s*$)";
constexpr std::string_view default_and_named_import_rule =
    R"(^(\s*)import\s+({id})\s*,\s*\{([^}]+)\}\s+from\s+["']([^"']+)["'];?\s*$)";
constexpr std::string_view named_import_rule =
    R"(^(\s*)import\s+\{([^}]+)\}\s+from\s+["']([^"']+)["'];?\s*$)";
constexpr std::string_view side_effect_import_rule =
    R"(^(\s*)import\s+["']([^"']+)["'];?\s*$)";
// const, let, var and class, or function with an optional async before it and an optional star
// after it; the star may stand against the name, as in function*gen().
constexpr std::string_view exported_declaration_rule =
    R"(^(\s*)export\s+(?:(const|let|var|class)\s+|(async\s+)?function(?:\s+|\s*(\*)\s*))({id})(.*)$)";
// A named function, async function, generator or class after export default: a declaration,
// whose name the module can use. Group 2 is the declaration, group 3 its name, which white
// space, a parameter list or a body has to follow.
constexpr std::string_view default_declaration_rule =
    R"(^(\s*)export\s+default\s+((?:(?:async\s+)?function(?:\s+|\s*\*\s*)|class\s+)({id})(?:\s.*|[(<{].*)?)$)";
// An unnamed function, async function, generator or class after export default whose line ends
// in `}`: in a module a declaration, which ends at that brace. Group 2 is the declaration.
constexpr std::string_view one_line_anonymous_default_rule =
    R"(^(\s*)export\s+default\s+((?:(?:async\s+)?function\s*(?:\*\s*)?[(<]|class(?:\s*\{|\s+extends(?:\s|\())).*\})\s*$)";
constexpr std::string_view default_export_rule =
    R"(^(\s*)export\s+default\s+(.+?);?\s*$)";
// The braces may be empty: export {} only marks the file as a module and gives no line.
constexpr std::string_view export_list_rule =
    R"(^(\s*)export\s+\{([^}]*)\};?\s*$)";
constexpr std::string_view reexport_all_rule =
    R"(^(\s*)export\s+\*\s+from\s+["']([^"']+)["'];?\s*$)";
constexpr std::string_view reexport_list_rule =
    R"(^(\s*)export\s+\{([^}]+)\}\s+from\s+["']([^"']+)["'];?\s*$)";

// The patterns of one call, compiled in rule order and released with the call.
struct Rules {
  NamedRulePattern default_import{default_import_rule};
  NamedRulePattern namespace_import{namespace_import_rule};
  NamedRulePattern default_and_named_import{default_and_named_import_rule};
  RulePattern named_import{named_import_rule};
  RulePattern side_effect_import{side_effect_import_rule};
  NamedRulePattern exported_declaration{exported_declaration_rule};
  NamedRulePattern default_declaration{default_declaration_rule};
  RulePattern one_line_anonymous_default{one_line_anonymous_default_rule};
  RulePattern default_export{default_export_rule};
  RulePattern export_list{export_list_rule};
  RulePattern reexport_all{reexport_all_rule};
  RulePattern reexport_list{reexport_list_rule};
};

// One list entry "local as exported"; both names are the trimmed entry when it has no " as ".
struct EntryNames {
  std::string_view local;
  std::string_view exported;
  bool renamed;
};

EntryNames entry_names(std::string_view entry) {
  entry = trim_js(entry);
  std::size_t as = entry.find(" as ");
  if (as == std::string_view::npos) return {entry, entry, false};
  return {trim_js(entry.substr(0, as)), trim_js(entry.substr(as + 4)), true};
}

void append_name(std::string& out, std::string_view entry) {
  EntryNames names = entry_names(entry);
  out += names.local;
  if (names.renamed) {
    out += ": ";
    out += names.exported;
  }
}

// The output lines, joined as they come, and the held-back lines, kept apart until they follow
// the last output line.
class Output {
 public:
  // The output is about as long as the input; rewritten imports make it a little longer.
  explicit Output(std::size_t input_size) : lines_(input_size + input_size / 8) {}

  void copy(std::string_view line) { lines_.copy(line); }
  void emit(std::initializer_list<std::string_view> parts) {
    std::string& text = lines_.add();
    for (std::string_view part : parts) text += part;
    ++emitted_lines_;
  }
  // How many lines the rules have given in place so far.
  std::size_t emitted_lines() const { return emitted_lines_; }
  void hold(std::initializer_list<std::string_view> parts) {
    if (held_lines_++ > 0) held_ += '\n';
    for (std::string_view part : parts) held_ += part;
  }

  std::string join() && {
    if (held_lines_ > 0) lines_.add() += held_;
    return std::move(lines_).take();
  }

 private:
  JoinedLines lines_;
  std::size_t emitted_lines_ = 0;
  std::string held_;
  std::size_t held_lines_ = 0;
};

// Whether the next line that holds code, blank lines and `//` comment lines passed over, begins
// with `(`, `[` or a backtick. Such a line goes on the statement before it, unless a line between
// them ends that statement.
bool next_code_goes_on_before(LineCursor rest) {
  for (std::string_view line; rest.next(line);) {
    std::string_view code = trim_js_start(line);
    if (code.empty() || code.starts_with("//")) continue;
    return code.starts_with('(') || code.starts_with('[') || code.starts_with('`');
  }
  return false;
}

// The default, namespace, default-and-named, named and side-effect imports, in that order.
bool rewrite_import(const Rules& rules, const RuleLine& line, Output& out) {
  std::string_view g[4];
  if (rules.default_import.match(line, g)) {
    out.emit({g[0], "const ", g[1], " = require(\"", g[2], "\").default ?? require(\"", g[2], "\");"});
  } else if (rules.namespace_import.match(line, g)) {
    out.emit({g[0], "const ", g[1], " = require(\"", g[2], "\");"});
  } else if (rules.default_and_named_import.match(line, g)) {
    out.emit({g[0], "const ", g[1], " = require(\"", g[3], "\").default ?? require(\"", g[3], "\");"});
    out.emit({g[0], "const { ", esm_names_to_cjs(g[2]), " } = require(\"", g[3], "\");"});
  } else if (rules.named_import.match(line, g)) {
    out.emit({g[0], "const { ", esm_names_to_cjs(g[1]), " } = require(\"", g[2], "\");"});
  } else if (rules.side_effect_import.match(line, g)) {
    out.emit({g[0], "require(\"", g[1], "\");"});
  } else {
    return false;
  }
  return true;
}

// The exported declaration, the default-exported declaration, the one-line anonymous default
// declaration, the default export, the re-export list, the export list and the re-export of
// all, in that order.
bool rewrite_export(const Rules& rules, const RuleLine& line, Output& out) {
  std::string_view g[6];
  // A backslash right after the name begins an escape inside it: such a name is left whole.
  if (rules.exported_declaration.match(line, g) && !g[5].starts_with('\\')) {
    // g[1] is const, let, var or class; otherwise g[2] holds async and g[3] the star.
    std::string_view keyword = g[1];
    if (keyword.empty()) {
      bool async = !g[2].empty(), star = !g[3].empty();
      keyword = async ? (star ? "async function*" : "async function") : (star ? "function*" : "function");
    }
    out.emit({g[0], keyword, " ", g[4], g[5]});
    out.hold({"exports.", g[4], " = ", g[4], ";"});
  } else if (rules.default_declaration.match(line, g) && g[2] != "extends") {
    // The declaration stays and binds its name; `class extends Base {` names no class.
    out.emit({g[0], g[1]});
    out.hold({g[0], "module.exports = ", g[2], ";"});
  } else if (rules.one_line_anonymous_default.match(line, g)) {
    // As an expression it would go on into a next line that begins with `(`, `[` or a backtick.
    out.hold({g[0], "module.exports = ", g[1], ";"});
  } else if (rules.default_export.match(line, g)) {
    // Only a statement that ends on its line can move to the end; any other goes on over the
    // next lines (a template literal, an arrow function's body, a block after a comment).
    if (ends_with_semicolon(line.text())) {
      out.hold({g[0], "module.exports = ", g[1], ";"});
    } else {
      out.emit({g[0], "module.exports = ", g[1]});
    }
  } else if (rules.reexport_list.match(line, g)) {
    // In both export lists an empty entry, such as the one after a trailing comma, exports nothing.
    for_each_list_entry(g[1], [&](std::string_view entry) {
      EntryNames names = entry_names(entry);
      if (!names.local.empty()) {
        out.hold({g[0], "exports.", names.exported, " = require(\"", g[2], "\").", names.local, ";"});
      }
    });
  } else if (rules.export_list.match(line, g)) {
    for_each_list_entry(g[1], [&](std::string_view entry) {
      EntryNames names = entry_names(entry);
      if (!names.local.empty()) out.hold({g[0], "exports.", names.exported, " = ", names.local, ";"});
    });
  } else if (rules.reexport_all.match(line, g)) {
    out.hold({g[0], "Object.assign(exports, require(\"", g[1], "\"));"});
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::string esm_text_to_cjs(std::string_view text) {
  const Rules rules;
  Output out(text.size());
  LineCursor lines(text);
  std::string_view line;
  while (lines.next(line)) {
    // Every rule begins with indentation and then import or export: any other line is copied
    // without running the matcher, which keeps long files cheap.
    std::size_t start = 0;
    while (std::size_t width = js_white_space_at(line, start)) start += width;
    std::string_view word = line.substr(start);
    if (word.starts_with("import") && rewrite_import(rules, RuleLine(line), out)) continue;
    if (word.starts_with("export")) {
      std::size_t emitted = out.emitted_lines();
      if (rewrite_export(rules, RuleLine(line), out)) {
        // In a module the export line ended the statement before it. Where it leaves no line,
        // a `;` ends that statement before code that would go on it.
        if (out.emitted_lines() == emitted && next_code_goes_on_before(lines)) out.emit({line.substr(0, start), ";"});
        continue;
      }
    }
    out.copy(line);
  }
  return std::move(out).join();
}

std::string esm_names_to_cjs(std::string_view list) {
  std::string names;
  names.reserve(list.size() + 8);
  bool first = true;
  for_each_list_entry(list, [&](std::string_view entry) {
    if (!first) names += ", ";
    first = false;
    append_name(names, entry);
  });
  return names;
}

std::string esm_name_to_cjs(std::string_view entry) {
  std::string name;
  append_name(name, entry);
  return name;
}

}  // namespace dsf
