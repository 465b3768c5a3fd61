// Text helpers shared by the engines: UTF-8 checks, line splitting, white space (Unicode's and
// JavaScript's), byte-order marks, ASCII lower-casing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dsf {

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool is_valid_utf8(std::string_view bytes);

// True when every byte is below 0x80.
bool is_ascii(std::string_view bytes);

// The bytes with every ill-formed sequence replaced by U+FFFD.
std::string replace_invalid_utf8(std::string_view bytes);

// Cuts a text into lines: each line ends before an LF, and a CR right before that LF is not
// part of it; a final LF gives no empty last line, an empty text no line at all.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) : rest_(text) {}
  bool next(std::string_view& line);

 private:
  std::string_view rest_;
};

// Byte length of the White_Space character that starts at `pos`, or 0 when none does.
std::size_t white_space_at(std::string_view text, std::size_t pos);

// JavaScript's white space: the White_Space set and U+FEFF, which JavaScript takes as white
// space anywhere in a source. The same lengths as above, for it.
std::size_t js_white_space_at(std::string_view text, std::size_t pos);
std::size_t js_white_space_before(std::string_view text, std::size_t end);

// JavaScript's white space removed at the start, the end or both.
std::string_view trim_js_start(std::string_view text);
std::string_view trim_js_end(std::string_view text);
std::string_view trim_js(std::string_view text);

// Drops one U+FEFF at the start of a file's text, as Python and Node.js skip it there.
void drop_byte_order_mark(std::string& text);

// Only A to Z become a to z.
std::string ascii_lower(std::string_view text);

}  // namespace dsf
