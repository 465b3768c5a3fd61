#include "keys/key_generation.hpp"

#include <array>
#include <format>
#include <span>
#include <string_view>

#include "common/console.hpp"
#include "common/files.hpp"
#include "common/paths.hpp"
#include "keys/key_files.hpp"
#include "keys/key_info.hpp"
#include "keys/os_random.hpp"
#include "keys/rsa_key.hpp"

namespace dsf {
namespace {

// Secret key files are for their owner alone; the public key may be read by anyone the mask
// allows.
constexpr mode_t secret_permissions = 0600;
constexpr mode_t public_permissions = 0666;

Status check_names(const KeyGenOptions& options) {
  for (const std::string* name : {&options.private_name, &options.public_name, &options.raw_name}) {
    if (!is_key_file_name(*name)) {
      return std::unexpected(make_message_error(
          "Key filenames must be filenames only; directories are configured with --output."));
    }
  }
  // Two files of one call on one path would have the later write land on the earlier one.
  bool clash = options.raw ? options.raw_name == key_info_file_name
                           : options.private_name == options.public_name ||
                                 options.private_name == key_info_file_name || options.public_name == key_info_file_name;
  if (clash) {
    return std::unexpected(
        make_message_error("Key filenames must differ from each other and from key-info.json."));
  }
  return {};
}

Status check_size(const KeyGenOptions& options) {
  if (options.raw) {
    if (options.size < 16 || options.size > 4096) {
      return std::unexpected(make_message_error("Raw byte keys must be between 16 and 4096 bytes."));
    }
  } else if (options.size < 2048 || options.size % 256 != 0) {
    return std::unexpected(make_message_error(
        "RSA key size must be at least 2048 bits and a multiple of 256 (for example, 2048 or 4096)."));
  }
  return {};
}

Status generate_raw_key(const KeyGenOptions& options) {
  const std::array<std::string, 1> paths{join_path(options.output, options.raw_name)};
  if (auto refused = refuse_existing_keys(options.output, paths); !refused) return refused;
  auto file = create_key_file(options.output, paths[0], secret_permissions);
  if (!file) return std::unexpected(std::move(file.error()));

  // The key bytes are secret like the private key's text, and are wiped when released.
  SecretText key(static_cast<std::size_t>(options.size));
  if (Status filled = fill_os_random(std::as_writable_bytes(std::span(key.data(), key.size()))); !filled) {
    return filled;
  }
  if (auto written = file->write(key.view()); !written) return written;

  const std::array<std::string, 1> names{options.raw_name};
  if (auto info = write_key_info(options, names); !info) return info;
  file->keep();

  return report_lines({"Generated key:", std::format("  Raw bytes ({})", options.size), "  " + paths[0]});
}

// Everything between making the key pair and releasing it. The files stay only when all of
// them, "key-info.json" included, have been written.
Status write_rsa_key_files(const KeyGenOptions& options, std::span<NewFile, 2> files,
                           const PrivateRsaKey& private_key, const PublicRsaKey& public_key) {
  auto private_text = encode_rsa_private_key_pem(private_key);
  if (!private_text) return std::unexpected(std::move(private_text.error()));
  auto written = files[0].write(private_text->view());
  wipe_secret_text(std::move(*private_text));
  if (!written) return written;

  auto public_text = encode_rsa_public_key_pem(public_key);
  if (!public_text) return std::unexpected(std::move(public_text.error()));
  written = files[1].write(*public_text);
  if (!written) return written;

  const std::array<std::string, 2> names{options.private_name, options.public_name};
  if (auto info = write_key_info(options, names); !info) return info;
  for (NewFile& file : files) file.keep();

  return report_lines(
      {"Generated keys:", std::format("  RSA-{}", options.size), "  " + files[0].path(), "  " + files[1].path()});
}

Status generate_rsa_keys(const KeyGenOptions& options) {
  const std::array<std::string, 2> paths{join_path(options.output, options.private_name),
                                         join_path(options.output, options.public_name)};
  if (auto refused = refuse_existing_keys(options.output, paths); !refused) return refused;
  // Both files are made before the key, so that a name that cannot be created costs no key.
  auto private_file = create_key_file(options.output, paths[0], secret_permissions);
  if (!private_file) return std::unexpected(std::move(private_file.error()));
  auto public_file = create_key_file(options.output, paths[1], public_permissions);
  if (!public_file) return std::unexpected(std::move(public_file.error()));
  std::array<NewFile, 2> files{std::move(*private_file), std::move(*public_file)};

  auto private_key = generate_rsa_private_key(options.size);
  if (!private_key) return std::unexpected(std::move(private_key.error()));
  PublicRsaKey public_key = derive_rsa_public_key(*private_key);

  Status done = write_rsa_key_files(options, files, *private_key, public_key);
  free_rsa_public_key(std::move(public_key));
  wipe_and_free_rsa_private_key(std::move(*private_key));
  return done;
}

}  // namespace

Status generate_key_files(const KeyGenOptions& options) {
  if (auto names = check_names(options); !names) return names;
  if (auto size = check_size(options); !size) return size;
  if (auto folder = create_folders(options.output); !folder) return folder;
  return options.raw ? generate_raw_key(options) : generate_rsa_keys(options);
}

}  // namespace dsf
