// ES-module to CommonJS rewriting of any text: the result is UTF-8 when the text is, and every
// line that no rule can match (its first word after the indentation is neither import nor
// export) comes out unchanged in its place: right after the lines made from the lines before
// it. Export assignments held back for the end come after all of them.
//
// The places are found by rewriting the text once more with a numbered comment line put after
// each line that may match: every line is rewritten on its own, and a line that moves away looks
// past comment lines for the code it would join, so the two results differ only by the numbered
// lines, and each plain line must stand right after the line or number before it.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "transform/parser/esm_to_cjs.hpp"

namespace {

// No rule can match a line whose first word is neither of these.
bool may_match(std::string_view line) {
  std::string_view word = fuzz::after_indentation(line);
  return word.starts_with("import") || word.starts_with("export");
}

// A comment line no input line can be: inputs are cut at LF and hold no line like it.
constexpr std::string_view mark_start = "// \x01\x02 mark ";
std::string mark(std::size_t number) { return std::string(mark_start) + std::to_string(number); }

std::string joined(const std::vector<std::string_view>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::as_text(data, size);
  std::string output = dsf::esm_text_to_cjs(input);
  if (!fuzz::valid_utf8(input) || input.find("\x01\x02") != std::string_view::npos) return 0;
  CHECK(fuzz::valid_utf8(output), input);

  std::vector<std::string_view> lines = fuzz::lines_of(input);
  std::string marked;
  std::size_t candidates = 0;
  for (std::string_view line : lines) {
    // A CR that ends a line stays in it only when another CR stands between it and the LF.
    marked.append(line) += line.ends_with('\r') ? "\r\n" : "\n";
    if (may_match(line)) marked.append(mark(candidates++)) += '\n';
  }
  if (candidates == 0) {
    CHECK(output == joined(lines), input);
    return 0;
  }

  std::string marked_output = dsf::esm_text_to_cjs(marked);
  std::vector<std::string_view> out = fuzz::pieces_of(marked_output);
  std::vector<std::string_view> unmarked;
  std::size_t position = 0, next_mark = 0;
  for (std::string_view line : lines) {
    if (may_match(line)) {
      std::string expected = mark(next_mark++);
      while (position < out.size() && out[position] != expected) ++position;
      CHECK(position < out.size(), input);
    } else {
      CHECK(position < out.size() && out[position] == line, input);
    }
    ++position;
  }
  for (std::string_view line : out) {
    if (!line.starts_with(mark_start)) unmarked.push_back(line);
  }
  CHECK(output == joined(unmarked), input);
  return 0;
}
