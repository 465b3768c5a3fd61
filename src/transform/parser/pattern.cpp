#include "transform/parser/pattern.hpp"

#include <format>

#include "common/fatal.hpp"
#include "common/text.hpp"

namespace dsf {
namespace {

constexpr std::string_view white_space_class =
    R"([\t-\r \x{85}\x{A0}\x{1680}\x{2000}-\x{200A}\x{2028}\x{2029}\x{202F}\x{205F}\x{3000}])";

RE2::Options rule_options() {
  RE2::Options options;
  options.set_encoding(RE2::Options::EncodingUTF8);
  options.set_case_sensitive(true);
  options.set_log_errors(false);
  options.set_max_mem(64 << 20);  // room for the DFA on long lines; matching stays linear
  return options;
}


// The pattern text RE2 compiles: every `\s` of `readable` becomes the class of the Unicode
// White_Space characters (RE2's own `\s` is ASCII only).
std::string unicode_pattern_text(std::string_view readable) {
  std::string text;
  text.reserve(readable.size() * 2);
  for (std::size_t i = 0; i < readable.size(); ++i) {
    if (readable[i] == '\\' && i + 1 < readable.size()) {
      if (readable[i + 1] == 's') {
        text += white_space_class;
      } else {
        text.append(readable.substr(i, 2));
      }
      ++i;
    } else {
      text += readable[i];
    }
  }
  return text;
}

// A rule's pattern with `fragment` in place of every `{id}` of its template.
std::string with_identifiers(std::string_view pattern_template, std::string_view fragment) {
  constexpr std::string_view slot = "{id}";
  std::string pattern;
  for (std::size_t pos = 0;;) {
    std::size_t found = pattern_template.find(slot, pos);
    pattern.append(pattern_template.substr(pos, found - pos));
    if (found == std::string_view::npos) return pattern;
    pattern.append(fragment);
    pos = found + slot.size();
  }
}

}  // namespace

bool ends_with_semicolon(std::string_view line) { return trim_end(line).ends_with(';'); }

RulePattern::RulePattern(std::string_view readable) : regex_(unicode_pattern_text(readable), rule_options()) {
  if (!regex_.ok()) {
    end_process(std::format("internal error: built-in pattern {} does not compile: {}", readable, regex_.error()));
  }
}

NamedRulePattern::NamedRulePattern(std::string_view pattern_template)
    : template_(pattern_template), ascii_(with_identifiers(pattern_template, ascii_identifier_fragment)) {}

const RulePattern& NamedRulePattern::form_for(std::string_view line) const {
  if (is_ascii(line)) return ascii_;
  if (!unicode_) unicode_ = std::make_unique<RulePattern>(with_identifiers(template_, identifier_fragment));
  return *unicode_;
}

}  // namespace dsf
