// The rewriting rules' patterns, written as readable regular expressions and compiled with RE2,
// which matches in time linear in the line and never recurses.
#pragma once

#include <re2/re2.h>

#include <string>
#include <string_view>

namespace dsf {

// The one form a name may take in the rules.
inline constexpr std::string_view identifier_fragment = "[A-Za-z_$][A-Za-z0-9_$]*";

// A rule's pattern with the identifier fragment in place of every `{id}` of its template.
std::string with_identifiers(std::string_view pattern_template);

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

}  // namespace dsf
