#include "merge/merge_engine.hpp"

#include <array>
#include <format>
#include <utility>

#include "common/console.hpp"
#include "common/files.hpp"
#include "common/paths.hpp"
#include "common/text.hpp"
#include "merge/payload_writer.hpp"
#include "transform/parser/esm_to_cjs.hpp"

namespace dsf {
namespace {

// jsx is not among them: merge takes no .jsx source.
constexpr std::array<std::string_view, 7> js_extensions = {"js", "mjs", "cjs", "ts", "mts", "cts", "tsx"};

}  // namespace

std::string lowercase_extension(std::string_view path) {
  std::optional<std::string_view> extension = path_extension(path);
  return extension ? ascii_lower(*extension) : std::string();
}

bool is_js_extension(std::string_view extension) {
  std::string lower = ascii_lower(extension);
  for (std::string_view known : js_extensions) {
    if (lower == known) return true;
  }
  return false;
}

Status merge_files(std::string_view python_file, std::string_view node_file, std::optional<std::string_view> output) {
  for (std::string_view input : {python_file, node_file}) {
    if (Status found = require_existing(input); !found) return found;
  }

  // The extensions decide which input is which, not the parameter names.
  std::string first_extension = lowercase_extension(python_file);
  std::string second_extension = lowercase_extension(node_file);
  bool python_first = first_extension == "py" && is_js_extension(second_extension);
  if (!python_first && !(is_js_extension(first_extension) && second_extension == "py")) {
    return std::unexpected(make_message_error(
        std::format("Unsupported input combination (.{} + .{}).", first_extension, second_extension)));
  }

  Result<std::string> first_text = read_text_file(python_file);
  if (!first_text) return std::unexpected(std::move(first_text.error()));
  Result<std::string> second_text = read_text_file(node_file);
  if (!second_text) return std::unexpected(std::move(second_text.error()));

  std::string& python_source = python_first ? *first_text : *second_text;
  std::string& js_source = python_first ? *second_text : *first_text;
  const std::string& js_extension = python_first ? second_extension : first_extension;
  // Inside a merged file's payload a byte-order mark would be a character of the program.
  drop_byte_order_mark(python_source);
  drop_byte_order_mark(js_source);
  // A lone CR ends a line for both interpreters, so it has to end one for the rewriting too.
  if (js_source.contains('\r')) js_source = normalize_line_breaks(js_source);

  // The JavaScript source is released as soon as its CommonJS form exists, before the merged
  // text is built.
  std::string commonjs = esm_text_to_cjs(std::exchange(js_source, {}));
  std::string merged = build_merged_text(std::move(python_source), std::move(commonjs));

  std::string output_path = output ? std::string(*output) : "out/result.py." + js_extension;
  if (std::optional<std::string_view> folder = path_parent(output_path); folder && !folder->empty()) {
    if (Status made = create_folders(*folder); !made) return made;
  }
  if (Status written = write_file(output_path, merged); !written) return written;

  return report_lines({"Merged:", "  " + output_path});
}

}  // namespace dsf
