#include "common/text.hpp"

#include <bit>
#include <cstdint>
#include <cstring>

namespace dsf {
namespace {

// The length that a sequence starting with `lead` must have, and the range its second byte
// must fall in; false when `lead` starts no sequence.
bool sequence_shape(unsigned char lead, std::size_t& length, unsigned char& low, unsigned char& high) {
  low = 0x80;
  high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;    // overlong
    if (lead == 0xED) high = 0x9F;   // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;    // overlong
    if (lead == 0xF4) high = 0x8F;   // above U+10FFFF
  } else {
    return false;
  }
  return true;
}

// How many bytes at the start of `s` form the longest prefix of a well-formed sequence
// (at least 1), and whether that prefix is a whole sequence.
std::size_t valid_prefix(const unsigned char* s, std::size_t available, bool& complete) {
  complete = false;
  if (s[0] < 0x80) {
    complete = true;
    return 1;
  }
  std::size_t length;
  unsigned char low, high;
  if (!sequence_shape(s[0], length, low, high)) return 1;
  if (available < 2 || s[1] < low || s[1] > high) return 1;
  std::size_t i = 2;
  while (i < length && i < available && (s[i] & 0xC0) == 0x80) ++i;
  complete = i == length;
  return i;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t size = bytes.size();
  std::size_t i = 0;
  while (i < size) {
    // Most text is ASCII: check eight bytes at a time, and go straight to the first byte that is
    // not.
    if (i + 8 <= size) {
      std::uint64_t word;
      std::memcpy(&word, s + i, 8);
      if (std::uint64_t high = word & 0x8080808080808080ULL; high != 0) {
        static_assert(std::endian::native == std::endian::little, "the first byte is the word's lowest");
        i += static_cast<std::size_t>(std::countr_zero(high)) / 8;
      } else {
        i += 8;
        continue;
      }
    }
    bool complete;
    i += valid_prefix(s + i, size - i, complete);
    if (!complete) return false;
  }
  return true;
}

bool is_ascii(std::string_view bytes) {
  // 32 bytes at a time: the high bits of four words are gathered before the one test.
  std::size_t i = 0;
  for (; i + 32 <= bytes.size(); i += 32) {
    std::uint64_t words[4];
    std::memcpy(words, bytes.data() + i, 32);
    if (((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ULL) != 0) return false;
  }
  for (; i < bytes.size(); ++i) {
    if (static_cast<unsigned char>(bytes[i]) >= 0x80) return false;
  }
  return true;
}

std::string replace_invalid_utf8(std::string_view bytes) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    bool complete;
    std::size_t length = valid_prefix(s + i, bytes.size() - i, complete);
    if (complete) {
      out.append(bytes.substr(i, length));
    } else {
      out += "\xEF\xBF\xBD";  // one U+FFFD for each maximal ill-formed subpart
    }
    i += length;
  }
  return out;
}

bool LineCursor::next(std::string_view& line) {
  if (rest_.empty()) return false;
  std::size_t lf = rest_.find('\n');
  if (lf == std::string_view::npos) {
    line = rest_;
    rest_ = {};
    return true;
  }
  line = rest_.substr(0, lf);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  rest_.remove_prefix(lf + 1);
  return true;
}

// The White_Space set: U+0009..U+000D, U+0020, U+0085, U+00A0, U+1680, U+2000..U+200A,
// U+2028, U+2029, U+202F, U+205F, U+3000. Matched on their UTF-8 bytes directly.
std::size_t white_space_at(std::string_view text, std::size_t pos) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data()) + pos;
  const std::size_t n = text.size() - pos;
  if (n == 0) return 0;
  if (s[0] == ' ' || (s[0] >= 0x09 && s[0] <= 0x0D)) return 1;
  if (n >= 2 && s[0] == 0xC2 && (s[1] == 0x85 || s[1] == 0xA0)) return 2;
  if (n >= 3) {
    if (s[0] == 0xE1 && s[1] == 0x9A && s[2] == 0x80) return 3;
    if (s[0] == 0xE2 && s[1] == 0x80 &&
        ((s[2] >= 0x80 && s[2] <= 0x8A) || s[2] == 0xA8 || s[2] == 0xA9 || s[2] == 0xAF)) {
      return 3;
    }
    if (s[0] == 0xE2 && s[1] == 0x81 && s[2] == 0x9F) return 3;
    if (s[0] == 0xE3 && s[1] == 0x80 && s[2] == 0x80) return 3;
  }
  return 0;
}

std::size_t js_white_space_at(std::string_view text, std::size_t pos) {
  if (text.substr(pos).starts_with("\uFEFF")) return 3;
  return white_space_at(text, pos);
}

std::size_t js_white_space_before(std::string_view text, std::size_t end) {
  for (std::size_t length : {std::size_t{1}, std::size_t{2}, std::size_t{3}}) {
    if (end >= length && js_white_space_at(text.substr(0, end), end - length) == length) return length;
  }
  return 0;
}

std::string_view trim_js_start(std::string_view text) {
  std::size_t pos = 0;
  while (std::size_t length = js_white_space_at(text, pos)) pos += length;
  return text.substr(pos);
}

std::string_view trim_js_end(std::string_view text) {
  std::size_t end = text.size();
  while (std::size_t length = js_white_space_before(text, end)) end -= length;
  return text.substr(0, end);
}

std::string_view trim_js(std::string_view text) { return trim_js_end(trim_js_start(text)); }

void drop_byte_order_mark(std::string& text) {
  if (text.starts_with("\uFEFF")) text.erase(0, 3);
}

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace dsf
