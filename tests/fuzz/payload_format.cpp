// The merged-file format: the payload-line scanner on any line, both decoders on any raw
// payload, and every text through the writer and back through the reader.
//
// The input is cut in two at a place its first byte chooses: a Python source and a JavaScript
// text. Raw decoding and line scanning use the whole input.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.hpp"
#include "merge/payload_writer.hpp"
#include "split/payload_reader.hpp"

namespace {

// The markers by which a reader knows the payload lines, as the format defines them.
constexpr std::string_view python_prefix = "1 // (lambda: exec(\"\"";
constexpr std::string_view python_end = "\"\", globals()) or 1)()";
constexpr std::string_view js_prefix = "lambda: eval(\"";
constexpr std::string_view js_end = "\")";

// The scanner, line by line, against the rule: the Python payload runs from the end of the
// prefix to the first end marker after it; the JavaScript payload to the last end marker; an
// empty payload is one too.
void check_scanner(std::string_view input) {
  dsf::RawPayloads payloads, expected;
  for (std::string_view line : fuzz::lines_of(input)) {
    dsf::scan_payload_line(payloads, std::string(line));
    if (line.starts_with(python_prefix)) {
      std::size_t end = line.find(python_end, python_prefix.size());
      if (end != std::string_view::npos) {
        expected.python_raw = line.substr(python_prefix.size(), end - python_prefix.size());
        expected.python_found = true;
      }
    } else if (line.starts_with(js_prefix)) {
      std::size_t end = line.rfind(js_end);
      if (end != std::string_view::npos && end >= js_prefix.size()) {
        expected.js_raw = line.substr(js_prefix.size(), end - js_prefix.size());
        expected.js_found = true;
      }
    }
    CHECK(payloads.python_raw == expected.python_raw, input);
    CHECK(payloads.js_raw == expected.js_raw, input);
  }
  // Complete once a line of each language was recognised, whatever its payload holds.
  CHECK(dsf::payloads_complete(payloads) == (expected.python_found && expected.js_found), input);
}

// Any raw payload decodes without reading past it, never grows, and keeps UTF-8 well-formed.
void check_decoders(std::string_view input) {
  std::string python = dsf::decode_python_payload(std::string(input));
  std::string js = dsf::decode_js_payload(std::string(input));
  CHECK(python.size() <= input.size() && js.size() <= input.size(), input);
  if (fuzz::valid_utf8(input)) CHECK(fuzz::valid_utf8(python) && fuzz::valid_utf8(js), input);
}

// A payload may hold no line break, CR or TAB; every backslash starts one of the escapes the
// writer makes and every double quote is escaped, so the payload cannot end its literal early.
bool well_escaped(std::string_view payload, bool python) {
  for (std::size_t i = 0; i < payload.size(); ++i) {
    char c = payload[i];
    if (c == '\n' || c == '\r' || c == '\t' || c == '"') return false;
    if (python && (payload.substr(i).starts_with("\u2028") || payload.substr(i).starts_with("\u2029"))) return false;
    if (c != '\\') continue;
    std::string_view tail = payload.substr(i + 1);
    if (tail.empty()) return false;
    if (python && (tail.starts_with("u2028") || tail.starts_with("u2029"))) {
      i += 5;
    } else if (tail[0] == '\\' || tail[0] == '"' || tail[0] == 'n' || tail[0] == 't' || (python && tail[0] == '\'')) {
      i += 1;
    } else {
      return false;
    }
  }
  return true;
}

// decode(escape(x)) == x for every UTF-8 text.
void check_escapes(std::string_view text) {
  std::string python = dsf::escape_python_text(text);
  std::string js = dsf::escape_js_text(text);
  // Lone CRs are turned into line breaks before escaping, so only they may stay raw here.
  std::string without_cr(text);
  std::erase(without_cr, '\r');
  CHECK(well_escaped(dsf::escape_python_text(without_cr), true), text);
  CHECK(well_escaped(dsf::escape_js_text(without_cr), false), text);
  CHECK(dsf::decode_python_payload("\"" + python + "\"") == text, text);
  CHECK(dsf::decode_js_payload(js) == text, text);
}

// Merged text written from the two sources and read back line by line gives the sources as
// their preparation leaves them.
void check_round_trip(std::string_view input, std::string_view python_source, std::string_view js_text) {
  std::string python_payload = dsf::prepare_python_payload(python_source);
  std::string js_payload = dsf::prepare_js_payload(js_text);
  CHECK(well_escaped(python_payload, true), input);
  CHECK(well_escaped(js_payload, false), input);

  std::string merged = dsf::fill_merged_template(python_payload, js_payload);
  CHECK(dsf::build_merged_text(std::string(python_source), std::string(js_text)) == merged, input);
  CHECK(std::count(merged.begin(), merged.end(), '\n') == 1, input);
  CHECK(fuzz::valid_utf8(merged), input);

  dsf::RawPayloads payloads;
  for (std::string_view line : fuzz::lines_of(merged)) dsf::scan_payload_line(payloads, std::string(line));
  CHECK(dsf::payloads_complete(payloads), input);
  CHECK(dsf::decode_python_payload(payloads.python_raw) ==
            dsf::reindent_python(dsf::normalize_line_breaks(python_source)),
        input);
  CHECK(dsf::decode_js_payload(payloads.js_raw) == dsf::terminate_js_lines(dsf::normalize_line_breaks(js_text)),
        input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::as_text(data, size);
  check_scanner(input);
  check_decoders(input);
  if (input.empty() || !fuzz::valid_utf8(input.substr(1))) return 0;

  std::string_view sources = input.substr(1);
  check_escapes(sources);
  // The cut moves back to the start of a character, so that both halves stay UTF-8.
  std::size_t cut = static_cast<std::size_t>(static_cast<unsigned char>(input[0])) * sources.size() / 255;
  while (cut > 0 && cut < sources.size() && (static_cast<unsigned char>(sources[cut]) & 0xC0) == 0x80) --cut;
  check_round_trip(input, sources.substr(0, cut), sources.substr(cut));
  return 0;
}
