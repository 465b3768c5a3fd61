// The rewriting rules' patterns, written as readable regular expressions and compiled with RE2,
// which matches in time linear in the line and never recurses.
#pragma once

#include <re2/re2.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/text.hpp"

namespace dsf {

// Whether `name` is a JavaScript identifier: ID_Start, `$` or `_` first, then ID_Continue, `$`,
// ZWNJ or ZWJ, by ICU's tables, which Node.js reads names with too. An escape is no part of it.
bool is_identifier(std::string_view name);

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

// A line as the patterns read it: each character of JavaScript's white space beyond ASCII is
// written as U+00A0 where it takes two bytes and as U+3000 where it takes three. Every character
// stays one character at the same offsets, and the patterns need to know only these two: a few
// byte ranges to compile and to match, where the whole set would be many. Captures are read
// from the line itself.
class RuleLine {
 public:
  explicit RuleLine(std::string_view line);
  RuleLine(const RuleLine&) = delete;
  RuleLine& operator=(const RuleLine&) = delete;

  std::string_view text() const { return text_; }
  // What the patterns match: the line itself when it holds no white space beyond ASCII.
  std::string_view matched() const { return copy_.empty() ? text_ : copy_; }
  // The piece of the line at the place of `piece`, a piece of matched().
  std::string_view at(std::string_view piece) const;

 private:
  std::string_view text_;
  std::string copy_;  // empty when the line itself will do
};

// Compiles a built-in pattern. A built-in pattern that does not compile is a fault of the
// program itself: the process ends with a message on standard error.
class RulePattern {
 public:
  explicit RulePattern(std::string_view readable);
  RulePattern(const RulePattern&) = delete;
  RulePattern& operator=(const RulePattern&) = delete;

  // Matches the whole line and fills `groups` (group 1 first) on success.
  template <std::size_t N>
  bool match(const RuleLine& line, std::string_view (&groups)[N]) const {
    std::string_view matched = line.matched();
    std::string_view all[N + 1];
    if (!regex_.Match(matched, 0, matched.size(), RE2::ANCHOR_BOTH, all, static_cast<int>(N + 1))) return false;
    for (std::size_t i = 0; i < N; ++i) groups[i] = line.at(all[i + 1]);
    return true;
  }

 private:
  RE2 regex_;
};

// A rule whose pattern holds names: its template has `({id})` where a name stands. The pattern
// takes for a name a run of ASCII identifier characters and characters beyond ASCII other than
// the two white space characters of a RuleLine: a few byte ranges, where Unicode's identifier
// classes would be thousands to compile and to match. Each name that holds a character beyond
// ASCII is then checked with is_identifier, and the line matches only when all are names. In
// valid JavaScript a character beyond ASCII right after a name is white space or part of the
// name, so the run takes exactly the name.
class NamedRulePattern {
 public:
  explicit NamedRulePattern(std::string_view pattern_template);

  template <std::size_t N>
  bool match(const RuleLine& line, std::string_view (&groups)[N]) const {
    if (!pattern_.match(line, groups)) return false;
    for (std::size_t group : name_groups_) {
      if (group > N) missing_name_group(group);
      if (!is_ascii(groups[group - 1]) && !is_identifier(groups[group - 1])) return false;
    }
    return true;
  }

 private:
  // A caller whose groups do not reach a name is a fault of the program: the process ends.
  [[noreturn]] void missing_name_group(std::size_t group) const;

  RulePattern pattern_;
  std::vector<std::size_t> name_groups_;  // the numbers of the capture groups that hold names
};

}  // namespace dsf
