#include "keys/key_info.hpp"

#include <nlohmann/json.hpp>

#include <vector>

#include "common/files.hpp"
#include "common/paths.hpp"

namespace dsf {

Status write_key_info(const KeyGenOptions& options, std::span<const std::string> key_names) {
  // nlohmann's default object is a std::map, so the members come out sorted by name whatever
  // the order they are set in.
  nlohmann::json info = nlohmann::json::object();
  info["comment"] = options.comment ? nlohmann::json(*options.comment) : nlohmann::json(nullptr);
  info["files"] = std::vector<std::string>(key_names.begin(), key_names.end());
  info["size"] = options.size;
  info["size_unit"] = options.raw ? "bytes" : "bits";
  info["type"] = options.raw ? "bytes" : "rsa";

  std::string text;
  try {
    // Two-space indent, ": " after names, no final line break. With ensure_ascii off only
    // quotes, backslashes and control characters are escaped; "/" and U+007F stay as they are.
    text = info.dump(2, ' ', false, nlohmann::json::error_handler_t::strict);
  } catch (const nlohmann::json::exception& error) {
    return std::unexpected(JsonError(error.what()));
  }
  return write_file(join_path(options.output, key_info_file_name), text);
}

}  // namespace dsf
