#include "keys/rsa_key.hpp"

#include <botan/base64.h>
#include <botan/exceptn.h>
#include <botan/mem_ops.h>
#include <botan/rng.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <span>
#include <utility>
#include <vector>

#include "keys/os_random.hpp"

namespace dsf {
namespace {

constexpr std::size_t public_exponent = 65537;
constexpr std::string_view private_label = "RSA PRIVATE KEY";
constexpr std::string_view public_label = "RSA PUBLIC KEY";

// Botan draws every byte of the prime search from here, so the key comes from the operating
// system's source alone. Nothing is kept between requests, so there is nothing to seed or
// clear, and input offered to it is ignored.
class OsRandomGenerator final : public Botan::RandomNumberGenerator {
 public:
  bool accepts_input() const override { return false; }
  std::string name() const override { return "os_random"; }
  void clear() override {}
  bool is_seeded() const override { return true; }

 private:
  void fill_bytes_with_input(std::span<std::uint8_t> output, std::span<const std::uint8_t>) override {
    fill_os_random(std::as_writable_bytes(output));
  }
};

[[noreturn]] void invariant_failed(const char* what) {
  std::string message = "internal error: ";
  message += what;
  message += '\n';
  (void)!::write(2, message.data(), message.size());
  std::abort();
}

// Writes the PEM text of `der` into `out`, which holds exactly pem_length(...) characters.
void write_pem(std::span<const std::uint8_t> der, std::string_view label, char* out, std::size_t length) {
  char* const begin = out;
  auto put = [&](std::string_view text) {
    std::copy(text.begin(), text.end(), out);
    out += text.size();
  };
  put("-----BEGIN ");
  put(label);
  put("-----\n");
  // 48 bytes make one line of 64 characters; only the last chunk may need padding.
  constexpr std::size_t line_bytes = 48;
  for (std::size_t offset = 0; offset < der.size(); offset += line_bytes) {
    std::size_t chunk = std::min(line_bytes, der.size() - offset);
    std::size_t consumed = 0;
    out += Botan::base64_encode(out, der.data() + offset, chunk, consumed, true);
    if (consumed != chunk) invariant_failed("Base64 encoder left input behind");
    *out++ = '\n';
  }
  put("-----END ");
  put(label);
  put("-----\n");
  if (static_cast<std::size_t>(out - begin) != length) invariant_failed("PEM text length");
}

Pkcs1Error encoding_error(const Botan::Exception& error) {
  if (dynamic_cast<const Botan::Encoding_Error*>(&error) != nullptr) {
    return Pkcs1Error(Pkcs1Error::Kind::Asn1, error.what());
  }
  return Pkcs1Error(Pkcs1Error::Kind::Crypto);
}

}  // namespace

SecretText::SecretText(std::size_t length) : data_(new char[length]()), size_(length) {}

SecretText::SecretText(SecretText&& other) noexcept
    : data_(std::move(other.data_)), size_(std::exchange(other.size_, 0)) {}

SecretText& SecretText::operator=(SecretText&& other) noexcept {
  if (this != &other) {
    wipe();
    data_ = std::move(other.data_);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void SecretText::wipe() {
  if (!data_) return;
  // A store the optimiser may not drop, although the memory is freed right after it.
  Botan::secure_scrub_memory(data_.get(), size_);
  size_ = 0;
  data_.reset();
}

std::optional<RsaKeyError::Check> check_rsa_key(const Botan::BigInt& n, const Botan::BigInt& e,
                                                const Botan::BigInt& d, const Botan::BigInt& p,
                                                const Botan::BigInt& q) {
  using Check = RsaKeyError::Check;
  static const Botan::BigInt largest_exponent = (Botan::BigInt::one() << 33) - 1;
  if (e < 2) return Check::ExponentTooSmall;
  if (e > largest_exponent) return Check::ExponentTooLarge;
  if (n.is_even() || e >= n) return Check::InvalidModulus;
  if (p <= 1 || q <= 1) return Check::InvalidPrime;
  if (p * q != n) return Check::InvalidModulus;
  const Botan::BigInt de = d * e;
  for (const Botan::BigInt* prime : {&p, &q}) {
    const Botan::BigInt order = *prime - 1;
    if (de % order != Botan::BigInt::one() % order) return Check::InvalidExponent;
  }
  return std::nullopt;
}

std::size_t pem_length(std::size_t der_length, std::size_t label_length) {
  std::size_t base64 = 4 * ((der_length + 2) / 3);
  return base64 + (base64 - 1) / 64 + 2 * label_length + 33;
}

Result<PrivateRsaKey> generate_rsa_private_key(std::uint64_t size) {
  OsRandomGenerator rng;
  const std::size_t bits = static_cast<std::size_t>(size);
  for (;;) {
    // Botan searches two primes of bits/2 each and assembles the key with d, dP, dQ and qInv.
    auto key = std::make_unique<Botan::RSA_PrivateKey>(rng, bits, public_exponent);
    // It already aims for exactly these sizes; a key that misses them is searched again
    // rather than handed out.
    if (key->get_n().bits() != bits || key->get_p().bits() != bits / 2 || key->get_q().bits() != bits / 2) {
      continue;
    }
    if (auto failed = check_rsa_key(key->get_n(), key->get_e(), key->get_d(), key->get_p(), key->get_q())) {
      // Releasing the key wipes its secret numbers (see wipe_and_free_rsa_private_key).
      return std::unexpected(RsaKeyError(*failed));
    }
    return PrivateRsaKey(std::move(key));
  }
}

PublicRsaKey derive_rsa_public_key(const PrivateRsaKey& key) {
  return PublicRsaKey(std::make_unique<Botan::RSA_PublicKey>(key.get().get_n(), key.get().get_e()));
}

Result<SecretText> encode_rsa_private_key_pem(const PrivateRsaKey& key) {
  // The DER lives in Botan's secure memory, which is zeroed when this scope releases it,
  // right after the PEM text has been made (or has failed).
  Botan::secure_vector<std::uint8_t> der;
  try {
    der = key.get().private_key_bits();
  } catch (const Botan::Exception& error) {
    return std::unexpected(encoding_error(error));
  }
  std::size_t length = pem_length(der.size(), private_label.size());
  SecretText text(length);
  write_pem(der, private_label, text.data(), length);
  return text;
}

void wipe_secret_text(SecretText&& text) {
  SecretText taken = std::move(text);
  taken.wipe();
}

Result<std::string> encode_rsa_public_key_pem(const PublicRsaKey& key) {
  std::vector<std::uint8_t> der;
  try {
    der = key.get().public_key_bits();
  } catch (const Botan::Exception& error) {
    return std::unexpected(encoding_error(error));
  }
  std::size_t length = pem_length(der.size(), public_label.size());
  std::string text(length, '\0');
  write_pem(der, public_label, text.data(), length);
  return text;
}

void free_rsa_public_key(PublicRsaKey&& key) { key.release(); }

void wipe_and_free_rsa_private_key(PrivateRsaKey&& key) {
  // Botan's BigInt keeps its digits in secure memory, which is overwritten with zeros when it
  // is released: destroying the key wipes d, p, q, dP, dQ and qInv (n and e with them).
  key.release();
}

}  // namespace dsf
