#include "transform/parser/pattern.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <format>

#include "common/fatal.hpp"

namespace dsf {
namespace {

RE2::Options rule_options() {
  RE2::Options options;
  options.set_encoding(RE2::Options::EncodingUTF8);
  options.set_case_sensitive(true);
  options.set_log_errors(false);
  options.set_max_mem(64 << 20);  // room for the DFA on long lines; matching stays linear
  return options;
}

// The pattern text RE2 compiles: every `\s` of `readable` becomes the class of the white space
// on a RuleLine: ASCII's (RE2's own `\s` leaves out the vertical TAB), U+00A0 and U+3000.
std::string compiled_pattern_text(std::string_view readable) {
  constexpr std::string_view white_space_class = R"([\t-\r \x{A0}\x{3000}])";
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

// What a name group takes: `$`, `_`, an ASCII letter or a character beyond ASCII other than the
// white space of a RuleLine, then any number of those or ASCII digits; is_identifier decides on
// the characters beyond ASCII.
constexpr std::string_view name_fragment =
    R"((?:[A-Za-z_$]|[^\x00-\x7F\x{A0}\x{3000}])(?:[A-Za-z0-9_$]|[^\x00-\x7F\x{A0}\x{3000}])*)";

constexpr std::string_view name_slot = "({id})";

// The template with the name fragment in every name slot.
std::string with_names(std::string_view pattern_template) {
  std::string pattern;
  for (std::size_t pos = 0;;) {
    std::size_t found = pattern_template.find(name_slot, pos);
    pattern.append(pattern_template.substr(pos, found - pos));
    if (found == std::string_view::npos) return pattern;
    pattern.append("(").append(name_fragment).append(")");
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

RuleLine::RuleLine(std::string_view line) : text_(line) {
  if (is_ascii(line)) return;
  for (std::size_t pos = 0; pos < line.size();) {
    const std::size_t width = static_cast<unsigned char>(line[pos]) < 0x80 ? 0 : js_white_space_at(line, pos);
    if (width == 0) {
      ++pos;
      continue;
    }
    // U+00A0 and U+3000 stand for themselves: a line with no other white space is not copied.
    const std::string_view stand_in = width == 2 ? "\u00A0" : "\u3000";
    if (line.substr(pos, width) != stand_in) {
      if (copy_.empty()) copy_ = line;
      copy_.replace(pos, width, stand_in);
    }
    pos += width;
  }
}

std::string_view RuleLine::at(std::string_view piece) const {
  if (copy_.empty() || piece.data() == nullptr) return piece;
  return text_.substr(static_cast<std::size_t>(piece.data() - copy_.data()), piece.size());
}

RulePattern::RulePattern(std::string_view readable) : regex_(compiled_pattern_text(readable), rule_options()) {
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
