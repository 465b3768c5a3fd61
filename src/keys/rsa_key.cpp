#include "keys/rsa_key.hpp"

#include <botan/base64.h>
#include <botan/der_enc.h>
#include <botan/exceptn.h>
#include <botan/mem_ops.h>
#include <botan/numthry.h>
#include <botan/rng.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <span>
#include <utility>
#include <vector>

#include "common/fatal.hpp"
#include "keys/os_random.hpp"

namespace dsf {
namespace {

constexpr std::size_t public_exponent = 65537;
constexpr std::string_view private_label = "RSA PRIVATE KEY";
constexpr std::string_view public_label = "RSA PUBLIC KEY";
// RSAPrivateKey's version for a key of two primes.
const Botan::BigInt version_zero = Botan::BigInt::zero();

// Carries a stopped wait for random bytes out through Botan's prime search, which knows no
// failure values.
struct RandomInterrupted {};

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
    if (!fill_os_random(std::as_writable_bytes(output))) throw RandomInterrupted{};
  }
};

[[noreturn]] void invariant_failed(std::string_view what) { end_process(std::string("internal error: ").append(what)); }

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

Pkcs1Error encoding_error(const Botan::Exception& error, Pkcs1Error::Kind otherwise) {
  if (dynamic_cast<const Botan::Encoding_Error*>(&error) != nullptr) {
    return Pkcs1Error(Pkcs1Error::Kind::Asn1, error.what());
  }
  return Pkcs1Error(otherwise);
}

// Bytes of a DER element whose content takes `content` bytes: the tag, the length (long form
// from 128 on) and the content.
std::size_t der_element_length(std::size_t content) {
  std::size_t header = 2;
  if (content >= 128) {
    for (std::size_t rest = content; rest > 0; rest >>= 8) ++header;
  }
  return header + content;
}

// A SEQUENCE of non-negative INTEGERs, each in its minimal form: big-endian, with a 0x00 in
// front when the top bit of its first byte is set, and one 0x00 byte for zero.
std::size_t der_sequence_length(std::initializer_list<const Botan::BigInt*> integers) {
  std::size_t content = 0;
  for (const Botan::BigInt* integer : integers) {
    std::size_t bytes = integer->is_zero() ? 1 : integer->bytes() + (integer->bits() % 8 == 0 ? 1 : 0);
    content += der_element_length(bytes);
  }
  return der_element_length(content);
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
  if (p <= 1 || q <= 1 || p == q) return Check::InvalidPrime;
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
  const auto bits = static_cast<std::size_t>(size);
  const std::size_t half = bits / 2;
  const Botan::BigInt e = Botan::BigInt::from_u64(public_exponent);
  try {
    for (;;) {
      // Primes of exactly `half` bits whose p − 1 and q − 1 are prime to e, so that d exists.
      // Should their product fall one bit short of `bits`, the pair is drawn again.
      Botan::BigInt p = Botan::random_prime(rng, half, e);
      Botan::BigInt q = Botan::random_prime(rng, half, e);
      // Primes that share their leading bits let n be factored from its square root.
      if ((p > q ? p - q : q - p).bits() + 100 < half) continue;
      if ((p * q).bits() != bits) continue;
      return assemble_rsa_private_key(std::move(p), std::move(q), e);
    }
  } catch (const Botan::Exception& error) {
    invariant_failed(error.what());
  } catch (const RandomInterrupted&) {
    return std::unexpected(IoError::interrupted());
  }
}

Result<PrivateRsaKey> assemble_rsa_private_key(Botan::BigInt p, Botan::BigInt q, Botan::BigInt e) {
  Botan::BigInt n = p * q;
  const Botan::BigInt p1 = p - 1;
  const Botan::BigInt q1 = q - 1;
  // inverse_mod gives 0 where there is no inverse; the checks below refuse that d.
  Botan::BigInt d = p1 > 0 && q1 > 0
                        ? Botan::inverse_mod(e, p1 * q1 / Botan::gcd(p1, q1))
                        : Botan::BigInt::zero();
  if (auto failed = check_rsa_key(n, e, d, p, q)) {
    // Returning drops d, p and q, whose digits are wiped as they are released.
    return std::unexpected(RsaKeyError(*failed));
  }
  Botan::BigInt dp = d % p1;
  Botan::BigInt dq = d % q1;
  Botan::BigInt qinv = Botan::inverse_mod(q, p);
  return PrivateRsaKey(RsaPrivateNumbers{.n = std::move(n), .e = std::move(e), .d = std::move(d),
                                         .p = std::move(p), .q = std::move(q), .dp = std::move(dp),
                                         .dq = std::move(dq), .qinv = std::move(qinv)});
}

PublicRsaKey derive_rsa_public_key(const PrivateRsaKey& key) {
  return PublicRsaKey(RsaPublicNumbers{.n = key.numbers().n, .e = key.numbers().e});
}

Result<SecretText> encode_rsa_private_key_pem(const PrivateRsaKey& key) {
  const RsaPrivateNumbers& k = key.numbers();
  const std::size_t der_length =
      der_sequence_length({&version_zero, &k.n, &k.e, &k.d, &k.p, &k.q, &k.dp, &k.dq, &k.qinv});
  // The DER lives in Botan's secure memory, reserved once at its exact length so that it never
  // moves, and zeroed when this scope releases it, right after the PEM text has been made.
  Botan::secure_vector<std::uint8_t> der;
  der.reserve(der_length);
  try {
    Botan::DER_Encoder(der)
        .start_sequence()
        .encode(version_zero)
        .encode(k.n)
        .encode(k.e)
        .encode(k.d)
        .encode(k.p)
        .encode(k.q)
        .encode(k.dp)
        .encode(k.dq)
        .encode(k.qinv)
        .end_cons();
  } catch (const Botan::Exception& error) {
    return std::unexpected(encoding_error(error, Pkcs1Error::Kind::Pkcs8KeyMalformed));
  }
  if (der.size() != der_length) invariant_failed("RSAPrivateKey length");
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
    Botan::DER_Encoder(der).start_sequence().encode(key.numbers().n).encode(key.numbers().e).end_cons();
  } catch (const Botan::Exception& error) {
    return std::unexpected(encoding_error(error, Pkcs1Error::Kind::Crypto));
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
