// The test for Python format strings over several lines, on any text: it reads within the text
// whatever the text holds, gives false for a text without a line break or without a quote, and
// decides at the first line break inside a format string, so that a text that gives true gives
// true with anything after it.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "merge/format_strings.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::as_text(data, size);
  bool spans = dsf::format_string_spans_lines(input);
  if (input.find('\n') == std::string_view::npos || input.find_first_of("'\"") == std::string_view::npos) {
    CHECK(!spans, input);
  }
  if (spans) {
    for (std::string_view after : {"\n", "'", "\"", "}", "{", "\\", "#", "f'{"}) {
      CHECK(dsf::format_string_spans_lines(std::string(input) + std::string(after)), input);
    }
  }
  return 0;
}
