// The writer side of the merged-file format: each source turned into its payload, and the two
// payloads put into the two-line template.
#pragma once

#include <string>
#include <string_view>

namespace dsf {

// CR LF and lone CRs become LF.
std::string normalize_line_breaks(std::string_view text);

// Leading spaces become TABs, one for each indent unit (the smallest run of leading spaces over
// all lines), but only where that is exact: when the text holds no triple quote, no backslash
// before a line break and no f- or t-string over several lines, every line's leading white space
// is spaces only, and every line's count of them is a multiple of the unit. Otherwise every line stays as it is. Either way the lines
// are joined with LF, none after the last.
std::string reindent_python(std::string_view text);

// Backslash, both quotes, LF, TAB, U+2028 and U+2029 written as escapes of a Python literal.
std::string escape_python_text(std::string_view text);

// Every line followed by one LF.
std::string terminate_js_lines(std::string_view text);

// Backslash, double quote, LF and TAB written as escapes of a JavaScript literal.
std::string escape_js_text(std::string_view text);

std::string prepare_python_payload(std::string_view python_source);
std::string prepare_js_payload(std::string_view commonjs_text);
std::string fill_merged_template(std::string_view python_payload, std::string_view js_payload);

// The merge's own path to the same bytes as
// fill_merged_template(prepare_python_payload(python_source), prepare_js_payload(commonjs_text)):
// both payloads are escaped straight into the merged text, which is sized once, and a source
// without CR is worked on in place rather than copied.
std::string build_merged_text(std::string python_source, std::string commonjs_text);

}  // namespace dsf
