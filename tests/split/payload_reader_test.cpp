#include "split/payload_reader.hpp"

#include <gtest/gtest.h>

#include <random>

#include "common/text.hpp"
#include "merge/payload_writer.hpp"

namespace dsf {
namespace {

RawPayloads scan(std::initializer_list<std::string_view> lines) {
  RawPayloads payloads;
  for (auto line : lines) scan_payload_line(payloads, std::string(line));
  return payloads;
}

constexpr std::string_view python_line = R"x(1 // (lambda: exec("""def hi():\n\tprint(\"hi\")""", globals()) or 1)())x";
constexpr std::string_view js_line = R"x(lambda: eval("let s = \"hi\";\n"))x";

TEST(ScanPayloadLine, FindsBothPayloadsInAnyOrderAmongOtherLines) {
  for (const RawPayloads& p : {scan({python_line, js_line}), scan({"x", js_line, "", python_line, "y"})}) {
    EXPECT_EQ(p.python_raw, R"x("def hi():\n\tprint(\"hi\")")x");
    EXPECT_EQ(p.js_raw, R"x(let s = \"hi\";\n)x");
    EXPECT_TRUE(payloads_complete(p));
    EXPECT_EQ(decode_python_payload(p.python_raw), "def hi():\n\tprint(\"hi\")");
    EXPECT_EQ(decode_js_payload(p.js_raw), "let s = \"hi\";\n");
  }
}

TEST(ScanPayloadLine, LaterLinesWinAndBrokenLinesChangeNothing) {
  EXPECT_EQ(scan({python_line, R"x(1 // (lambda: exec("""b""", globals()) or 1)())x"}).python_raw, R"x("b")x");
  RawPayloads emptied = scan({python_line, js_line, R"x(lambda: eval(""))x"});
  EXPECT_EQ(emptied.js_raw, "");
  EXPECT_TRUE(payloads_complete(emptied));
  EXPECT_EQ(scan({R"x(lambda: eval("x");)x"}).js_raw, "x");
  EXPECT_EQ(scan({R"x(lambda: eval("a") + b("c"))x"}).js_raw, R"x(a") + b("c)x");

  RawPayloads overlapping = scan({R"x(1 // (lambda: exec("", globals()) or 1)())x", R"x(lambda: eval("))x"});
  EXPECT_EQ(overlapping.python_raw, "");
  EXPECT_EQ(overlapping.js_raw, "");
  EXPECT_EQ(scan({python_line, R"x(1 // (lambda: exec("""no end)x"}).python_raw, R"x("def hi():\n\tprint(\"hi\")")x");
  EXPECT_FALSE(payloads_complete(scan({std::string(" ") + std::string(python_line), "\uFEFF" + std::string(js_line)})));
}

// A recognised payload line counts, whatever its payload holds; a line that is no payload line
// does not.
TEST(PayloadsComplete, AsksForARecognisedLineOfEachLanguage) {
  constexpr std::string_view empty_python = R"x(1 // (lambda: exec("""""", globals()) or 1)())x";
  constexpr std::string_view empty_js = R"x(lambda: eval(""))x";
  RawPayloads p = scan({empty_python, empty_js});
  EXPECT_TRUE(payloads_complete(p));
  EXPECT_EQ(decode_python_payload(p.python_raw), "");
  EXPECT_EQ(decode_js_payload(p.js_raw), "");
  EXPECT_TRUE(payloads_complete(scan({R"x(1 // (lambda: exec("""", globals()) or 1)())x", js_line})));

  for (const RawPayloads& incomplete : {
           scan({}),
           scan({empty_python}),
           scan({empty_js, "x"}),
           scan({R"x(1 // (lambda: exec("", globals()) or 1)())x", empty_js}),  // its marker overlaps the prefix
           scan({python_line, R"x(lambda: eval("))x"}),
       }) {
    EXPECT_FALSE(payloads_complete(incomplete));
  }
}

TEST(Decode, ReadsEachEscapeOnceAndCopiesOtherBackslashes) {
  struct Case { std::string_view raw, python, js; };
  for (auto [raw, python, js] : {
           Case{"abc", "abc", "abc"},
           Case{"\"\"", "", "\"\""},
           Case{"\"", "\"", "\""},
           Case{R"x(\\n)x", R"x(\n)x", R"x(\n)x"},        // an escaped backslash before n
           Case{R"x(a\\\nb)x", "a\\\nb", "a\\\nb"},  // a backslash before a line break
           Case{R"x(\\\t)x", "\\\t", "\\\t"},
           Case{R"x(\')x", "'", R"x(\')x"},
           Case{R"x(\u2028\u2029\u2027)x", "\u2028\u2029\\u2027", R"x(\u2028\u2029\u2027)x"},
           Case{R"x(\q\)x", R"x(\q\)x", R"x(\q\)x"},
           Case{"__LITERAL_N____LITERAL_T__", "__LITERAL_N____LITERAL_T__", "__LITERAL_N____LITERAL_T__"},
       }) {
    EXPECT_EQ(decode_python_payload(std::string(raw)), python) << raw;
    EXPECT_EQ(decode_js_payload(std::string(raw)), js) << raw;
  }
}

