// The path helpers on any text, against the path rules written out apart from them. The input
// is a path; up to its first NUL byte it is also a folder, and what follows a name to join.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/paths.hpp"
#include "fuzz_support.hpp"

namespace {

std::vector<fuzz::Component> engine_components(std::string_view path) {
  std::vector<fuzz::Component> components;
  for (const dsf::PathComponent& c : dsf::path_components(path)) {
    using Kind = dsf::PathComponent::Kind;
    char kind = c.kind == Kind::Root ? 'R' : c.kind == Kind::CurrentFolder ? 'C' : c.kind == Kind::ParentFolder ? 'P' : 'N';
    components.push_back({kind, c.text});
  }
  return components;
}

// Whether `part` is a view into `whole`.
bool lies_in(std::string_view part, std::string_view whole) {
  return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

void check_path(std::string_view path) {
  std::vector<fuzz::Component> components = fuzz::components_of(path);
  std::vector<fuzz::Component> engine = engine_components(path);
  CHECK(engine == components, path);
  for (const auto& c : dsf::path_components(path)) {
    if (c.kind != dsf::PathComponent::Kind::Root) CHECK(lies_in(c.text, path), path);
  }

  // The parent is a prefix of the path with every component but the last.
  std::optional<std::string_view> parent = dsf::path_parent(path);
  CHECK(parent.has_value() == (!components.empty() && components.back().kind != 'R'), path);
  if (parent) {
    CHECK(path.starts_with(*parent), path);
    std::vector<fuzz::Component> rest(components.begin(), components.end() - 1);
    CHECK(fuzz::components_of(*parent) == rest, path);
  }

  std::string_view name = dsf::path_file_name(path);
  bool has_name = !components.empty() && components.back().kind == 'N';
  CHECK(name == (has_name ? components.back().text : std::string_view{}), path);

  std::optional<std::string_view> extension = dsf::path_extension(path);
  std::size_t dot = name.rfind('.');
  CHECK(extension.has_value() == (has_name && dot != std::string_view::npos && dot > 0), path);
  if (extension) CHECK(*extension == name.substr(dot + 1) && extension->find('.') == std::string_view::npos, path);
}

void check_join(std::string_view input, std::string_view folder, std::string_view name) {
  std::string joined = dsf::join_path(folder, name);
  if (name.starts_with('/') || folder.empty()) {
    CHECK(joined == name, input);
    return;
  }
  CHECK(joined.starts_with(folder) && joined.ends_with(name), input);
  CHECK(joined.size() == folder.size() + name.size() + (folder.ends_with('/') ? 0 : 1), input);
  // A plain name joined to a folder is one more component, and its parent is the folder again.
  if (name.find('/') != std::string_view::npos || name.empty() || name == "." || name == "..") return;
  std::vector<fuzz::Component> expected = fuzz::components_of(folder);
  expected.push_back({'N', name});
  CHECK(fuzz::components_of(joined) == expected, input);
  CHECK(dsf::path_file_name(joined) == name, input);
  std::optional<std::string_view> parent = dsf::path_parent(joined);
  CHECK(parent && fuzz::components_of(*parent) == fuzz::components_of(folder), input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::as_text(data, size);
  check_path(input);
  std::size_t nul = input.find('\0');
  if (nul != std::string_view::npos) {
    std::string_view folder = input.substr(0, nul), name = input.substr(nul + 1);
    check_path(folder);
    check_join(input, folder, name);
  }
  return 0;
}
