// Path texts taken apart by their text alone: nothing is resolved against the file system.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dsf {

struct PathComponent {
  enum class Kind { Root, CurrentFolder, ParentFolder, Name };
  Kind kind;
  std::string_view text;  // a view into the path; "/" for the root
};

// Cuts at every "/": a leading "/" is the root, a leading "." or "./" the current folder, other
// empty and "." pieces are skipped, ".." is a parent folder, anything else a name.
std::vector<PathComponent> path_components(std::string_view path);

// The text after the last "." of the last component when that is a name; none when the name
// holds no "." or only a leading one. Empty when the name ends in ".".
std::optional<std::string_view> path_extension(std::string_view path);

// The path without its last component and the separators before it; none for the empty path
// and the root; the empty path for a single component that is not the root.
std::optional<std::string_view> path_parent(std::string_view path);

// The last component when it is a name, else the empty text.
std::string_view path_file_name(std::string_view path);

// A name beginning with "/" replaces the folder; an empty folder gives the name alone.
std::string join_path(std::string_view folder, std::string_view name);

}  // namespace dsf
