// Generates one RSA key pair of any size the engine accepts, for the benchmark: the Python
// module always asks for 4096 bits.
//
//   bench-keygen <bits> <folder>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "keys/key_generation.hpp"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench-keygen <bits> <folder>\n");
    return 2;
  }
  std::string_view bits = argv[1];
  std::uint64_t size = 0;
  if (auto [end, error] = std::from_chars(bits.data(), bits.data() + bits.size(), size);
      error != std::errc() || end != bits.data() + bits.size()) {
    std::fprintf(stderr, "bench-keygen: not a number of bits: %s\n", argv[1]);
    return 2;
  }
  dsf::KeyGenOptions options{
      .output = argv[2],
      .private_name = "private.pem",
      .public_name = "public.pem",
      .raw_name = "key.bin",
      .comment = std::nullopt,
      .size = size,
      .raw = false,
  };
  if (auto done = dsf::generate_key_files(options); !done) {
    std::fprintf(stderr, "bench-keygen: %s\n", done.error().display().c_str());
    return 1;
  }
  return 0;
}
