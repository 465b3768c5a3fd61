// What guards the key files on disk during key generation.
#pragma once

#include <sys/types.h>

#include <span>
#include <string>
#include <string_view>

#include "common/error.hpp"
#include "common/files.hpp"

namespace dsf {

// A key file name is a path of exactly one component that is not the whole text "." or "..";
// "a/" and "/" pass, "a/b" does not. Folders are given separately, as the output folder.
bool is_key_file_name(std::string_view name);

// Fails with the refusal message naming `output` at the first path where anything is found,
// a symbolic link counting even when it dangles.
Status refuse_existing_keys(std::string_view output, std::span<const std::string> paths);

// Creates the key file at `path` as a new, empty file, never following a link; it is written
// later, and removed again unless kept. Whatever appeared at the path since the overwrite test
// is left untouched and the call is refused as if the test had found it.
Result<NewFile> create_key_file(std::string_view output, std::string path, mode_t permissions);

}  // namespace dsf
