// Python f- and t-strings that run over several lines. Since Python 3.12 a replacement field
// may span lines, and its source text, the indentation of the lines after the first included,
// is part of what the program gives: the text of an `=` field, a t-string's expression. Such
// lines must keep their indentation byte for byte.
#pragma once

#include <string_view>

namespace dsf {

// True when an f- or t-string of the Python text, read as Python's tokenizer reads it (nested
// strings and fields, any quotes), holds a line break anywhere between its opening and its
// closing quote. A text that is no valid Python may give true where the tokenizer would stop;
// it never gives false for a format string that does hold a line break.
bool format_string_spans_lines(std::string_view text);

}  // namespace dsf
