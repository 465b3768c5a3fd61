#include "keys/key_info.hpp"

#include <nlohmann/json.hpp>

#include <array>
#include <cerrno>
#include <cstddef>
#include <format>
#include <iterator>
#include <vector>

#include "common/files.hpp"
#include "common/paths.hpp"
#include "keys/os_random.hpp"

namespace dsf {
namespace {

// A name beside "key-info.json" that no one can guess ahead.
Result<std::string> temporary_name() {
  std::array<std::byte, 8> bytes;
  if (Status filled = fill_os_random(bytes); !filled) return std::unexpected(std::move(filled.error()));
  std::string name = ".key-info.json-";
  for (std::byte byte : bytes) std::format_to(std::back_inserter(name), "{:02x}", std::to_integer<unsigned>(byte));
  return name;
}

// The text goes to a new file in the folder first and is then renamed over "key-info.json":
// nothing is ever written through a link at that name, and a failed write leaves the old file
// as it was and no new one behind.
Status replace_key_info(std::string_view folder, std::string_view text) {
  for (int attempt = 0;; ++attempt) {
    auto name = temporary_name();
    if (!name) return std::unexpected(std::move(name.error()));
    auto temporary = NewFile::create(join_path(folder, *name), 0666);
    if (!temporary) {
      const IoError& error = temporary.error();
      if (error.category() == IoError::Category::Os && error.os_error() == EEXIST && attempt < 8) continue;
      return std::unexpected(std::move(temporary.error()));
    }
    if (auto written = temporary->write(text); !written) return written;
    return temporary->rename_over(join_path(folder, key_info_file_name));
  }
}

}  // namespace

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
  return replace_key_info(options.output, text);
}

}  // namespace dsf
