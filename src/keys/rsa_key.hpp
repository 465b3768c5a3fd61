// The RSA key pair of a key generation call and its two PKCS#1 PEM texts.
#pragma once

#include <botan/bigint.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/error.hpp"

namespace dsf {

// A text that holds key material. Its buffer is allocated once at its final length and is
// overwritten with zeros before it goes back to the allocator, whichever way it is released.
class SecretText {
 public:
  SecretText() = default;
  explicit SecretText(std::size_t length);
  SecretText(SecretText&& other) noexcept;
  SecretText& operator=(SecretText&& other) noexcept;
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;
  ~SecretText() { wipe(); }

  char* data() { return data_.get(); }
  std::size_t size() const { return size_; }
  std::string_view view() const { return {data_.get(), size_}; }

  // Zeros over the whole buffer, then the buffer is released.
  void wipe();

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
};

// The numbers of a two-prime RSA private key, in the order of PKCS#1's RSAPrivateKey. All but
// n and e are secret.
struct RsaPrivateNumbers {
  Botan::BigInt n, e, d, p, q, dp, dq, qinv;
};

// The key is held as plain numbers rather than as Botan's RSA key classes: those refuse moduli
// above 16384 bits, and no size limit is wanted here.
class PrivateRsaKey {
 public:
  explicit PrivateRsaKey(RsaPrivateNumbers numbers)
      : numbers_(std::make_unique<RsaPrivateNumbers>(std::move(numbers))) {}
  const RsaPrivateNumbers& numbers() const { return *numbers_; }
  void release() { numbers_.reset(); }

 private:
  std::unique_ptr<RsaPrivateNumbers> numbers_;
};

struct RsaPublicNumbers {
  Botan::BigInt n, e;
};

class PublicRsaKey {
 public:
  explicit PublicRsaKey(RsaPublicNumbers numbers)
      : numbers_(std::make_unique<RsaPublicNumbers>(std::move(numbers))) {}
  const RsaPublicNumbers& numbers() const { return *numbers_; }
  void release() { numbers_.reset(); }

 private:
  std::unique_ptr<RsaPublicNumbers> numbers_;
};

// A two-prime key with e = 65537, a modulus of exactly `size` bits (at least 2048 and a
// multiple of 256) and two primes of `size`/2 bits, made from the operating system's random
// source. Fails only when the key fails its consistency checks.
Result<PrivateRsaKey> generate_rsa_private_key(std::uint64_t size);

// Completes a key from its two primes: d (the inverse of e modulo lcm(p − 1, q − 1)), dP, dQ
// and qInv, after the checks of check_rsa_key.
Result<PrivateRsaKey> assemble_rsa_private_key(Botan::BigInt p, Botan::BigInt q, Botan::BigInt e);

// Copies of n and e.
PublicRsaKey derive_rsa_public_key(const PrivateRsaKey& key);

// PKCS#1 RSAPrivateKey as PEM text labelled "RSA PRIVATE KEY". Release it through
// wipe_secret_text.
Result<SecretText> encode_rsa_private_key_pem(const PrivateRsaKey& key);

void wipe_secret_text(SecretText&& text);

// PKCS#1 RSAPublicKey as PEM text labelled "RSA PUBLIC KEY"; nothing in it is secret.
Result<std::string> encode_rsa_public_key_pem(const PublicRsaKey& key);

void free_rsa_public_key(PublicRsaKey&& key);

void wipe_and_free_rsa_private_key(PrivateRsaKey&& key);

// The checks an assembled key must pass: e in range, n odd and larger than e, two distinct
// primes above 1 whose product is n, and d·e ≡ 1 modulo p−1 and q−1. The first check that
// fails, or none.
std::optional<RsaKeyError::Check> check_rsa_key(const Botan::BigInt& n, const Botan::BigInt& e,
                                                const Botan::BigInt& d, const Botan::BigInt& p,
                                                const Botan::BigInt& q);

// Length of the PEM text of `der_length` bytes under a label of `label_length` characters:
// the Base64 text, one LF per 64 of its characters (at least one), and the two framing lines.
std::size_t pem_length(std::size_t der_length, std::size_t label_length);

}  // namespace dsf
