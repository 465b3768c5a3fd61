// Module-kind detection from project files. A project file with the input as its text is put
// into a folder of its own and the kind of a merged file beside it is asked for.
//
// An input that begins with byte 1 describes a nesting instead: a project file that decides
// EsModule, with a value nested as deep as the input says (up to two million levels) beside
// the setting. Up to 127 levels, the top-level object counted, it decides; deeper, it is
// passed over without the reader going deeper than its budget.
// Any other input is the text of a package.json and then of a tsconfig.json, and the answer
// must agree with a plain parse of the whole text by the JSON library.
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "split/module_kind.hpp"

namespace {

using Json = nlohmann::json;

constexpr std::size_t nesting_budget = 127;

struct Folders {
  std::string base;
  std::string with_file;  // where the project file is written
  std::string empty;      // a sibling folder without project files
  dsf::ModuleKind above;  // what the folders above both decide

  Folders() {
    const char* tmp = std::getenv("TMPDIR");
    base = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/module-kind-fuzz-XXXXXX";
    if (::mkdtemp(base.data()) == nullptr) std::abort();
    with_file = base + "/project";
    empty = base + "/empty";
    if (::mkdir(with_file.c_str(), 0700) != 0 || ::mkdir(empty.c_str(), 0700) != 0) std::abort();
    above = *dsf::detect_module_kind(empty + "/x.py.js");
  }

  // Each project file is removed right after use, so only the folders are left.
  ~Folders() {
    ::rmdir(with_file.c_str());
    ::rmdir(empty.c_str());
    ::rmdir(base.c_str());
  }
};

const Folders& folders() {
  static const Folders instance;
  return instance;
}

// The kind a merged file in the project folder gets when that folder holds `name` with `text`.
dsf::ModuleKind detect_with(std::string_view name, std::string_view text) {
  std::string path = folders().with_file + "/" + std::string(name);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) std::abort();
  }
  dsf::ModuleKind kind = *dsf::detect_module_kind(folders().with_file + "/x.py.js");
  ::unlink(path.c_str());
  return kind;
}

// The deepest nesting of arrays and objects in a value, the value itself counted; no recursion.
std::size_t depth_of(const Json& value) {
  std::size_t deepest = 0;
  std::vector<std::pair<const Json*, std::size_t>> pending = {{&value, 1}};
  while (!pending.empty()) {
    auto [node, depth] = pending.back();
    pending.pop_back();
    if (!node->is_structured()) continue;
    deepest = std::max(deepest, depth);
    for (const Json& child : *node) pending.push_back({&child, depth + 1});
  }
  return deepest;
}

std::string ascii_lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// What a project file with this text decides, by a plain parse; none when it does not decide.
std::optional<dsf::ModuleKind> expected_kind(std::string_view text, std::initializer_list<const char*> setting) {
  constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
  if (text.starts_with(byte_order_mark)) text.remove_prefix(byte_order_mark.size());  // as Node.js reads it
  if (!fuzz::valid_utf8(text) || text.starts_with(byte_order_mark) || text.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  Json document = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded() || depth_of(document) > nesting_budget) return std::nullopt;
  const Json* node = &document;
  for (const char* name : setting) {
    if (!node->is_object()) return std::nullopt;
    auto member = node->find(name);
    if (member == node->end()) return std::nullopt;
    node = &*member;
  }
  if (!node->is_string()) return std::nullopt;
  static constexpr std::string_view es_values[] = {"es6",    "module",   "es2015",   "es2020",  "es2022",
                                                   "esnext", "node16",   "nodenext", "preserve"};
  std::string value = ascii_lower(node->get<std::string>());
  for (std::string_view es : es_values) {
    if (value == es) return dsf::ModuleKind::EsModule;
  }
  return dsf::ModuleKind::CommonJs;
}

void check_text(std::string_view text) {
  for (auto [name, setting] : {std::pair{"package.json", std::initializer_list<const char*>{"type"}},
                               std::pair{"tsconfig.json", std::initializer_list<const char*>{"compilerOptions", "module"}}}) {
    dsf::ModuleKind expected = expected_kind(text, setting).value_or(folders().above);
    CHECK(detect_with(name, text) == expected, text);
  }
}

// Byte 1 is followed by the depth (two bytes, or 0xFFFF for two million levels), a byte of
// choices, and one byte per level: odd for an object, even for an array.
void check_nesting(std::string_view input) {
  auto byte = [&](std::size_t i) { return i < input.size() ? static_cast<unsigned char>(input[i]) : 0u; };
  std::size_t code = byte(1) | byte(2) << 8;
  std::size_t depth = code == 0xFFFF ? 2'000'000 : 1 + code % 300;
  bool tsconfig = (byte(3) & 1) != 0, setting_last = (byte(3) & 2) != 0;

  std::string value;
  std::string closing;
  for (std::size_t level = 1; level < depth; ++level) {
    bool object = (byte(4 + level % 64) & 1) != 0;
    value += object ? "{\"k\":" : "[";
    closing += object ? '}' : ']';
  }
  value += "0";
  value.append(closing.rbegin(), closing.rend());

  std::string setting = tsconfig ? R"("compilerOptions":{"module":"NodeNext"})" : R"("type":"module")";
  std::string text = "{" + (setting_last ? "\"x\":" + value + "," + setting : setting + ",\"x\":" + value) + "}";
  // The tsconfig setting sits one level down: deeper than the budget it is no help either way.
  dsf::ModuleKind expected = depth <= nesting_budget ? dsf::ModuleKind::EsModule : folders().above;
  CHECK(detect_with(tsconfig ? "tsconfig.json" : "package.json", text) == expected, input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::as_text(data, size);
  if (input.starts_with('\x01')) {
    check_nesting(input);
  } else {
    check_text(input);
  }
  return 0;
}
