#include "split/split_engine.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <format>
#include <new>
#include <stdexcept>

#include "common/console.hpp"
#include "common/paths.hpp"
#include "common/text.hpp"
#include "split/module_kind.hpp"
#include "split/payload_reader.hpp"
#include "transform/parser/cjs_to_esm.hpp"

namespace dsf {
namespace {

constexpr std::array<std::string_view, 8> js_output_extensions = {"js", "cjs", "mjs", "jsx", "ts", "cts", "mts", "tsx"};

constexpr std::string_view default_output = "out";

// Every line of the merged file offered to the scanner; the file is read to its end even after
// both payload lines, since a later payload line wins and every line must be valid UTF-8. A
// byte-order mark that an editor put before the first line goes, as both interpreters skip it.
Result<RawPayloads> read_payloads(std::string_view merged_file) {
  auto reader = MergedLineReader::open(merged_file);
  if (!reader) return std::unexpected(std::move(reader.error()));
  RawPayloads payloads;
  for (bool first = true;; first = false) {
    auto line = reader->next_line();
    if (!line) return std::unexpected(std::move(line.error()));
    if (!*line) break;
    if (first) drop_byte_order_mark(**line);
    scan_payload_line(payloads, std::move(**line));
  }
  reader->close();
  return payloads;
}

// A line that outgrows the buffer is most likely a payload line of megabytes. Room up to the end
// of the file, taken at once, spares growing it by doubling, which copies it at every step and
// holds the old and the new copy together; pages that are never filled cost no memory. Room
// that cannot be had is no failure: the line then grows as it needs.
void reserve_rest_of_file(std::string& line, std::size_t unread) {
  if (line.capacity() - line.size() >= unread) return;
  try {
    line.reserve(line.size() + unread);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
}

}  // namespace

Result<MergedLineReader> MergedLineReader::open(std::string_view path) {
  auto file = open_for_reading(path);
  if (!file) return std::unexpected(std::move(file.error()));
  // The size only sizes long lines: a file that is no regular file, or that changes while it is
  // read, is read to its end all the same.
  struct stat status;
  std::size_t size = 0;
  if (::fstat(file->get(), &status) == 0 && S_ISREG(status.st_mode)) size = static_cast<std::size_t>(status.st_size);
  // Starts used up, so that the first line begins with a read.
  return MergedLineReader(std::move(*file), std::make_unique_for_overwrite<char[]>(buffer_size), size);
}

Result<std::optional<std::string>> MergedLineReader::next_line() {
  std::string line;
  bool ended_by_lf = false;
  while (!ended_by_lf) {
    if (position_ == filled_) {
      if (line.size() >= buffer_size) reserve_rest_of_file(line, unread_);
      auto got = read_some(file_, buffer_.get(), buffer_size);
      if (!got) return std::unexpected(std::move(got.error()));
      filled_ = *got;
      position_ = 0;
      unread_ -= std::min(unread_, filled_);
      if (filled_ == 0) break;
    }
    const char* start = buffer_.get() + position_;
    std::size_t available = filled_ - position_;
    std::size_t take = available;
    if (const void* lf = std::memchr(start, '\n', available)) {
      take = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
      ended_by_lf = true;
    }
    line.append(start, take);
    position_ += take;
  }
  if (line.empty()) return std::optional<std::string>();
  if (!is_valid_utf8(line)) return std::unexpected(IoError::invalid_utf8());
  if (ended_by_lf) {
    line.pop_back();
    if (line.ends_with('\r')) line.pop_back();
  }
  return std::optional<std::string>(std::move(line));
}

void MergedLineReader::close() {
  buffer_.reset();
  filled_ = position_ = 0;
  file_.reset();
}

Status split_file(std::string_view merged_file, std::optional<std::string_view> output) {
  if (Status found = require_existing(merged_file); !found) return found;

  auto payloads = read_payloads(merged_file);
  if (!payloads) return std::unexpected(std::move(payloads.error()));
  if (!payloads_complete(*payloads)) return std::unexpected(make_message_error("Invalid merged file."));

  // Each raw payload is decoded in its own storage and becomes the text.
  std::string python_text = decode_python_payload(std::move(payloads->python_raw));
  std::string js_text = decode_js_payload(std::move(payloads->js_raw));

  Result<ModuleKind> kind = detect_module_kind(merged_file);
  if (!kind) return std::unexpected(std::move(kind.error()));
  if (*kind == ModuleKind::EsModule) js_text = cjs_text_to_esm(js_text);
  std::string extension = js_output_extension(merged_file);
  std::string_view folder = output.value_or(default_output);

  if (auto made = create_folders(folder); !made) return made;
  std::string python_path = join_path(folder, "result.py");
  if (auto written = write_file(python_path, python_text); !written) return written;
  std::string js_path = join_path(folder, "result." + extension);
  if (auto written = write_file(js_path, js_text); !written) return written;

  return report_lines({"Split:", "  " + python_path, "  " + js_path});
}

std::string js_output_extension(std::string_view merged_file) {
  std::string_view name = path_file_name(merged_file);
  for (std::string_view extension : js_output_extensions) {
    std::size_t suffix = extension.size() + 4;  // ".py." and the entry
    if (name.size() >= suffix && name.ends_with(extension) && name.substr(name.size() - suffix, 4) == ".py.") {
      return std::string(extension);
    }
  }
  return "js";
}

}  // namespace dsf
