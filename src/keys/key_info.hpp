// "key-info.json": what a key generation call made, written beside its key files.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "common/error.hpp"
#include "keys/key_generation.hpp"

namespace dsf {

inline constexpr std::string_view key_info_file_name = "key-info.json";

// Writes (or replaces) "key-info.json" in the output folder, describing the key files of one
// call by their names as the options give them.
Status write_key_info(const KeyGenOptions& options, std::span<const std::string> key_names);

}  // namespace dsf
