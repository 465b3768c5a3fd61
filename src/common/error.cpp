#include "common/error.hpp"

#include <cstring>
#include <format>

#include "common/text.hpp"

namespace dsf {
namespace {

// The XSI form of strerror_r. glibc's <string.h> gives C++ the GNU form under that name, so
// the XSI one is reached through the symbol glibc exports for it. It fills the buffer also for
// a number it does not describe, and that text is used as it is.
extern "C" int __xpg_strerror_r(int number, char* buffer, std::size_t size);

std::string describe_os_error(int number) {
  char buffer[256] = {};
  (void)__xpg_strerror_r(number, buffer, sizeof buffer);
  return replace_invalid_utf8(buffer);
}

void append_quoted(std::string& sink, std::string_view text) {
  sink += '"';
  for (char c : text) {
    switch (c) {
      case '"': sink += "\\\""; break;
      case '\\': sink += "\\\\"; break;
      case '\n': sink += "\\n"; break;
      case '\r': sink += "\\r"; break;
      case '\t': sink += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          sink += std::format("\\u{{{:x}}}", static_cast<unsigned>(c));
        } else {
          sink += c;
        }
    }
  }
  sink += '"';
}

}  // namespace

bool MessageError::debug_text(std::string& sink) const {
  append_quoted(sink, message_);
  return false;
}

bool MessageError::display_text(std::string& sink) const {
  sink += message_;
  return false;
}

bool IoError::display_text(std::string& sink) const {
  switch (category_) {
    case Category::Os: sink += std::format("{} (os error {})", describe_os_error(os_error_), os_error_); break;
    case Category::InvalidData: sink += "stream did not contain valid UTF-8"; break;
    case Category::WriteZero: sink += "failed to write whole buffer"; break;
    case Category::InvalidInput: sink += "file name contained an unexpected NUL byte"; break;
    case Category::OutOfMemory: sink += "out of memory"; break;
  }
  return false;
}

bool IoError::debug_text(std::string& sink) const {
  switch (category_) {
    case Category::Os:
      sink += std::format("Os {{ code: {}, message: ", os_error_);
      append_quoted(sink, describe_os_error(os_error_));
      sink += " }";
      break;
    case Category::OutOfMemory: sink += "Kind(OutOfMemory)"; break;
    default: {
      const char* kind = category_ == Category::InvalidData ? "InvalidData"
                         : category_ == Category::WriteZero ? "WriteZero"
                                                            : "InvalidInput";
      sink += std::format("Custom {{ kind: {}, error: ", kind);
      std::string text;
      display_text(text);
      append_quoted(sink, text);
      sink += " }";
    }
  }
  return false;
}

bool ReportError::display_text(std::string& sink) const {
  sink += "failed printing to stdout: ";
  return cause_.display_text(sink);
}

bool ReportError::debug_text(std::string& sink) const {
  sink += "ReportError(";
  cause_.debug_text(sink);
  sink += ")";
  return false;
}

bool JsonError::display_text(std::string& sink) const {
  if (line_ == 0) {
    sink += message_;
  } else {
    sink += std::format("{} at line {} column {}", message_, line_, column_);
  }
  return false;
}

bool JsonError::debug_text(std::string& sink) const {
  sink += "Error(";
  append_quoted(sink, message_);
  sink += std::format(", line: {}, column: {})", line_, column_);
  return false;
}

bool RsaKeyError::display_text(std::string& sink) const {
  switch (check_) {
    case Check::InvalidPrime: sink += "invalid prime value"; break;
    case Check::InvalidModulus: sink += "invalid modulus"; break;
    case Check::InvalidExponent: sink += "invalid exponent"; break;
    case Check::ExponentTooSmall: sink += "public exponent too small"; break;
    case Check::ExponentTooLarge: sink += "public exponent too large"; break;
  }
  return false;
}

bool RsaKeyError::debug_text(std::string& sink) const {
  sink += "RsaKeyError(";
  display_text(sink);
  sink += ")";
  return false;
}

bool Pkcs1Error::display_text(std::string& sink) const {
  switch (kind_) {
    case Kind::Crypto: sink += "PKCS#1 cryptographic error"; break;
    case Kind::Version: sink += "PKCS#1 version error"; break;
    case Kind::Asn1: sink += std::format("PKCS#1 ASN.1 error: {}", detail_); break;
    case Kind::Pkcs8Asn1: sink += std::format("PKCS#8 ASN.1 error: {}", detail_); break;
    case Kind::Pkcs8KeyMalformed: sink += "PKCS#8 cryptographic key data malformed"; break;
    case Kind::Pkcs8ParametersMalformed: sink += "PKCS#8 algorithm parameters malformed"; break;
    case Kind::PublicKey: sink += std::format("public key error: {}", detail_); break;
  }
  return false;
}

bool Pkcs1Error::debug_text(std::string& sink) const {
  sink += "Pkcs1Error(";
  display_text(sink);
  sink += ")";
  return false;
}

std::string EngineError::display() const {
  std::string text;
  display_text(text);
  return text;
}

EngineError make_message_error(std::string_view message) {
  return MessageError(std::string(message));
}

}  // namespace dsf
