#include "merge/payload_writer.hpp"

#include <algorithm>
#include <vector>

#include "common/merged_layout.hpp"
#include "common/text.hpp"

namespace dsf {
namespace {

std::size_t leading_spaces(std::string_view line) {
  std::size_t n = line.find_first_not_of(' ');
  return n == std::string_view::npos ? line.size() : n;
}

}  // namespace

std::string normalize_line_breaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::size_t cr = text.find('\r', i);
    if (cr == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, cr - i));
    out += '\n';
    i = cr + 1;
    if (i < text.size() && text[i] == '\n') ++i;
  }
  return out;
}

std::string reindent_python(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t unit = 0;
  LineCursor cursor(text);
  for (std::string_view line; cursor.next(line);) {
    lines.push_back(line);
    if (std::size_t n = leading_spaces(line); n > 0 && (unit == 0 || n < unit)) unit = n;
  }
  if (unit == 0) unit = 4;

  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out += '\n';
    std::string_view line = lines[i];
    std::size_t n = leading_spaces(line);
    if (white_space_at(line, n) != 0) {
      // Spaces followed by other white space (a TAB-indented line, say): kept as it stands.
      out.append(line);
      continue;
    }
    out.append(n / unit, '\t');
    out.append(line.substr(n));
  }
  return out;
}

std::string escape_python_text(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\'': out += "\\'"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\xE2':
        // JavaScript ends its line comment at U+2028 and U+2029, so they travel as escapes.
        if (i + 2 < text.size() && text[i + 1] == '\x80' && (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
          out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
          i += 2;
          break;
        }
        out += c;
        break;
      default: out += c;
    }
  }
  return out;
}

std::string terminate_js_lines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 1);
  LineCursor cursor(text);
  for (std::string_view line; cursor.next(line);) {
    out.append(line);
    out += '\n';
  }
  return out;
}

std::string escape_js_text(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out;
}

std::string prepare_python_payload(std::string_view python_source) {
  return escape_python_text(reindent_python(normalize_line_breaks(python_source)));
}

std::string prepare_js_payload(std::string_view commonjs_text) {
  return escape_js_text(terminate_js_lines(normalize_line_breaks(commonjs_text)));
}

std::string fill_merged_template(std::string_view python_payload, std::string_view js_payload) {
  namespace layout = merged_layout;
  std::string merged;
  merged.reserve(layout::python_opening.size() + python_payload.size() + layout::python_closing.size() + 1 +
                 layout::js_opening.size() + js_payload.size() + layout::js_closing.size());
  merged.append(layout::python_opening).append(python_payload).append(layout::python_closing);
  merged += '\n';
  merged.append(layout::js_opening).append(js_payload).append(layout::js_closing);
  return merged;
}

}  // namespace dsf