// Every payload the writer makes decodes to exactly the text it was made from.
TEST(Decode, InvertsTheWriterForArbitraryTexts) {
  const std::vector<std::string> pieces = {"\\", "\"", "'", "\n", "\t", "n", "t", "u2028", "\u2028", "\u2029",
                                           "__LITERAL_N__", "__LITERAL_T__", "x", "é", " ", "\"\"\""};
  std::mt19937 random(20261210);
  for (int round = 0; round < 5000; ++round) {
    std::string text;
    for (auto n = random() % 12; n > 0; --n) text += pieces[random() % pieces.size()];
    std::string python_raw = "\"" + escape_python_text(text) + "\"";
    EXPECT_EQ(decode_python_payload(python_raw), text);
    EXPECT_EQ(decode_js_payload(escape_js_text(text)), text);
  }
}

// Writes a whole merged file and reads it back as a split does, line by line.
RawPayloads write_and_scan(std::string_view python, std::string_view js) {
  std::string merged = fill_merged_template(prepare_python_payload(python), prepare_js_payload(js));
  RawPayloads payloads;
  LineCursor cursor(merged);
  for (std::string_view line; cursor.next(line);) scan_payload_line(payloads, std::string(line));
  return payloads;
}

void expect_normalised_round_trip(std::string_view python, std::string_view js) {
  RawPayloads p = write_and_scan(python, js);
  std::string js_expected = terminate_js_lines(normalize_line_breaks(js));
  ASSERT_TRUE(payloads_complete(p)) << js;
  EXPECT_EQ(decode_python_payload(p.python_raw), reindent_python(normalize_line_breaks(python))) << python;
  EXPECT_EQ(decode_js_payload(p.js_raw), js_expected) << js;
}

TEST(MergedFile, SplitGivesBackTheNormalisedSources) {
  // Texts that sequential replacements used to change: a backslash before a line break or a TAB,
  // and the placeholder texts themselves.
  expect_normalised_round_trip("x = 1 + \\\n    2\nif x:\n\ty = \"a\\\tb\"\n", "s = 'a\\\n' + `\\\tx`\n");
  expect_normalised_round_trip("print('__LITERAL_N__', '__LITERAL_T__')", "log('__LITERAL_N__', \"__LITERAL_T__\")");
  expect_normalised_round_trip("s = 'a\u2028b\u2029' # \\u2028", "s = 'a\u2028b' // \\u2029");
  EXPECT_EQ(decode_python_payload(write_and_scan("a = 1 + \\\n  2", "x").python_raw), "a = 1 + \\\n  2");
}

TEST(MergedFile, SplitGivesBackTheNormalisedSourcesOfArbitraryTexts) {
  const std::vector<std::string> pieces = {"\\", "\"", "'", "\n", "\r", "\r\n", "\t", "  ", "n", "t", "u2028",
                                           "\u2028", "\u2029", "\u00A0", "__LITERAL_N__", "\")", "\"\"\"", "x", "é",
                                           ", globals()) or 1)()"};
  std::mt19937 random(20261211);
  for (int round = 0; round < 3000; ++round) {
    std::string python, js;
    for (auto n = random() % 16; n > 0; --n) python += pieces[random() % pieces.size()];
    for (auto n = random() % 16; n > 0; --n) js += pieces[random() % pieces.size()];
    expect_normalised_round_trip(python, js);
    if (::testing::Test::HasFailure()) break;
  }
}

TEST(StripEnclosingQuotes, TakesOneQuoteAtEachEnd) {
  EXPECT_EQ(strip_enclosing_quotes("\"\"\"\""), "\"\"");
  EXPECT_EQ(strip_enclosing_quotes("\"a"), "\"a");
  EXPECT_EQ(strip_enclosing_quotes(""), "");
}

// The end marker is looked for after the prefix only: the opening's quotes followed by the
// source's first characters can spell it too.
TEST(ScanPayloadLine, FindsTheEndMarkerAfterThePrefixOnly) {
  for (std::string_view python : {", globals()) or 1)()", ", globals()) or 1)()\nprint(1)"}) {
    std::string merged = fill_merged_template(prepare_python_payload(python), "x");
    RawPayloads p = scan({std::string_view(merged).substr(0, merged.find('\n'))});
    EXPECT_EQ(decode_python_payload(p.python_raw), python);
  }
  EXPECT_EQ(scan({R"x(1 // (lambda: exec("", globals()) or 1)())x"}).python_raw, "");
}

}  // namespace
}  // namespace dsf
