#include "split/payload_reader.hpp"

#include <algorithm>
#include <cstring>

#include "common/merged_layout.hpp"

namespace dsf {
namespace {

enum class Payload { Python, JavaScript };

struct Escape {
  std::string_view decoded;
  std::size_t length;  // bytes of the raw text it takes, the backslash included
};

// The escape that the backslash at `pos` starts.
Escape escape_at(std::string_view raw, std::size_t pos, Payload payload) {
  std::string_view tail = raw.substr(pos + 1);
  if (tail.empty()) return {"\\", 1};
  switch (tail[0]) {
    case '\\': return {"\\", 2};
    case '"': return {"\"", 2};
    case 'n': return {"\n", 2};
    case 't': return {"\t", 2};
    default: break;
  }
  if (payload == Payload::Python) {
    if (tail[0] == '\'') return {"'", 2};
    if (tail.starts_with("u2028")) return {"\u2028", 6};
    if (tail.starts_with("u2029")) return {"\u2029", 6};
  }
  // Not an escape the writer makes: the backslash is copied as it stands.
  return {"\\", 1};
}

// One pass with a read and a write position: no escape is shorter than what it decodes to, so
// the decoded text never overtakes the raw text still to be read.
void decode_in_place(std::string& text, Payload payload) {
  char* const bytes = text.data();
  const std::size_t size = text.size();
  // Up to the first backslash nothing moves.
  std::size_t read = std::min(text.find('\\'), size);
  std::size_t write = read;
  while (read < size) {
    if (bytes[read] != '\\') {
      bytes[write++] = bytes[read++];
      continue;
    }
    Escape escape = escape_at(text, read, payload);
    std::memcpy(bytes + write, escape.decoded.data(), escape.decoded.size());
    write += escape.decoded.size();
    read += escape.length;
  }
  text.resize(write);
}

void strip_enclosing_quotes_in_place(std::string& text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text.pop_back();
    text.erase(0, 1);
  }
}

// The bytes [begin, end) of the line, kept in the line's own storage.
std::string cut(std::string line, std::size_t begin, std::size_t end) {
  line.resize(end);
  line.erase(0, begin);
  return line;
}

}  // namespace

void scan_payload_line(RawPayloads& payloads, std::string line) {
  namespace layout = merged_layout;
  if (line.starts_with(layout::python_line_prefix)) {
    // The search starts after the prefix: a source that begins with ", globals()) or 1)()"
    // would otherwise meet a marker made of the prefix's own quotes, and its file be refused.
    std::size_t begin = layout::python_line_prefix.size();
    std::size_t end = line.find(layout::python_end_marker, begin);
    if (end != std::string::npos) {
      payloads.python_raw = cut(std::move(line), begin, end);
      payloads.python_found = true;
    }
  } else if (line.starts_with(layout::js_line_prefix)) {
    std::size_t end = line.rfind(layout::js_end_marker);
    if (end != std::string::npos && end >= layout::js_line_prefix.size()) {
      payloads.js_raw = cut(std::move(line), layout::js_line_prefix.size(), end);
      payloads.js_found = true;
    }
  }
}

bool payloads_complete(const RawPayloads& payloads) {
  return payloads.python_found && payloads.js_found;
}

std::string decode_python_payload(std::string python_raw) {
  decode_in_place(python_raw, Payload::Python);
  strip_enclosing_quotes_in_place(python_raw);
  return python_raw;
}

std::string decode_js_payload(std::string js_raw) {
  decode_in_place(js_raw, Payload::JavaScript);
  return js_raw;
}

std::string strip_enclosing_quotes(std::string_view text) {
  std::string stripped(text);
  strip_enclosing_quotes_in_place(stripped);
  return stripped;
}

}  // namespace dsf
