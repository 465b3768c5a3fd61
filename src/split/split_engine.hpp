// The split engine: a merged file taken apart into "result.py" and "result.{ext}".
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/error.hpp"
#include "common/files.hpp"

namespace dsf {

// Reads a merged file a line at a time through one fixed buffer, so that the file is never
// held whole: only the line being assembled.
class MergedLineReader {
 public:
  static constexpr std::size_t buffer_size = 8192;

  static Result<MergedLineReader> open(std::string_view path);

  // The next line without its LF and without a CR right before that LF; none at the end of
  // the file. A line that is not valid UTF-8 fails.
  Result<std::optional<std::string>> next_line();

  // Releases the buffer and closes the file; the destructor does the same.
  void close();

 private:
  MergedLineReader(FileDescriptor file, std::unique_ptr<char[]> buffer, std::size_t unread)
      : file_(std::move(file)), buffer_(std::move(buffer)), unread_(unread) {}

  FileDescriptor file_;
  std::unique_ptr<char[]> buffer_;
  std::size_t filled_ = 0;    // bytes the last read placed in the buffer
  std::size_t position_ = 0;  // the first of them not yet consumed
  std::size_t unread_;        // bytes the file's size at opening says are still to be read
};

// Writes "result.py" and "result.{js_output_extension}" into `output` (default "out") and
// reports both paths.
Status split_file(std::string_view merged_file, std::optional<std::string_view> output);

// The extension of the JavaScript output: the entry X for which the merged file's name ends in
// ".py.X", compared case-sensitively; "js" when none does.
std::string js_output_extension(std::string_view merged_file);

}  // namespace dsf
