// The byte layout of a merged file, shared by its writer and its reader.
//
// Line 1 is Python: 1 floor-divided by a lambda that exec()s the Python payload, a
// triple-quoted string. JavaScript reads the number 1 and a line comment.
// Line 2 is JavaScript: a statement labelled `lambda` that eval()s the JavaScript payload.
// Python reads a lambda that is never called.
#pragma once

#include <string_view>

namespace dsf::merged_layout {

inline constexpr std::string_view python_opening = R"(1 // (lambda: exec(""")";
inline constexpr std::string_view python_closing = R"(""", globals()) or 1)())";
inline constexpr std::string_view js_opening = R"(lambda: eval(")";
inline constexpr std::string_view js_closing = R"("))";

// The reader's Python markers hold two of the three quotes each, so the raw payload it cuts
// out keeps one quote at each end.
inline constexpr std::string_view python_line_prefix = python_opening.substr(0, python_opening.size() - 1);
inline constexpr std::string_view python_end_marker = python_closing.substr(1);
inline constexpr std::string_view js_line_prefix = js_opening;
inline constexpr std::string_view js_end_marker = js_closing;

static_assert(python_line_prefix.size() == 21 && python_end_marker.size() == 22);
static_assert(js_line_prefix.size() == 14 && js_end_marker.size() == 2);

}  // namespace dsf::merged_layout
