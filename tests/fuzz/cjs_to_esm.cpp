// CommonJS to ES-module rewriting of any text: one output line for each input line, UTF-8
// when the input is; a line whose first word after its indentation is none of const, module,
// exports, Object and require comes out unchanged, and a rewritten line keeps its indentation
// and is an import or an export.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "transform/parser/cjs_to_esm.hpp"

namespace {

bool may_match(std::string_view line) {
  std::string_view word = fuzz::after_indentation(line);
  return word.starts_with("const") || word.starts_with("module") || word.starts_with("exports") ||
         word.starts_with("Object") || word.starts_with("require");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::as_text(data, size);
  std::string output = dsf::cjs_text_to_esm(input);
  if (!fuzz::valid_utf8(input)) return 0;
  CHECK(fuzz::valid_utf8(output), input);

  std::vector<std::string_view> lines = fuzz::lines_of(input);
  if (lines.empty()) {
    CHECK(output.empty(), input);
    return 0;
  }
  std::vector<std::string_view> out = fuzz::pieces_of(output);
  CHECK(out.size() == lines.size(), input);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (out[i] == lines[i]) continue;
    CHECK(may_match(lines[i]), input);
    std::string_view indentation = lines[i].substr(0, lines[i].size() - fuzz::after_indentation(lines[i]).size());
    CHECK(out[i].starts_with(indentation), input);
    std::string_view statement = out[i].substr(indentation.size());
    CHECK(statement.starts_with("import ") || statement.starts_with("export "), input);
  }
  return 0;
}
