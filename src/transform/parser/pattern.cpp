#include "transform/parser/pattern.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <format>

#include "common/fatal.hpp"

namespace dsf {
namespace {

// JavaScript's white space beyond ASCII, as the inside of a character class: the rest of the
// White_Space set, and U+FEFF.
constexpr std::string_view white_space_beyond_ascii =
    R"(\x{85}\x{A0}\x{1680}\x{2000}-\x{200A}\x{2028}\x{2029}\x{202F}\x{205F}\x{3000}\x{FEFF})";

RE2::Options rule_options() {
  RE2::Options options;
  options.set_encoding(RE2::Options::EncodingUTF8);
  options.set_case_sensitive(true);
  options.set_log_errors(false);
  options.set_max_mem(64 << 20);  // room for the DFA on long lines; matching stays linear
  return options;
}

// The pattern text RE2 compiles: every `\s` of `readable` becomes the class of JavaScript's
// white space (RE2's own `\s` is ASCII only).
std::string unicode_pattern_text(std::string_view readable) {
  const std::string white_space_class = std::format(R"([\t-\r {}])", white_space_beyond_ascii);
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

// What a name group takes: `$`, `_`, an ASCII letter or any character beyond ASCII, then any
// number of those or ASCII digits, white space beyond ASCII excepted, as white space ends a
// name; is_identifier decides on the characters beyond ASCII. The first character needs no such
// exception: every name follows a `.` or a greedy `\s`, which takes the white space before it,
// and a name that begins with white space fails the check. The class with the exception is the
// one part of the pattern that is costly to compile, so it stands in it once.
std::string name_fragment() {
  return std::format(R"((?:[A-Za-z_$]|[^\x00-\x7F])(?:[A-Za-z0-9_$]|[^\x00-\x7F{}])*)",
                     white_space_beyond_ascii);
}

constexpr std::string_view name_slot = "({id})";

// The template with the name fragment in every name slot.
std::string with_names(std::string_view pattern_template) {
  const std::string fragment = name_fragment();
  std::string pattern;
  for (std::size_t pos = 0;;) {
    std::size_t found = pattern_template.find(name_slot, pos);
    pattern.append(pattern_template.substr(pos, found - pos));
    if (found == std::string_view::npos) return pattern;
    pattern.append("(").append(fragment).append(")");
    pos = found + name_slot.size();
  }
}

// The numbers of the capture groups that the template's name slots open. A group opens at every
// `(` outside a character class that no backslash escapes and no `?` follows.
std::vector<std::size_t> name_groups_of(std::string_view pattern_template) {
  std::vector<std::size_t> groups;
  std::size_t opened = 0;
  bool in_class = false;
  for (std::size_t i = 0; i < pattern_template.size(); ++i) {
    const char c = pattern_template[i];
    if (c == '\\') {
      ++i;
    } else if (in_class) {
      in_class = c != ']';
    } else if (c == '[') {
      in_class = true;
    } else if (c == '(' && pattern_template.substr(i + 1, 1) != "?") {
      ++opened;
      if (pattern_template.substr(i).starts_with(name_slot)) groups.push_back(opened);
    }
  }
  return groups;
}

bool is_identifier_part(UChar32 c, bool first) {
  if (c == '$' || c == '_') return true;
  if (!first && (c == 0x200C || c == 0x200D)) return true;
  return u_hasBinaryProperty(c, first ? UCHAR_ID_START : UCHAR_ID_CONTINUE) != 0;
}

}  // namespace

bool is_identifier(std::string_view name) {
  if (name.empty()) return false;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(name.data());
  for (std::size_t pos = 0; pos < name.size();) {
    // ICU reads with 32-bit offsets: it is given one character's room at a time.
    const auto room = static_cast<std::int32_t>(std::min<std::size_t>(name.size() - pos, U8_MAX_LENGTH));
    std::int32_t used = 0;
    UChar32 c;
    U8_NEXT(bytes + pos, used, room, c);  // an ill-formed sequence gives a negative c
    if (c < 0 || !is_identifier_part(c, pos == 0)) return false;
    pos += static_cast<std::size_t>(used);
  }
  return true;
}

bool ends_with_semicolon(std::string_view line) { return trim_js_end(line).ends_with(';'); }

RulePattern::RulePattern(std::string_view readable) : regex_(unicode_pattern_text(readable), rule_options()) {
  if (!regex_.ok()) {
    end_process(std::format("internal error: built-in pattern {} does not compile: {}", readable, regex_.error()));
  }
}

NamedRulePattern::NamedRulePattern(std::string_view pattern_template)
    : pattern_(with_names(pattern_template)), name_groups_(name_groups_of(pattern_template)) {}

void NamedRulePattern::missing_name_group(std::size_t group) const {
  end_process(std::format("internal error: a match of a named rule does not reach its name group {}", group));
}

}  // namespace dsf
