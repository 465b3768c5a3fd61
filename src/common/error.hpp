// The failure value of the engines: one owned error object of one of five kinds.
#pragma once

#include <cerrno>
#include <concepts>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>

namespace dsf {

// What every kind of error object offers. A sink is a growable text; these sinks never fail,
// so the flag that says "the sink refused the text" is always false here.
class ErrorObject {
 public:
  virtual ~ErrorObject() = default;
  virtual bool debug_text(std::string& sink) const = 0;
  virtual bool display_text(std::string& sink) const = 0;
  virtual const ErrorObject* source_error() const { return nullptr; }
};

// A message made by the system's own checks, such as "Invalid merged file.".
class MessageError final : public ErrorObject {
 public:
  explicit MessageError(std::string message) : message_(std::move(message)) {}
  bool debug_text(std::string& sink) const override;
  bool display_text(std::string& sink) const override;
  const std::string& message() const { return message_; }

 private:
  std::string message_;
};

// A file-system or operating-system failure. Its text never names a path.
class IoError final : public ErrorObject {
 public:
  enum class Category : std::uint8_t { Os, InvalidData, WriteZero, InvalidInput, OutOfMemory };

  static IoError from_errno(int number) { return IoError(Category::Os, number); }
  static IoError invalid_utf8() { return IoError(Category::InvalidData, 0); }
  static IoError write_zero() { return IoError(Category::WriteZero, 0); }
  static IoError nul_in_path() { return IoError(Category::InvalidInput, 0); }
  static IoError out_of_memory() { return IoError(Category::OutOfMemory, 0); }
  // A system call that the call's interrupt check stopped.
  static IoError interrupted() { return from_errno(EINTR); }

  bool debug_text(std::string& sink) const override;
  bool display_text(std::string& sink) const override;
  Category category() const { return category_; }
  int os_error() const { return os_error_; }
  bool is_interrupted() const { return category_ == Category::Os && os_error_ == EINTR; }

 private:
  IoError(Category category, int os_error) : category_(category), os_error_(os_error) {}
  Category category_;
  int os_error_;
};

// A report line that could not be written to standard output, after the call's files were
// written. The Python caller gets it as OSError, as from a failed print, not as RuntimeError.
class ReportError final : public ErrorObject {
 public:
  explicit ReportError(IoError cause) : cause_(cause) {}
  bool debug_text(std::string& sink) const override;
  bool display_text(std::string& sink) const override;
  const IoError& cause() const { return cause_; }

 private:
  IoError cause_;
};

// A failure of the JSON printer; line 0 means it carries no position.
class JsonError final : public ErrorObject {
 public:
  explicit JsonError(std::string message, std::size_t line = 0, std::size_t column = 0)
      : message_(std::move(message)), line_(line), column_(column) {}
  bool debug_text(std::string& sink) const override;
  bool display_text(std::string& sink) const override;

 private:
  std::string message_;
  std::size_t line_;
  std::size_t column_;
};

// The consistency check that an assembled RSA key failed.
class RsaKeyError final : public ErrorObject {
 public:
  enum class Check : std::uint8_t {
    InvalidPrime, InvalidModulus, InvalidExponent, ExponentTooSmall, ExponentTooLarge
  };
  explicit RsaKeyError(Check check) : check_(check) {}
  bool debug_text(std::string& sink) const override;
  bool display_text(std::string& sink) const override;
  Check check() const { return check_; }

 private:
  Check check_;
};

// A failure of the key encoding.
class Pkcs1Error final : public ErrorObject {
 public:
  enum class Kind : std::uint8_t {
    Crypto, Version, Asn1, Pkcs8Asn1, Pkcs8KeyMalformed, Pkcs8ParametersMalformed, PublicKey
  };
  explicit Pkcs1Error(Kind kind, std::string detail = {}) : kind_(kind), detail_(std::move(detail)) {}
  bool debug_text(std::string& sink) const override;
  bool display_text(std::string& sink) const override;

 private:
  Kind kind_;
  std::string detail_;
};

// Move-only owner of exactly one error object.
class EngineError {
 public:
  template <class Kind>
    requires std::derived_from<Kind, ErrorObject>
  EngineError(Kind error) : object_(std::make_unique<Kind>(std::move(error))) {}

  EngineError(EngineError&&) noexcept = default;
  EngineError& operator=(EngineError&&) noexcept = default;
  EngineError(const EngineError&) = delete;
  EngineError& operator=(const EngineError&) = delete;

  bool display_text(std::string& sink) const { return object_->display_text(sink); }
  bool debug_text(std::string& sink) const { return object_->debug_text(sink); }
  const ErrorObject* source_error() const { return object_->source_error(); }
  const ErrorObject& object() const { return *object_; }

  // The display text as a new string, for callers that have no sink of their own.
  std::string display() const;

 private:
  std::unique_ptr<ErrorObject> object_;
};

EngineError make_message_error(std::string_view message);

// The failure is the "interrupted" one: a system call that the call's interrupt check stopped.
inline bool is_interrupted(const EngineError& error) {
  const auto* io = dynamic_cast<const IoError*>(&error.object());
  return io != nullptr && io->is_interrupted();
}

template <class T>
using Result = std::expected<T, EngineError>;
using Status = std::expected<void, EngineError>;

}  // namespace dsf
