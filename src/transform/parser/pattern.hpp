// The rewriting rules' patterns, written as readable regular expressions and compiled with RE2,
// which matches in time linear in the line and never recurses.
#pragma once

#include <re2/re2.h>

#include <memory>
#include <string>
#include <string_view>

namespace dsf {

// The one form a name may take in the rules: JavaScript's identifier characters. It begins with
// a letter (L, Nl), `$` or `_`, and goes on with those, digits (Nd), combining marks (Mn, Mc),
// connector punctuation (Pc), ZWNJ and ZWJ. Each rule takes a name whole or leaves its line
// alone; a name written with a `\u` escape is left alone.
inline constexpr std::string_view identifier_fragment =
    R"([\p{L}\p{Nl}$_][\p{L}\p{Nl}$_\p{Nd}\p{Mn}\p{Mc}\p{Pc}\x{200C}\x{200D}]*)";
// The same names among ASCII characters.
inline constexpr std::string_view ascii_identifier_fragment = "[A-Za-z_$][A-Za-z0-9_$]*";

// Calls `visit` with each piece of an import or export list between commas, empty pieces
// included: n commas give n + 1 pieces.
template <class Visit>
void for_each_list_entry(std::string_view list, Visit visit) {
  for (;;) {
    std::size_t comma = list.find(',');
    visit(list.substr(0, comma));
    if (comma == std::string_view::npos) return;
    list.remove_prefix(comma + 1);
  }
}

// Whether the line, its trailing white space aside, ends in `;`. A default export whose line
// does not goes on over the next lines: it has to stay in place, and a `;` after it would end
// the statement inside its own body.
bool ends_with_semicolon(std::string_view line);

// Compiles a built-in pattern. A built-in pattern that does not compile is a fault of the
// program itself: the process ends with a message on standard error.
class RulePattern {
 public:
  explicit RulePattern(std::string_view readable);
  RulePattern(const RulePattern&) = delete;
  RulePattern& operator=(const RulePattern&) = delete;

  // Matches the whole line and fills `groups` (group 1 first) on success.
  template <std::size_t N>
  bool match(std::string_view line, std::string_view (&groups)[N]) const {
    std::string_view all[N + 1];
    if (!regex_.Match(line, 0, line.size(), RE2::ANCHOR_BOTH, all, static_cast<int>(N + 1))) return false;
    for (std::size_t i = 0; i < N; ++i) groups[i] = all[i + 1];
    return true;
  }

 private:
  RE2 regex_;
};

// A rule whose pattern holds names: its template has `{id}` where a name stands. On a line of
// ASCII characters the identifier fragment matches as its ASCII form does, and that form
// compiles in microseconds where the Unicode classes take a millisecond or more. So each call
// compiles the Unicode form only for the first line beyond ASCII that the rule is tried on.
// Like every pattern, it belongs to one call on one thread.
class NamedRulePattern {
 public:
  explicit NamedRulePattern(std::string_view pattern_template);

  template <std::size_t N>
  bool match(std::string_view line, std::string_view (&groups)[N]) const {
    return form_for(line).match(line, groups);
  }

 private:
  const RulePattern& form_for(std::string_view line) const;

  std::string_view template_;  // a constant of the program
  RulePattern ascii_;
  mutable std::unique_ptr<RulePattern> unicode_;
};

}  // namespace dsf
