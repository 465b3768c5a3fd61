#include "common/paths.hpp"

namespace dsf {
namespace {

// Calls `visit(component)` for each component in order.
template <class Visit>
void for_each_component(std::string_view path, Visit visit) {
  std::size_t pos = 0;
  if (path.starts_with('/')) {
    visit(PathComponent{PathComponent::Kind::Root, path.substr(0, 1)});
    pos = 1;
  } else if (path == "." || path.starts_with("./")) {
    visit(PathComponent{PathComponent::Kind::CurrentFolder, path.substr(0, 1)});
    pos = 1;
  }
  while (pos < path.size()) {
    std::size_t end = path.find('/', pos);
    if (end == std::string_view::npos) end = path.size();
    std::string_view piece = path.substr(pos, end - pos);
    if (piece == "..") {
      visit(PathComponent{PathComponent::Kind::ParentFolder, piece});
    } else if (!piece.empty() && piece != ".") {
      visit(PathComponent{PathComponent::Kind::Name, piece});
    }
    pos = end + 1;
  }
}

}  // namespace

std::vector<PathComponent> path_components(std::string_view path) {
  std::vector<PathComponent> components;
  for_each_component(path, [&](const PathComponent& c) { components.push_back(c); });
  return components;
}

std::optional<std::string_view> path_extension(std::string_view path) {
  std::string_view name = path_file_name(path);
  std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  return name.substr(dot + 1);
}

std::optional<std::string_view> path_parent(std::string_view path) {
  // Remember the last two components; the parent ends where the one before the last ends.
  std::optional<PathComponent> before_last, last;
  for_each_component(path, [&](const PathComponent& c) {
    before_last = last;
    last = c;
  });
  if (!last || last->kind == PathComponent::Kind::Root) return std::nullopt;
  if (!before_last) return path.substr(0, 0);
  std::size_t end = static_cast<std::size_t>(before_last->text.data() - path.data()) + before_last->text.size();
  return path.substr(0, end);
}

std::string_view path_file_name(std::string_view path) {
  std::optional<PathComponent> last;
  for_each_component(path, [&](const PathComponent& c) { last = c; });
  if (!last || last->kind != PathComponent::Kind::Name) return {};
  return last->text;
}

std::string join_path(std::string_view folder, std::string_view name) {
  if (name.starts_with('/') || folder.empty()) return std::string(name);
  std::string joined(folder);
  if (!folder.ends_with('/')) joined += '/';
  joined += name;
  return joined;
}

}  // namespace dsf
