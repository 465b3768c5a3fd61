#include "split/payload_reader.hpp"

#include "common/merged_layout.hpp"

namespace dsf {
namespace {

enum class Payload { Python, JavaScript };

std::string decode_payload(std::string_view raw, Payload payload) {
  std::string out;
  out.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size();) {
    std::size_t backslash = raw.find('\\', i);
    if (backslash == std::string_view::npos || backslash + 1 == raw.size()) {
      out.append(raw.substr(i));
      break;
    }
    out.append(raw.substr(i, backslash - i));
    char escaped = raw[backslash + 1];
    i = backslash + 2;
    switch (escaped) {
      case '\\': out += '\\'; continue;
      case '"': out += '"'; continue;
      case 'n': out += '\n'; continue;
      case 't': out += '\t'; continue;
      default: break;
    }
    if (payload == Payload::Python) {
      if (escaped == '\'') {
        out += '\'';
        continue;
      }
      std::string_view tail = raw.substr(backslash + 1);
      if (tail.starts_with("u2028") || tail.starts_with("u2029")) {
        out += tail[4] == '8' ? "\u2028" : "\u2029";
        i = backslash + 6;
        continue;
      }
    }
    // Not an escape the writer makes: copied as it stands.
    out += '\\';
    i = backslash + 1;
  }
  return out;
}

}  // namespace

void scan_payload_line(RawPayloads& payloads, std::string_view line) {
  namespace layout = merged_layout;
  if (line.starts_with(layout::python_line_prefix)) {
    // The search starts after the prefix: a source that begins with ", globals()) or 1)()"
    // would otherwise meet a marker made of the prefix's own quotes, and its file be refused.
    std::size_t begin = layout::python_line_prefix.size();
    std::size_t end = line.find(layout::python_end_marker, begin);
    if (end != std::string_view::npos) payloads.python_raw.assign(line.substr(begin, end - begin));
  } else if (line.starts_with(layout::js_line_prefix)) {
    std::size_t end = line.rfind(layout::js_end_marker);
    if (end != std::string_view::npos && end >= layout::js_line_prefix.size()) {
      std::size_t begin = layout::js_line_prefix.size();
      payloads.js_raw.assign(line.substr(begin, end - begin));
    }
  }
}

bool payloads_complete(const RawPayloads& payloads) {
  return !payloads.python_raw.empty() && !payloads.js_raw.empty();
}

std::string decode_python_payload(std::string_view python_raw) {
  return strip_enclosing_quotes(decode_payload(python_raw, Payload::Python));
}

std::string decode_js_payload(std::string_view js_raw) { return decode_payload(js_raw, Payload::JavaScript); }

std::string strip_enclosing_quotes(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return std::string(text.substr(1, text.size() - 2));
  return std::string(text);
}

}  // namespace dsf
