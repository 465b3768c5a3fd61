// The rewriting rules' patterns, written as readable regular expressions and compiled with RE2,
// which matches in time linear in the line and never recurses.
#pragma once

#include <re2/re2.h>

#include <string>
#include <string_view>

namespace dsf {

// The one form a name may take in the rules.
inline constexpr std::string_view identifier_fragment = "[A-Za-z_$][A-Za-z0-9_$]*";

// The pattern text RE2 compiles: every `\s` of `readable` becomes the class of the Unicode
// White_Space characters (RE2's own `\s` is ASCII only).
std::string unicode_pattern_text(std::string_view readable);

// Compiles a built-in pattern. A built-in pattern that does not compile is a fault of the
// program itself: the process ends with a message on standard error.
class RulePattern {
 public:
  explicit RulePattern(std::string_view readable);
  RulePattern(const RulePattern&) = delete;
  RulePattern& operator=(const RulePattern&) = delete;

  const RE2& regex() const { return regex_; }

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
