#include "merge/format_strings.hpp"

#include <algorithm>
#include <vector>

namespace dsf {
namespace {

bool is_name_byte(char c) {
  auto byte = static_cast<unsigned char>(c);
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
         byte == '_' || byte >= 0x80;
}

bool is_quote(char c) { return c == '"' || c == '\''; }

struct StringPrefix {
  bool valid = false;
  bool format = false;  // an f- or t-string
  bool raw = false;
};

// What a name right before a quote makes of the string: Python's prefixes are r, u, b, br, f,
// fr, t and tr, in any order and case. Any other name is a name, and the string has none.
StringPrefix string_prefix(std::string_view name) {
  StringPrefix prefix;
  if (name.size() > 2) return prefix;
  bool bytes = false, unicode = false;
  for (char c : name) {
    switch (c | 0x20) {  // ASCII letters in lower case
      case 'r':
        if (prefix.raw) return {};
        prefix.raw = true;
        break;
      case 'f':
      case 't':
        if (prefix.format) return {};
        prefix.format = true;
        break;
      case 'b':
        if (bytes) return {};
        bytes = true;
        break;
      case 'u':
        unicode = true;
        break;
      default:
        return {};
    }
  }
  if ((unicode && name.size() > 1) || (bytes && prefix.format)) return {};
  prefix.valid = true;
  return prefix;
}

// One open part of a format string: its literal text, a replacement field, or a field's format
// specification (which may hold fields of its own). Each knows the quotes that close its string.
struct Part {
  enum class Kind { Text, Field, Spec };
  Kind kind;
  std::string_view closing;  // one quote or three
  bool raw;
  std::size_t brackets = 0;  // brackets open in a field
  // A field nested in this field's format has closed. From then on Python's tokenizer reads
  // `{{` in the rest of the format as a literal `{`, as in literal text.
  bool field_closed = false;
};

// Reads the text token by token, as far as strings, comments and the brackets of fields go,
// and stops at the first line break inside a format string.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool spans_lines() {
    while (at_ < text_.size()) {
      bool found = false;
      if (open_.empty()) {
        found = code_token();
      } else if (text_[at_] == '\n') {
        found = true;
      } else {
        found = open_.back().kind == Part::Kind::Field ? field_token() : literal_token();
      }
      if (found) return true;
    }
    return false;
  }

 private:
  bool at(std::size_t pos, std::string_view piece) const {
    return pos <= text_.size() && text_.substr(pos).starts_with(piece);
  }
  char byte_at(std::size_t pos) const { return pos < text_.size() ? text_[pos] : '\0'; }
  void advance(std::size_t bytes) { at_ = std::min(at_ + bytes, text_.size()); }

  // One token of code: outside any string, or in a replacement field.
  bool code_token() {
    char c = text_[at_];
    if (c == '#') {
      // A comment runs to its line break, which in a field is a line break in the string.
      at_ = std::min(text_.find('\n', at_), text_.size());
      return false;
    }
    if (is_quote(c)) return string(StringPrefix{.valid = true});
    if (!is_name_byte(c)) {
      advance(1);
      return false;
    }
    std::size_t start = at_;
    while (at_ < text_.size() && is_name_byte(text_[at_])) ++at_;
    if (!is_quote(byte_at(at_))) return false;
    StringPrefix prefix = string_prefix(text_.substr(start, at_ - start));
    return prefix.valid && string(prefix);
  }

  bool field_token() {
    Part& field = open_.back();
    switch (text_[at_]) {
      case '(':
      case '[':
      case '{':
        ++field.brackets;
        advance(1);
        return false;
      case ')':
      case ']':
        if (field.brackets > 0) --field.brackets;
        advance(1);
        return false;
      case '}':
        if (field.brackets > 0) {
          --field.brackets;
        } else {
          close_field();
        }
        advance(1);
        return false;
      case ':':
        if (field.brackets > 0) break;
        field.kind = Part::Kind::Spec;
        advance(1);
        return false;
      default:
        break;
    }
    return code_token();
  }

  // One token of a format string's literal text or of a format specification.
  bool literal_token() {
    const Part part = open_.back();
    char c = text_[at_];
    char next = byte_at(at_ + 1);
    if (c == '\\') {
      if (next == '\n') return true;
      if (!part.raw && next == 'N' && byte_at(at_ + 2) == '{') {
        // A named character: its braces open no field.
        std::size_t end = text_.find_first_of("}\n", at_ + 3);
        if (end != std::string_view::npos && text_[end] == '\n') return true;
        at_ = std::min(end, text_.size());
        advance(1);
        return false;
      }
      // A brace after a backslash still opens or closes a field.
      advance(next == '{' || next == '}' ? 1 : 2);
      return false;
    }
    if (at(at_, part.closing)) {
      advance(part.closing.size());
      // A specification that invalid code left open ends with its string.
      while (open_.back().kind != Part::Kind::Text) open_.pop_back();
      open_.pop_back();
      return false;
    }
    if (c == '{') {
      if ((part.kind == Part::Kind::Text || part.field_closed) && next == '{') {
        advance(2);
      } else {
        advance(1);
        open_.push_back(Part{Part::Kind::Field, part.closing, part.raw});
      }
      return false;
    }
    if (c == '}' && part.kind == Part::Kind::Spec) {
      close_field();
      advance(1);
      return false;
    }
    advance(c == '}' && next == '}' ? 2 : 1);
    return false;
  }

  // Ends the innermost field; a field whose format held it takes note.
  void close_field() {
    open_.pop_back();
    if (!open_.empty() && open_.back().kind == Part::Kind::Spec) open_.back().field_closed = true;
  }

  // A string whose opening quote stands at the current position. A format string is opened
  // and read token by token; any other string is read to its end here, and a line break in it
  // counts only when it stands inside a format string.
  bool string(StringPrefix prefix) {
    std::string_view quotes = text_[at_] == '"' ? R"(""")" : "'''";
    bool triple = at(at_, quotes);
    std::string_view closing = quotes.substr(0, triple ? 3 : 1);
    advance(closing.size());
    if (prefix.format) {
      open_.push_back(Part{Part::Kind::Text, closing, prefix.raw});
      return false;
    }
    while (at_ < text_.size()) {
      char c = text_[at_];
      if (c == '\\') {
        if (byte_at(at_ + 1) == '\n' && !open_.empty()) return true;
        advance(2);
      } else if (c == '\n') {
        if (!open_.empty()) return true;
        if (!triple) return false;  // a one-line string that is never closed ends with its line
        advance(1);
      } else if (at(at_, closing)) {
        advance(closing.size());
        return false;
      } else {
        advance(1);
      }
    }
    return false;
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::vector<Part> open_;  // the format strings and fields open at the current position
};

}  // namespace

bool format_string_spans_lines(std::string_view text) { return Scanner(text).spans_lines(); }

}  // namespace dsf
