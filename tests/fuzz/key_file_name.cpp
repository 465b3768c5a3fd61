// The key file-name rule on any text, against a plain count of the name's path components:
// exactly one, and the text is neither empty nor "." nor "..".
#include <cstdint>
#include <string_view>

#include "fuzz_support.hpp"
#include "keys/key_files.hpp"

namespace {

std::size_t component_count(std::string_view name) {
  std::size_t count = 0;
  if (name.starts_with('/')) {
    ++count;
    name.remove_prefix(1);
  } else if (name == "." || name.starts_with("./")) {
    ++count;
    name.remove_prefix(1);
  }
  while (!name.empty()) {
    std::size_t slash = name.find('/');
    std::string_view piece = name.substr(0, slash);
    if (!piece.empty() && piece != ".") ++count;
    if (slash == std::string_view::npos) break;
    name.remove_prefix(slash + 1);
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view name = fuzz::as_text(data, size);
  bool expected = component_count(name) == 1 && name != "" && name != "." && name != "..";
  CHECK(dsf::is_key_file_name(name) == expected, name);
  return 0;
}
