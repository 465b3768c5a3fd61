// The merge engine behind the Python function `merge`: a Python source and a JavaScript or
// TypeScript source become one merged file that both interpreters run.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/error.hpp"

namespace dsf {

// Checks both inputs, pairs them by extension (either order), reads them, writes the merged
// file to `output` or to "out/result.py.<JavaScript extension>", and reports the path.
Status merge_files(std::string_view python_file, std::string_view node_file, std::optional<std::string_view> output);

// The path's extension with A to Z lower-cased; empty when it has none.
std::string lowercase_extension(std::string_view path);

// One of js, mjs, cjs, ts, mts, cts and tsx, in any ASCII case.
bool is_js_extension(std::string_view extension);

}  // namespace dsf
