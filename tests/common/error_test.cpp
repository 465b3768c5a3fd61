#include "common/error.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <type_traits>
#include <utility>

namespace dsf {
namespace {

TEST(EngineError, DisplaysEachKindsText) {
  EXPECT_EQ(make_message_error("Invalid merged file.").display(), "Invalid merged file.");
  EXPECT_EQ(EngineError(IoError::from_errno(EACCES)).display(), "Permission denied (os error 13)");
  EXPECT_EQ(EngineError(IoError::from_errno(ENOENT)).display(), "No such file or directory (os error 2)");
  EXPECT_EQ(EngineError(IoError::invalid_utf8()).display(), "stream did not contain valid UTF-8");
  EXPECT_EQ(EngineError(IoError::write_zero()).display(), "failed to write whole buffer");
  EXPECT_EQ(EngineError(IoError::nul_in_path()).display(), "file name contained an unexpected NUL byte");
  EXPECT_EQ(EngineError(IoError::out_of_memory()).display(), "out of memory");
  EXPECT_EQ(EngineError(ReportError(IoError::from_errno(ENOSPC))).display(),
            "failed printing to stdout: No space left on device (os error 28)");
  EXPECT_EQ(EngineError(JsonError("bad value")).display(), "bad value");
  EXPECT_EQ(EngineError(JsonError("bad value", 3, 7)).display(), "bad value at line 3 column 7");
  EXPECT_EQ(EngineError(RsaKeyError(RsaKeyError::Check::ExponentTooSmall)).display(), "public exponent too small");
  EXPECT_EQ(EngineError(Pkcs1Error(Pkcs1Error::Kind::Asn1, "length")).display(), "PKCS#1 ASN.1 error: length");
  EXPECT_EQ(EngineError(Pkcs1Error(Pkcs1Error::Kind::Pkcs8KeyMalformed)).display(),
            "PKCS#8 cryptographic key data malformed");
}

TEST(EngineError, TellsTheInterruptedFailureFromOtherErrors) {
  EXPECT_TRUE(is_interrupted(EngineError(IoError::interrupted())));
  EXPECT_EQ(EngineError(IoError::interrupted()).display(), "Interrupted system call (os error 4)");
  EXPECT_FALSE(is_interrupted(EngineError(IoError::from_errno(EIO))));
  EXPECT_FALSE(is_interrupted(make_message_error("Interrupted system call (os error 4)")));
}

TEST(EngineError, UsesTheLibraryTextForNumbersItDoesNotDescribe) {
  EXPECT_EQ(EngineError(IoError::from_errno(9999)).display(), "Unknown error 9999 (os error 9999)");
}

static_assert(!std::is_copy_constructible_v<EngineError> && !std::is_copy_assignable_v<EngineError>);
static_assert(std::is_nothrow_move_constructible_v<EngineError> && std::is_nothrow_move_assignable_v<EngineError>);

// Counts the objects alive that were not moved from.
class CountedError final : public ErrorObject {
 public:
  static inline int alive = 0;
  CountedError() { ++alive; }
  CountedError(CountedError&& other) noexcept : owned_(std::exchange(other.owned_, false)) {}
  ~CountedError() override { alive -= owned_ ? 1 : 0; }
  bool debug_text(std::string&) const override { return false; }
  bool display_text(std::string& sink) const override {
    sink += "counted";
    return false;
  }

 private:
  bool owned_ = true;
};

Status fail_with_counted() { return std::unexpected(EngineError(CountedError())); }

TEST(EngineError, OwnsOneObjectThroughMovesAndReleasesItOnce) {
  {
    Status failed = fail_with_counted();
    ASSERT_FALSE(failed);
    const ErrorObject* object = &failed.error().object();
    EngineError moved = std::move(failed.error());
    EXPECT_EQ(&moved.object(), object);
    EngineError assigned = make_message_error("other");
    assigned = std::move(moved);
    EXPECT_EQ(&assigned.object(), object);
    EXPECT_EQ(assigned.display(), "counted");
    EXPECT_EQ(CountedError::alive, 1);
  }
  EXPECT_EQ(CountedError::alive, 0);
}

TEST(EngineError, DebugTextQuotesTheMessage) {
  std::string debug;
  make_message_error("a \"b\"\n").debug_text(debug);
  EXPECT_EQ(debug, R"("a \"b\"\n")");
  EXPECT_EQ(make_message_error("x").source_error(), nullptr);
}

}  // namespace
}  // namespace dsf
