#include "merge/payload_writer.hpp"

#include <gtest/gtest.h>

namespace dsf {
namespace {

TEST(MergedFile, WorkedExample) {
  std::string python = prepare_python_payload("def hi():\n    print(\"hi\")\n");
  std::string js = prepare_js_payload("let s = \"hi\"\n");
  EXPECT_EQ(python, R"x(def hi():\n\tprint(\"hi\"))x");
  EXPECT_EQ(js, R"x(let s = \"hi\"\n)x");
  EXPECT_EQ(fill_merged_template(python, js),
            "1 // (lambda: exec(\"\"\"def hi():\\n\\tprint(\\\"hi\\\")\"\"\", globals()) or 1)()\n"
            "lambda: eval(\"let s = \\\"hi\\\"\\n\")");
}

TEST(MergedFile, EmptySourcesGiveEmptyPayloads) {
  EXPECT_EQ(fill_merged_template(prepare_python_payload(""), prepare_js_payload("")),
            "1 // (lambda: exec(\"\"\"\"\"\", globals()) or 1)()\nlambda: eval(\"\")");
}

TEST(MergedFile, BuildsTheTemplateFilledWithBothPayloads) {
  struct Sources { std::string_view python, commonjs; };
  for (auto [python, commonjs] : {
           Sources{"", ""},
           Sources{"x\n", "\n"},
           Sources{"def f():\r\n    return '\\t'\r", "a = \"b\"\r\n\tc\rd"},
           Sources{"s = \"\u2028\u2029\u2192\"\n\n", "x = '\u2028'\ny\n"},
           Sources{"\xE2", "\\\n\n\n"},
       }) {
    EXPECT_EQ(build_merged_text(std::string(python), std::string(commonjs)),
              fill_merged_template(prepare_python_payload(python), prepare_js_payload(commonjs)))
        << python << " / " << commonjs;
  }
}

TEST(PythonPayload, NormalisesLineBreaksAndReindentsWithTabs) {
  struct Case { std::string_view source, payload; };
  for (auto [source, payload] : {
           Case{"a\r\nb\rc", R"x(a\nb\nc)x"},
           Case{"a\nb\nc", R"x(a\nb\nc)x"},
           Case{"a\n  b\n    c", R"x(a\n\tb\n\t\tc)x"},
           Case{"a\n  b\n \n    c", R"x(a\n\t\tb\n\t\n\t\t\t\tc)x"},  // a blank line of one space: unit 1
           Case{"x\n", "x"},
           Case{"x\n\n", R"x(x\n)x"},
           Case{"x  ", "x  "},
           Case{"if a:\n      b\n   c", R"x(if a:\n\t\tb\n\tc)x"},  // unit 3: six spaces are two TABs
           Case{"a\n    b\n      c", R"x(a\n\tb\n\tc)x"},  // unit 4: the remainder of six is dropped
           Case{"print('a')", R"x(print(\'a\'))x"},
           Case{"x = \"\"\"doc\"\"\"", R"x(x = \"\"\"doc\"\"\")x"},
           Case{"s = 'a\\n'", R"x(s = \'a\\n\')x"},
       }) {
    EXPECT_EQ(prepare_python_payload(source), payload) << source;
  }
}

TEST(PythonPayload, KeepsLinesWhoseIndentationIsNotOnlySpaces) {
  EXPECT_EQ(reindent_python("if a:\n\tb\n\t\tc\n  d"), "if a:\n\tb\n\t\tc\n\td");
  EXPECT_EQ(reindent_python("  \tx\n\u00A0y"), "  \tx\n\u00A0y");
}

TEST(PythonPayload, EscapesLineSeparatorsThatWouldEndTheJavaScriptComment) {
  EXPECT_EQ(escape_python_text("a\u2028b\u2029c\u2027"), "a\\u2028b\\u2029c\u2027");
}

TEST(JsPayload, KeepsEveryLineAsItStandsAndEndsEachWithLf) {
  EXPECT_EQ(terminate_js_lines(""), "");
  EXPECT_EQ(terminate_js_lines("  x = 1   \n{\nreturn\na +\n   \n// c"), "  x = 1   \n{\nreturn\na +\n   \n// c\n");
  EXPECT_EQ(prepare_js_payload("x = 's'"), R"x(x = 's'\n)x");
  EXPECT_EQ(prepare_js_payload("q=\"é\"\r\n\tr\\n"), R"x(q=\"é\"\n\tr\\n\n)x");
}

}  // namespace
}  // namespace dsf
