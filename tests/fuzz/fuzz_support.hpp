// What the fuzz targets share: a check that stops the run with a message, and small reference
// versions of the text rules, written apart from the engines so that the two can disagree.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

[[noreturn]] inline void fail(const char* file, int line, const char* what, std::string_view input) {
  std::fprintf(stderr, "%s:%d: check failed: %s\ninput (%zu bytes): ", file, line, what, input.size());
  for (char byte : input.substr(0, 400)) {
    auto c = static_cast<unsigned char>(byte);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      std::fputc(c, stderr);
    } else {
      std::fprintf(stderr, "\\x%02X", c);
    }
  }
  std::fputc('\n', stderr);
  std::abort();
}

// CHECK(condition, input): the input is shown when the condition is false.
#define CHECK(condition, input) \
  do {                          \
    if (!(condition)) ::fuzz::fail(__FILE__, __LINE__, #condition, (input)); \
  } while (0)

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Well-formed UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
inline bool valid_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    std::size_t length;
    std::uint32_t code;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, code = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, code = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, code = lead & 0x07u;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((byte(i + k) & 0xC0) != 0x80) return false;
      code = (code << 6) | (byte(i + k) & 0x3Fu);
    }
    static constexpr std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

// The lines of a text: cut after each LF; the LF and a CR right before it are dropped; no
// empty line after a final LF; none at all for the empty text.
inline std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (lf != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
  }
  return lines;
}

// A text cut at every LF, nothing dropped: "" gives one empty piece.
inline std::vector<std::string_view> pieces_of(std::string_view text) {
  std::vector<std::string_view> pieces;
  for (;;) {
    std::size_t lf = text.find('\n');
    pieces.push_back(text.substr(0, lf));
    if (lf == std::string_view::npos) return pieces;
    text.remove_prefix(lf + 1);
  }
}

// The text after its leading JavaScript white space: the Unicode White_Space characters and
// U+FEFF.
inline std::string_view after_indentation(std::string_view line) {
  static constexpr std::string_view multibyte[] = {
      "\u0085", "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005", "\u2006",
      "\u2007", "\u2008", "\u2009", "\u200A", "\u2028", "\u2029", "\u202F", "\u205F", "\u3000", "\uFEFF"};
  for (;;) {
    if (!line.empty() && (line[0] == ' ' || (line[0] >= '\t' && line[0] <= '\r'))) {
      line.remove_prefix(1);
      continue;
    }
    bool found = false;
    for (std::string_view space : multibyte) {
      if (line.starts_with(space)) {
        line.remove_prefix(space.size());
        found = true;
        break;
      }
    }
    if (!found) return line;
  }
}

// A path's components by the path rules, as (kind, text) with kind 'R' root, 'C' current
// folder, 'P' parent folder, 'N' name.
struct Component {
  char kind;
  std::string_view text;
  bool operator==(const Component&) const = default;
};

inline std::vector<Component> components_of(std::string_view path) {
  std::vector<Component> components;
  std::string_view rest = path;
  if (path.starts_with('/')) {
    components.push_back({'R', "/"});
    rest.remove_prefix(1);
  } else if (path == "." || path.starts_with("./")) {
    components.push_back({'C', "."});
    rest.remove_prefix(1);
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i <= rest.size(); ++i) {
    if (i < rest.size() && rest[i] != '/') continue;
    std::string_view piece = rest.substr(start, i - start);
    if (piece == "..") {
      components.push_back({'P', piece});
    } else if (!piece.empty() && piece != ".") {
      components.push_back({'N', piece});
    }
    start = i + 1;
  }
  return components;
}

}  // namespace fuzz
