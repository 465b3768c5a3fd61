#include "transform/parser/pattern.hpp"

#include <cstdio>
#include <cstdlib>

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

}  // namespace

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

RulePattern::RulePattern(std::string_view readable) : regex_(unicode_pattern_text(readable), rule_options()) {
  if (!regex_.ok()) {
    std::fprintf(stderr, "internal error: built-in pattern %.*s does not compile: %s\n",
                 static_cast<int>(readable.size()), readable.data(), regex_.error().c_str());
    std::abort();
  }
}

}  // namespace dsf
