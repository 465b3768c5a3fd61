#include "keys/rsa_key.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "support/result.hpp"

namespace dsf {
namespace {

using Check = RsaKeyError::Check;
using Botan::BigInt;

TEST(CheckRsaKey, FindsTheFirstFailedCheck) {
  // p = 61, q = 53, n = 3233, e = 17, d = 2753 is a textbook key that passes every check.
  struct Case {
    const char* what;
    BigInt n, e, d, p, q;
    std::optional<Check> failed;
  };
  const BigInt large_exponent = (BigInt::one() << 33) - 1;
  const Case cases[] = {
      {"a valid key", 3233, 17, 2753, 61, 53, std::nullopt},
      {"e below 2", 3233, 1, 2753, 61, 53, Check::ExponentTooSmall},
      {"e above 2^33 - 1", 3233, large_exponent + 2, 2753, 61, 53, Check::ExponentTooLarge},
      {"e = 2^33 - 1 but not below n", 3233, large_exponent, 2753, 61, 53, Check::InvalidModulus},
      {"an even modulus", 3234, 17, 2753, 61, 53, Check::InvalidModulus},
      {"e not below n", 3233, 3233, 2753, 61, 53, Check::InvalidModulus},
      {"a prime of 1", 3233, 17, 2753, 1, 53, Check::InvalidPrime},
      {"a prime of 0", 3233, 17, 2753, 61, 0, Check::InvalidPrime},
      {"p·q other than n", 3233, 17, 2753, 59, 53, Check::InvalidModulus},
      {"a wrong d", 3233, 17, 2754, 61, 53, Check::InvalidExponent},
      // 2813 = 2753 + 60 still inverts e modulo p − 1 = 60, but not modulo q − 1 = 52.
      {"d good modulo p - 1 only", 3233, 17, 2813, 61, 53, Check::InvalidExponent},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(check_rsa_key(c.n, c.e, c.d, c.p, c.q), c.failed) << c.what;
  }
}

TEST(PemLength, CountsTheBase64LinesAndBothFramingLines) {
  // "-----BEGIN L-----\n" and "-----END L-----\n" take 32 + 2·|L| characters.
  constexpr std::size_t framing = 32 + 2 * 14;
  EXPECT_EQ(pem_length(1, 14), framing + 4 + 1);
  EXPECT_EQ(pem_length(48, 14), framing + 64 + 1);      // one full line
  EXPECT_EQ(pem_length(49, 14), framing + 68 + 2);      // a second line of four characters
  EXPECT_EQ(pem_length(96, 15), 32 + 30 + 128 + 2);     // two full lines, no empty third
  EXPECT_EQ(pem_length(270, 14), 426u);                 // a 2048-bit public key
  EXPECT_EQ(pem_length(526, 14), 775u);                 // a 4096-bit public key
}

TEST(SecretText, IsTakenOverAndEmptiedByTheWipe) {
  SecretText text(40);
  text.data()[0] = 'k';
  SecretText moved = std::move(text);
  EXPECT_EQ(text.size(), 0u);
  EXPECT_EQ(moved.view().substr(0, 1), "k");
  wipe_secret_text(std::move(moved));
  EXPECT_EQ(moved.size(), 0u);
  EXPECT_EQ(moved.data(), nullptr);
}

// Checks the PEM layout: framing lines, Base64 lines of 64 characters with a last one of 1 to
// 64, LF alone at every line end, nothing around.
void expect_pem_layout(std::string_view text, std::string_view label) {
  const std::string begin = "-----BEGIN " + std::string(label) + "-----\n";
  const std::string end = "-----END " + std::string(label) + "-----\n";
  ASSERT_TRUE(text.starts_with(begin)) << text;
  ASSERT_TRUE(text.ends_with(end)) << text;
  std::string_view body = text.substr(begin.size(), text.size() - begin.size() - end.size());
  ASSERT_TRUE(body.ends_with('\n'));
  while (!body.empty()) {
    std::size_t line_end = body.find('\n');
    std::string_view line = body.substr(0, line_end);
    body.remove_prefix(line_end + 1);
    if (body.empty()) {
      EXPECT_GE(line.size(), 1u);
      EXPECT_LE(line.size(), 64u);
    } else {
      EXPECT_EQ(line.size(), 64u);
    }
    EXPECT_EQ(line.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string_view::npos)
        << line;
  }
}

TEST(RsaKeyPair, HasTheRequestedSizesAndEncodesAsPkcs1Pem) {
  for (std::uint64_t size : {2048u, 2304u}) {
    auto made = generate_rsa_private_key(size);
    ASSERT_TRUE(made) << made.error().display();
    PrivateRsaKey private_key = std::move(*made);
    const Botan::RSA_PrivateKey& key = private_key.get();
    EXPECT_EQ(key.get_n().bits(), size);
    EXPECT_EQ(key.get_p().bits(), size / 2);
    EXPECT_EQ(key.get_q().bits(), size / 2);
    EXPECT_EQ(key.get_e(), 65537);

    PublicRsaKey public_key = derive_rsa_public_key(private_key);
    EXPECT_EQ(public_key.get().get_n(), key.get_n());
    EXPECT_EQ(public_key.get().get_e(), 65537);

    SecretText private_text = testing::value_of(encode_rsa_private_key_pem(private_key));
    expect_pem_layout(private_text.view(), "RSA PRIVATE KEY");
    EXPECT_EQ(private_text.size(), pem_length(key.private_key_bits().size(), 15));
    wipe_secret_text(std::move(private_text));

    std::string public_text = testing::value_of(encode_rsa_public_key_pem(public_key));
    expect_pem_layout(public_text, "RSA PUBLIC KEY");
    if (size == 2048) {
      EXPECT_EQ(public_text.size(), 426u);
    }

    free_rsa_public_key(std::move(public_key));
    wipe_and_free_rsa_private_key(std::move(private_key));
  }
}

}  // namespace
}  // namespace dsf
