// Rewrites ES-module `import` and `export` statements into CommonJS `require` and `exports`
// form, one line at a time, before the JavaScript source is embedded in a merged file.
#pragma once

#include <string>
#include <string_view>

namespace dsf {

// Rewrites every line that one of the import and export rules matches and copies every other
// line unchanged. Export assignments are held back and follow the last line, so that they run
// after the declarations they name; a default export whose line does not end its statement
// stays in place. An export line that leaves nothing in its place leaves a `;` where the next
// code would otherwise go on the statement before it. Lines are joined with LF, none after the
// last.
std::string esm_text_to_cjs(std::string_view text);

// The text between the braces of an import list as the entries of a destructuring pattern:
// "a as b, c" gives "a: b, c". Every comma starts an entry, an empty one included.
std::string esm_names_to_cjs(std::string_view list);

// One import-list entry, trimmed, with its first " as " written as ": ".
std::string esm_name_to_cjs(std::string_view entry);

}  // namespace dsf
