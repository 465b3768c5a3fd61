#include "common/text.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace dsf {
namespace {

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  LineCursor cursor(text);
  for (std::string_view line; cursor.next(line);) lines.emplace_back(line);
  return lines;
}

TEST(LineCursor, CutsAtLfAndDropsOnlyTheCrBeforeIt) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(lines_of(""), Lines{});
  EXPECT_EQ(lines_of("\n"), Lines{""});
  EXPECT_EQ(lines_of("a\nb\n"), (Lines{"a", "b"}));
  EXPECT_EQ(lines_of("a\r\nb\r\n\n"), (Lines{"a", "b", ""}));
  EXPECT_EQ(lines_of("a\rb\r"), Lines{"a\rb\r"});
  EXPECT_EQ(lines_of("a\r\r\nb"), (Lines{"a\r", "b"}));
}

TEST(WhiteSpace, TrimsJavaScriptsSetAndNothingElse) {
  // Every member of the White_Space set and U+FEFF, in UTF-8, on both sides.
  const std::string all = "\t\n\v\f\r \u0085\u00A0\u1680\u2000\u2005\u200A\u2028\u2029\u202F\u205F\u3000\uFEFF";
  EXPECT_EQ(trim_js(all + "x y" + all), "x y");
  EXPECT_EQ(trim_js_start(all + "x "), "x ");
  EXPECT_EQ(trim_js_end(" x" + all), " x");
  EXPECT_EQ(trim_js(all), "");
  // Near neighbours of the set stay: U+200B, U+180E, U+0084, U+FEFE.
  for (std::string_view kept : {"\u200B", "\u180E", "\u0084", "\uFEFE"}) {
    EXPECT_EQ(trim_js(kept), kept);
  }
  // Python's white space is the White_Space set alone.
  EXPECT_EQ(white_space_at("\u3000", 0), 3u);
  EXPECT_EQ(white_space_at("\uFEFF", 0), 0u);
  EXPECT_EQ(js_white_space_at("\uFEFF", 0), 3u);
}

TEST(AsciiLower, ChangesOnlyAToZ) {
  EXPECT_EQ(ascii_lower("PY.Mjs-ÄÖ_Z@["), "py.mjs-ÄÖ_z@[");
}

TEST(Utf8, AcceptsWellFormedAndRefusesEveryIllFormedShape) {
  EXPECT_TRUE(is_valid_utf8(""));
  EXPECT_TRUE(is_valid_utf8("plain ascii text that is longer than eight bytes"));
  EXPECT_TRUE(is_valid_utf8("é € 😀 \U0010FFFF"));
  for (std::string_view bad : {"\x80", "\xC0\xAF", "\xC2", "\xE0\x80\xAF", "\xED\xA0\x80",
                               "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "abcdefgh\xFF", "\xE2\x82"}) {
    EXPECT_FALSE(is_valid_utf8(bad)) << testing::PrintToString(bad);
  }
}

TEST(Ascii, FindsAByteBeyondAsciiAnywhere) {
  EXPECT_TRUE(is_ascii(""));
  std::string text(70, 'a');
  EXPECT_TRUE(is_ascii(text));
  for (std::size_t at = 0; at < text.size(); ++at) {
    std::string marked = text;
    marked[at] = '\x80';
    EXPECT_FALSE(is_ascii(marked)) << at;
  }
}

TEST(Utf8, ReplacesEachMaximalIllFormedPartWithOneReplacementCharacter) {
  EXPECT_EQ(replace_invalid_utf8("a\xFF" "b"), "a\uFFFDb");
  EXPECT_EQ(replace_invalid_utf8("\xE2\x82" "x"), "\uFFFDx");
  EXPECT_EQ(replace_invalid_utf8("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(replace_invalid_utf8("ok é"), "ok é");
}

}  // namespace
}  // namespace dsf
