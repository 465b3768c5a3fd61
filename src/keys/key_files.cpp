#include "keys/key_files.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <format>

#include "common/paths.hpp"

namespace dsf {
namespace {

EngineError refusal(std::string_view output) {
  return make_message_error(std::format(
      "Refusing to overwrite existing keys in {}. Choose another directory or remove the old keys "
      "intentionally.",
      output));
}

// A link at a key path counts as a key there: writing through it, even a dangling one, would
// put the key wherever the link's owner chose. A path that ends in "/" or "/." names what the
// link points to, so the link itself is looked at without them.
bool is_symbolic_link(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return false;
  while (path.size() > 1 && (path.ends_with('/') || path.ends_with("/."))) path.remove_suffix(path.ends_with('/') ? 1 : 2);
  std::string name(path);
  struct stat status;
  return ::lstat(name.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

}  // namespace

bool is_key_file_name(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return path_components(name).size() == 1;
}

Status refuse_existing_keys(std::string_view output, std::span<const std::string> paths) {
  for (const std::string& path : paths) {
    if (path_exists(path) || is_symbolic_link(path)) return std::unexpected(refusal(output));
  }
  return {};
}

Result<NewFile> create_key_file(std::string_view output, std::string path, mode_t permissions) {
  auto created = NewFile::create(std::move(path), permissions);
  if (!created) {
    // Exclusive creation fails with EEXIST for anything at the path, a link included.
    if (created.error().category() == IoError::Category::Os && created.error().os_error() == EEXIST) {
      return std::unexpected(refusal(output));
    }
    return std::unexpected(std::move(created.error()));
  }
  return std::move(*created);
}

}  // namespace dsf
