// Key generation: an RSA key pair as two PKCS#1 PEM files, or a file of random bytes, each
// with its "key-info.json" description.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/error.hpp"

namespace dsf {

struct KeyGenOptions {
  std::string output;        // folder for every file of the call; empty for the current one
  std::string private_name;  // RSA mode
  std::string public_name;   // RSA mode
  std::string raw_name;      // raw mode
  std::optional<std::string> comment;
  std::uint64_t size = 0;  // bits in RSA mode, bytes in raw mode
  bool raw = false;
};

// Checks the names and the size, creates the folder, refuses to touch existing keys, writes
// the key files and "key-info.json", and reports them on standard output.
Status generate_key_files(const KeyGenOptions& options);

}  // namespace dsf
