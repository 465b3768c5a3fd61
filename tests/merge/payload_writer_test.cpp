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

TEST(PythonPayload, NormalisesLineBreaksReindentsAndEscapes) {
  struct Case { std::string_view source, payload; };
  for (auto [source, payload] : {
           Case{"a\r\nb\rc", R"x(a\nb\nc)x"},
           Case{"a\nb\nc", R"x(a\nb\nc)x"},
           Case{"a\r\n  b\r    c", R"x(a\n\tb\n\t\tc)x"},
           Case{"x\n", "x"},
           Case{"x\n\n", R"x(x\n)x"},
           Case{"x  ", "x  "},
           Case{"print('a')", R"x(print(\'a\'))x"},
           Case{"x = \"\"\"doc\"\"\"", R"x(x = \"\"\"doc\"\"\")x"},
           Case{"s = 'a\\n'", R"x(s = \'a\\n\')x"},
           Case{"s = 'a' \\\r\n  'b'", R"x(s = \'a\' \\\n  \'b\')x"},  // joined by a backslash: kept
       }) {
    EXPECT_EQ(prepare_python_payload(source), payload) << source;
  }
}

TEST(ReindentPython, TurnsLeadingSpacesIntoTabsWhereThatIsExact) {
  struct Case { std::string_view source, result; };
  for (auto [source, result] : {
           Case{"a\n  b\n    c", "a\n\tb\n\t\tc"},                            // unit 2
           Case{"if a:\n    b\n        c\n    d\n", "if a:\n\tb\n\t\tc\n\td"},  // unit 4
           Case{"if a:\n      b\n   c", "if a:\n\t\tb\n\tc"},                  // unit 3
           Case{"def f():\n    x = 1\n\n    \n    return x", "def f():\n\tx = 1\n\n\t\n\treturn x"},
           Case{"a\n  b\n \n    c", "a\n\t\tb\n\t\n\t\t\t\tc"},  // a blank line of one space: unit 1
           Case{"if x:\n  y = 'a  \tb'  ", "if x:\n\ty = 'a  \tb'  "},  // only leading spaces count
           Case{"s = ''\nif s:\n  t = \"\"", "s = ''\nif s:\n\tt = \"\""},  // two quotes open no string
           Case{"x\n\n", "x\n"},
           Case{"\n", ""},
           Case{"", ""},
       }) {
    EXPECT_EQ(reindent_python(source), result) << source;
  }
}

// Where TABs could change a string's value or the blocks, every line stays as it is; only the
// final line break goes, as it always does.
TEST(ReindentPython, KeepsEveryLineWhereTabsWouldNotBeExact) {
  for (std::string_view source : {
           "if a:\n        b\nelse:\n      c\n",                 // blocks at 8 and 6 spaces
           "a\n    b\n      c",                                  // 6 is no multiple of 4
           "def f():\n    x = (1 +\n         2)\n    return x",  // a continuation line at 9
           "def f():\n    \"\"\"Doc.\n\n       Indented.\n    \"\"\"",
           "x = '''\n    three\n'''\nif x:\n    y",
           "s = 'one \\\n    two'\nif s:\n    print(s)",  // a string continued by a backslash
           "x = 1 + \\\n    2\nif x:\n    y",
           "if a:\n\tb\n\t\tc",         // TABs
           "if a:\n    b\n\f    c",     // a form feed
           "if a:\n\tb\nif c:\n    d",  // TABs and spaces in different lines
           "if a:\n  \tb\n  c",         // and in one line
           "  x\n\u00A0 y",             // a no-break space
       }) {
    std::string_view expected = source.ends_with('\n') ? source.substr(0, source.size() - 1) : source;
    EXPECT_EQ(reindent_python(source), expected) << source;
  }
}

// A replacement field over several lines holds its lines' indentation in what the program
// gives (the text of an `=` field, a t-string's expression): such a text keeps every line. Each
// source would otherwise be converted, to TABs of its smallest indentation.
TEST(ReindentPython, KeepsEveryLineWhereAFormatStringRunsOverSeveralLines) {
  for (std::string_view source : {
           "if True:\n    print(f\"{\n        x=}\")",
           "if x:\n    print(f\"{x[\n  0]=}\")",
           "if True:\n    e = t\"{\n    x}\".interpolations[0].expression",
           "if a:\n    s = Rf'{\n        x}'",
           "if a:\n    s = fR\"{x}\" + tr'{\n    x}'",
           "if a:\n    s = F'{g(\"}\",\n        1)}'",
           "if a:\n    s = f\"{f'{\n        x}'}\"",
           "if a:\n    s = f\"{f\"{\n        x}\"}\"",  // the same quotes inside a field
           "if a:\n    s = f'{x:{\n        w}}'",            // a field in the format specification
           "if a:\n    s = f'{x # note\n        }'",         // a comment in a field
           // After a field nested in a field's format, {{ is a literal brace, so the
           // }} of the next string closes nothing.
           "if True:\n    print(f'{1:{\"\"}{{>3}', f\"'}}'{1\n    =}\")",
       }) {
    EXPECT_EQ(reindent_python(source), source) << source;
  }
}

// Format strings on one line, and texts that only look like them, leave the conversion to TABs
// as it is.
TEST(ReindentPython, ConvertsAroundFormatStringsOnOneLine) {
  struct Case { std::string_view source, result; };
  for (auto [source, result] : {
           Case{"if a:\n    s = f\"{x!r:>{w}} {{}} {'q'} {d[\"k\"]}\"\n    t = t'{x=}'",
                "if a:\n\ts = f\"{x!r:>{w}} {{}} {'q'} {d[\"k\"]}\"\n\tt = t'{x=}'"},
           Case{"if a:\n    s = f'{{' + f\"}}\" + f'{ {1: 2}[1] }'\n    y", "if a:\n\ts = f'{{' + f\"}}\" + f'{ {1: 2}[1] }'\n\ty"},
           Case{"if a:\n    s = f'\\N{DIGIT ONE}{x}\\'' + rf'\\{x}'\n    y",
                "if a:\n\ts = f'\\N{DIGIT ONE}{x}\\'' + rf'\\{x}'\n\ty"},
           Case{"if a:\n    s = f'{x}'  # f'{\n    y", "if a:\n\ts = f'{x}'  # f'{\n\ty"},
           Case{"if a:\n    s = 'f\"{' + b'{' + rb'\\'' + u'{'\n    y",
                "if a:\n\ts = 'f\"{' + b'{' + rb'\\'' + u'{'\n\ty"},
           Case{"if a:\n    elif_ = inf'{'\n    y", "if a:\n\telif_ = inf'{'\n\ty"},  // inf is no prefix
           Case{"if a:\n    s = (f'{x}'\n        f'{y}')", "if a:\n\ts = (f'{x}'\n\t\tf'{y}')"},  // two strings
           Case{"if a:\n    s = f'{1:{\"\"}{{>3}'\n    y", "if a:\n\ts = f'{1:{\"\"}{{>3}'\n\ty"},
       }) {
    EXPECT_EQ(reindent_python(source), result) << source;
  }
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
