#include "merge/payload_writer.hpp"

#include <algorithm>
#include <array>
#include <numeric>

#include "common/merged_layout.hpp"
#include "common/text.hpp"
#include "merge/format_strings.hpp"

namespace dsf {
namespace {

std::size_t leading_spaces(std::string_view line) {
  std::size_t n = line.find_first_not_of(' ');
  return n == std::string_view::npos ? line.size() : n;
}

// The indent unit when turning leading spaces into TABs keeps what the program means, else 0,
// and every line then stays as it is. That takes a text in which no line can begin inside a
// string (no triple quote, no backslash before a line break, no f- or t-string over several
// lines), whose leading white space is spaces only, and whose counts of leading spaces, blank
// lines included, are all multiples of the unit: a remainder dropped would move a line into
// another block.
std::size_t exact_indent_unit(std::string_view text) {
  if (text.contains("\"\"\"") || text.contains("'''") || text.contains("\\\n")) return 0;
  // The unit is the smallest count; every count is a multiple of it when it is also their
  // greatest common divisor.
  std::size_t smallest = 0, divisor = 0;
  LineCursor cursor(text);
  for (std::string_view line; cursor.next(line);) {
    std::size_t n = leading_spaces(line);
    if (white_space_at(line, n) != 0) return 0;
    if (n == 0) continue;
    if (smallest == 0 || n < smallest) smallest = n;
    divisor = std::gcd(divisor, n);
  }
  if (divisor != smallest || smallest == 0) return 0;  // 0 too when no line begins with a space
  // The one test that reads the text token by token comes last, for the few texts left.
  return format_string_spans_lines(text) ? 0 : smallest;
}

// The bytes that a payload writes as a backslash and a second character: the byte itself, or
// n for LF and t for TAB. JavaScript ends its line comment at U+2028 and U+2029, so the Python
// payload writes them as \u2028 and \u2029 too.
template <bool LineSeparators, char... Bytes>
struct Escapes {
  static constexpr bool line_separators = LineSeparators;

  static constexpr std::array<char, 256> second = [] {
    std::array<char, 256> table{};  // 0: the byte is copied
    ((table[static_cast<unsigned char>(Bytes)] = Bytes == '\n' ? 'n' : Bytes == '\t' ? 't' : Bytes), ...);
    return table;
  }();

  // Comparisons rather than the table, so that the compiler can count many bytes at once.
  static std::size_t count(std::string_view text) {
    std::size_t n = 0;
    for (char c : text) n += ((c == Bytes) || ...);
    return n;
  }
};

using JsEscapes = Escapes<false, '\\', '"', '\n', '\t'>;
using PythonEscapes = Escapes<true, '\\', '"', '\'', '\n', '\t'>;

// The escape of the line separator that starts at `at`, or an empty text.
std::string_view line_separator_escape(std::string_view text, std::size_t at) {
  if (text.substr(at, 3) == "\u2028") return "\\u2028";
  if (text.substr(at, 3) == "\u2029") return "\\u2029";
  return {};
}

template <class Escapes>
std::size_t escaped_size(std::string_view text) {
  std::size_t size = text.size() + Escapes::count(text);
  if constexpr (Escapes::line_separators) {
    for (std::size_t at = text.find('\xE2'); at != std::string_view::npos; at = text.find('\xE2', at + 1)) {
      if (!line_separator_escape(text, at).empty()) size += 3;  // three bytes become six
    }
  }
  return size;
}

// Writes `text` escaped from `out` on, into room of escaped_size, and returns the end.
template <class Escapes>
char* write_escaped(char* out, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (char second = Escapes::second[static_cast<unsigned char>(c)]) {
      *out++ = '\\';
      *out++ = second;
      continue;
    }
    if constexpr (Escapes::line_separators) {
      std::string_view escape = c == '\xE2' ? line_separator_escape(text, i) : std::string_view();
      if (!escape.empty()) {
        out = std::ranges::copy(escape, out).out;
        i += 2;
        continue;
      }
    }
    *out++ = c;
  }
  return out;
}

template <class Escapes>
std::string escaped(std::string_view text) {
  std::string out;
  out.resize_and_overwrite(escaped_size<Escapes>(text), [&](char* room, std::size_t) {
    return static_cast<std::size_t>(write_escaped<Escapes>(room, text) - room);
  });
  return out;
}

// normalize_line_breaks that hands the text back when it holds no CR.
std::string normalized(std::string text) {
  if (text.find('\r') == std::string::npos) return text;
  return normalize_line_breaks(text);
}

// The texts that the two payloads escape.
std::string python_payload_text(std::string python_source) {
  return reindent_python(normalized(std::move(python_source)));
}

std::string js_payload_text(std::string commonjs_text) {
  std::string text = normalized(std::move(commonjs_text));
  // terminate_js_lines once no CR is left: only a last line without its LF needs one.
  if (!text.empty() && text.back() != '\n') text += '\n';
  return text;
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
  std::size_t unit = exact_indent_unit(text);
  std::string out;
  out.reserve(text.size());
  bool first = true;
  LineCursor cursor(text);
  for (std::string_view line; cursor.next(line);) {
    if (!first) out += '\n';
    first = false;
    if (unit == 0) {
      out.append(line);
      continue;
    }
    std::size_t n = leading_spaces(line);
    out.append(n / unit, '\t');
    out.append(line.substr(n));
  }
  return out;
}

std::string escape_python_text(std::string_view text) { return escaped<PythonEscapes>(text); }

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

std::string escape_js_text(std::string_view text) { return escaped<JsEscapes>(text); }

std::string prepare_python_payload(std::string_view python_source) {
  return escape_python_text(python_payload_text(std::string(python_source)));
}

std::string prepare_js_payload(std::string_view commonjs_text) {
  return escape_js_text(js_payload_text(std::string(commonjs_text)));
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

std::string build_merged_text(std::string python_source, std::string commonjs_text) {
  namespace layout = merged_layout;
  std::string python = python_payload_text(std::move(python_source));
  std::string js = js_payload_text(std::move(commonjs_text));
  std::size_t size = layout::python_opening.size() + escaped_size<PythonEscapes>(python) +
                     layout::python_closing.size() + 1 + layout::js_opening.size() + escaped_size<JsEscapes>(js) +
                     layout::js_closing.size();
  std::string merged;
  merged.resize_and_overwrite(size, [&](char* out, std::size_t) {
    char* start = out;
    out = std::ranges::copy(layout::python_opening, out).out;
    out = write_escaped<PythonEscapes>(out, python);
    out = std::ranges::copy(layout::python_closing, out).out;
    *out++ = '\n';
    out = std::ranges::copy(layout::js_opening, out).out;
    out = write_escaped<JsEscapes>(out, js);
    out = std::ranges::copy(layout::js_closing, out).out;
    return static_cast<std::size_t>(out - start);
  });
  return merged;
}

}  // namespace dsf
