// The reader side of the merged-file format: the payload lines found among a file's lines, and
// their payloads decoded back into source texts.
#pragma once

#include <string>
#include <string_view>

namespace dsf {

// The raw payloads of the last recognised payload line of each language, and whether a line of
// that language was recognised at all: an empty raw payload is a payload too.
struct RawPayloads {
  std::string python_raw;
  std::string js_raw;
  bool python_found = false;
  bool js_found = false;
};

// Takes the line whole: a payload line becomes its raw payload in the line's own storage, with
// no second allocation.
void scan_payload_line(RawPayloads& payloads, std::string line);
// True when a payload line of each language was recognised.
bool payloads_complete(const RawPayloads& payloads);

// Both decoders read a backslash and the character after it as one escape; a backslash before
// any other character, or at the end, is copied as it stands. They decode in the raw text's own
// storage, so a caller that moves the raw text in holds no second copy.
std::string decode_python_payload(std::string python_raw);
std::string decode_js_payload(std::string js_raw);

// The text without one double quote at each end, when it has both.
std::string strip_enclosing_quotes(std::string_view text);

}  // namespace dsf
