"""Merged files run for real in both interpreters, and split back into their sources."""

import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import duoscriptforge as dsf

PROGRAMS = Path(__file__).parent / "programs"


def run(*command, cwd):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True, check=True).stdout


@pytest.fixture
def sources(in_tmp):
    for program in PROGRAMS.iterdir():
        shutil.copy(program, in_tmp / program.name)
    return in_tmp


def normalised_python(text, tabs):
    """What a merge and a split make of a Python source: the final line break goes, and leading
    spaces become TABs, four to a TAB, where the merge can do that exactly."""
    text = text.removesuffix("\n")
    return re.sub(r"(?m)^( +)", lambda spaces: "\t" * (len(spaces[1]) // 4), text) if tabs else text


# app.py keeps its spaces (it holds triple quotes, backslash continuations and uneven
# continuation lines), tabs.py its TABs; spaces.py is indented by four spaces and nothing else.
@pytest.mark.parametrize("python_source, tabs", [("app.py", False), ("tabs.py", False), ("spaces.py", True)])
def test_merged_file_runs_in_python_and_node_as_its_sources_do(sources, python_source, tabs, capfd):
    expected_python = run(sys.executable, python_source, cwd=sources)
    expected_node = run("node", "app.mjs", cwd=sources)

    # Node runs a .mjs file as an ES module, where eval() has no require: name it .cjs.
    dsf.merge(python_source, "app.mjs", "merged/app.py.cjs")
    assert capfd.readouterr().out == "Merged:\n  merged/app.py.cjs\n"

    merged = sources / "merged/app.py.cjs"
    assert merged.read_text().count("\n") == 1
    assert run(sys.executable, str(merged), cwd=sources) == expected_python
    assert run("node", str(merged), cwd=sources) == expected_node

    dsf.split("merged/app.py.cjs", "back")
    assert capfd.readouterr().out == "Split:\n  back/result.py\n  back/result.cjs\n"
    python_back = (sources / "back/result.py").read_text()
    assert python_back == normalised_python((sources / python_source).read_text(), tabs)
    assert run(sys.executable, "back/result.py", cwd=sources) == expected_python
    assert run("node", "back/result.cjs", cwd=sources) == expected_node


def test_split_gives_back_normalised_sources_and_es_modules_that_node_loads(sources, capfd):
    expected_node = run("node", "app.mjs", cwd=sources)
    dsf.merge("app.mjs", "tabs.py", None)  # reversed order: the extensions decide
    capfd.readouterr()
    merged = sources / "out/result.py.mjs"
    assert merged.exists()

    dsf.split("out/result.py.mjs", "back")
    assert capfd.readouterr().out == "Split:\n  back/result.py\n  back/result.mjs\n"
    assert (sources / "back/result.py").read_text() == (PROGRAMS / "tabs.py").read_text().rstrip("\n")
    es_module = (sources / "back/result.mjs").read_text()
    assert "require(" not in es_module and "exports" not in es_module
    assert run("node", "back/result.mjs", cwd=sources) == expected_node

    # The same merged text under a .js name splits into CommonJS unless a package.json says otherwise.
    shutil.copy(merged, sources / "result.py.js")
    dsf.split("result.py.js", "cjs")
    assert "require(\"node:path\")" in (sources / "cjs/result.js").read_text()
    (sources / "project").mkdir()
    (sources / "project/package.json").write_text('{"type": "module"}')
    shutil.copy(merged, sources / "project/result.py.js")
    dsf.split("project/result.py.js", "project/esm")
    assert run("node", "project/esm/result.js", cwd=sources) == expected_node


def test_report_goes_to_descriptor_one_and_a_closed_output_is_no_failure(run_python, sources):
    code = """
        import duoscriptforge, os, sys
        {prepare}
        duoscriptforge.merge("app.py", "app.mjs", None)
        sys.stderr.write("done\\n")
    """
    shown = run_python(code.format(prepare="sys.stdout = None"), sources)
    assert shown.stdout == "Merged:\n  out/result.py.mjs\n"
    closed = run_python(code.format(prepare="os.close(1)"), sources)
    assert (closed.returncode, closed.stdout, closed.stderr) == (0, "", "done\n")


UNEVEN = '''def pick(x):
    if x:
        return "yes"
    else:
      return "no"


print(pick(1), pick(0))
'''

STRINGS = """s = '''
   three
'''
print(repr(s))


def f():
    \"\"\"Doc.

       Indented.
    \"\"\"
    return f.__doc__


print(repr(f()))
t = 'one \\
    two'
print(repr(t))
"""

HELLO = "print('python')\n"

# The text of each field over several lines is part of the value, its indentation included.
FIELDS_OVER_LINES = """x = 1
xs = [1]
if True:
    print(f"{
        x=}")
    print(f"{xs[
  0]=}")
    print(repr(t"{
    x}".interpolations[0].expression))
"""

OPTIONAL_DEPENDENCY = """let loaded = false;
try {
  require('node:fs');
  loaded = true;
} catch (e) {}
function load() {
  require('node:path');
}
if (loaded) {
    require('node:os')
}
console.log('loaded', loaded, typeof load);
"""

# Python source, JavaScript source, extension of the JavaScript source.
CASES = {
    "byte-order marks": ("\ufeff" + HELLO, "\ufeffimport { join } from 'node:path';\nconsole.log(join('a', 'b'));\n",
                         "mjs"),
    "empty JavaScript": (HELLO, "", "js"),
    "a blank line of JavaScript": (HELLO, "\n", "js"),
    "export {}": (HELLO, "export {};\nconsole.log('module');\n", "mjs"),
    "side-effect imports": (HELLO, "import './side.cjs';\nimport \"node:fs\";\nconsole.log('after');\n", "mjs"),
    "uneven indentation": (UNEVEN, "console.log('js');\n", "js"),
    "strings with leading spaces": (STRINGS, "console.log('js');\n", "js"),
    "format-string fields over lines": (FIELDS_OVER_LINES, "console.log('js');\n", "js"),
    "require in blocks": (HELLO, OPTIONAL_DEPENDENCY, "js"),
    "export default function": (HELLO, "console.log(greet());\nexport default function greet() {\n  return 'hi';\n}\n",
                                "mjs"),
    "export default async function": (HELLO, "export default async function load() {}\nconsole.log(typeof load);\n",
                                      "mjs"),
    "export default class": (HELLO, "export default class Foo {\n  name = 'foo';\n}\nconsole.log(new Foo().name);\n",
                             "mjs"),
    "export default template literal": (
        HELLO, "export default /* glsl */`\nvoid main() {\n  gl_FragColor = vec4(1.0);\n}\n`;\nconsole.log('shader');\n",
        "mjs"),
    "export default arrow over lines": (HELLO, "export default (a) =>\n  a + 1;\nconsole.log('arrow');\n", "mjs"),
    "export default after a comment": (
        HELLO, "export default function f() { // main\n  return 1;\n}\nconsole.log(f());\n", "mjs"),
    "export default object over lines": (HELLO, "export default { // options\n  a: 1,\n}\nconsole.log('options');\n",
                                         "mjs"),
    "one-line anonymous default function": (
        HELLO, "export default function (a) { return a }\n[1, 2].forEach((n) => console.log(n));\n", "mjs"),
    "one-line anonymous default class": (
        HELLO, "export default class { m() { return 1 } }\n(function () { console.log('after'); })();\n", "mjs"),
    "one-line default class extends": (
        HELLO, "class Base {}\nexport default class extends Base {}\n(function () { console.log('after'); })();\n",
        "mjs"),
    "names beyond ASCII": (
        HELLO, "import \u00fc from 'node:path';\nexport function caf\u00e9() { return 1 }\n"
               "export default function na\u00efve() { return 2 }\nexport const \u03c0 = 3.14;\n"
               "console.log(caf\u00e9(), na\u00efve(), \u03c0, typeof \u00fc.join);\n", "mjs"),
    "lone CR line breaks": (HELLO, "import os from 'node:os'\rconsole.log(typeof os.platform)\r", "mjs"),
    "escaped brace in a field's format": ("if True:\n    print(f'{1:{\"\"}{{>3}', f\"'}}'{1\n    =}\")\n",
                                       "console.log('js');\n", "js"),
    "Other_ID_Start and Other_ID_Continue names": (
        HELLO, "export const col\u00b7lecci\u00f3 = 1;\nexport const \u2118 = 2;\n"
               "export function \u30a2\u30fb\u212e() { return 3 }\n"
               "console.log(col\u00b7lecci\u00f3, \u2118, \u30a2\u30fb\u212e());\n", "mjs"),
    "moved default function before a bracket": (
        HELLO, 'console.log("a")\nexport default function () {}\n[1, 2].forEach((v) => console.log(v))\n', "mjs"),
    "export list before a bracket": (
        HELLO, "const f = [5, 6, 7]\nconst g = f\nexport { g }\n\n// the list\n[1, 2].forEach((v) => console.log(v))\n",
        "mjs"),
    "moved default class before a call": (
        HELLO, "const h = function () { console.log('called'); return () => {} }\nexport default class {}\n"
               "(function () { console.log('after') })()\n", "mjs"),
    "moved re-export before a template": (
        HELLO, "const tag = (s) => s[0]\nexport * from 'node:path'\n`raw`.split('').forEach((c) => console.log(c))\n",
        "mjs"),
    "U+FEFF before and after export": (
        HELLO, "console.log(1);\n\ufeffexport const a = 2;\nexport\ufeffconst b = 3;\n"
               "export {\ufeffa as c\ufeff};\nconsole.log(a, b);\n", "mjs"),
    "two byte-order marks": (HELLO, "\ufeff\ufeffexport const a = 2;\nconsole.log(a);\n", "mjs"),
}


# The merged file and a CommonJS split run as the source does; an ES-module split, from a .mjs
# name or a .js name under a package.json that asks for modules (written with a byte-order mark,
# as some editors do), runs as the source does when Node.js loads it as an ES module (where a
# CommonJS source finds no require).
@pytest.mark.parametrize("python, js, extension", CASES.values(), ids=CASES.keys())
def test_sources_that_need_their_meaning_kept_run_alike_before_and_after_split(in_tmp, python, js, extension, capfd):
    (in_tmp / "app.py").write_bytes(python.encode())
    (in_tmp / f"app.{extension}").write_bytes(js.encode())
    (in_tmp / "as-module.mjs").write_bytes(js.encode())
    (in_tmp / "typed").mkdir()
    (in_tmp / "typed/package.json").write_bytes('\ufeff{"type": "module"}'.encode())
    for folder in ".", "cjs", "esm", "typed/esm":
        (in_tmp / folder).mkdir(exist_ok=True)
        (in_tmp / folder / "side.cjs").write_text("console.log('side');\n")
    expected_python = run(sys.executable, "app.py", cwd=in_tmp)
    expected_node = run("node", f"app.{extension}", cwd=in_tmp)
    expected_module = run("node", "as-module.mjs", cwd=in_tmp)

    dsf.merge("app.py", f"app.{extension}", "m.py.js")
    shutil.copy(in_tmp / "m.py.js", in_tmp / "m.py.mjs")
    shutil.copy(in_tmp / "m.py.js", in_tmp / "typed/m.py.js")
    dsf.split("m.py.js", "cjs")
    dsf.split("m.py.mjs", "esm")
    dsf.split("typed/m.py.js", "typed/esm")
    capfd.readouterr()
    assert run(sys.executable, "m.py.js", cwd=in_tmp) == expected_python
    assert run("node", "m.py.js", cwd=in_tmp) == expected_node
    for python_back in "cjs/result.py", "esm/result.py", "typed/esm/result.py":
        assert run(sys.executable, python_back, cwd=in_tmp) == expected_python
    assert run("node", "cjs/result.js", cwd=in_tmp) == expected_node
    assert run("node", "esm/result.mjs", cwd=in_tmp) == expected_module
    assert run("node", "typed/esm/result.js", cwd=in_tmp) == expected_module


# What a module exports, as Node.js sees it: the entries of its namespace, or of what require
# gives, sorted.
SHOW_EXPORTS = """
const show = (exported) => console.log(JSON.stringify(Object.entries(exported).sort()));
const path = require("node:path").resolve(process.argv[2]);
if (path.endsWith(".mjs")) import(path).then(show); else show(require(path));
"""

EXPORTS = {
    "a name that goes on beyond ASCII": 'const a = "wrong";\nexport const a\u00b7b = "right";\n',
    "names of Other_ID_Start characters": "export const \u2118 = 1;\nexport let \u309b\u309c = 2;\n",
    "U+FEFF around a list entry": "const a = 1;\nexport {\ufeffa as b\ufeff};\n",
}


@pytest.mark.parametrize("js", EXPORTS.values(), ids=EXPORTS.keys())
def test_merged_and_split_modules_export_what_the_source_exports(in_tmp, js, capfd):
    (in_tmp / "app.py").write_text(HELLO)
    (in_tmp / "app.mjs").write_bytes(js.encode())
    (in_tmp / "show.cjs").write_text(SHOW_EXPORTS)
    expected = run("node", "show.cjs", "app.mjs", cwd=in_tmp)
    dsf.merge("app.py", "app.mjs", "m.py.js")
    shutil.copy(in_tmp / "m.py.js", in_tmp / "m.py.mjs")
    dsf.split("m.py.mjs", "esm")
    capfd.readouterr()
    assert run("node", "show.cjs", "m.py.js", cwd=in_tmp) == expected
    assert run("node", "show.cjs", "esm/result.mjs", cwd=in_tmp) == expected


# Every character beyond ASCII, first in a name and later in one: the rewriting takes the name
# whole exactly where Node.js reads it as a name.
NODE_NAMES = r"""
const start = /^[$_\p{ID_Start}][$\p{ID_Continue}\u200C\u200D]*$/u;
const bits = (name) => { let out = ""; for (let c = 0x80; c < 0x110000; c++)
  if (c < 0xD800 || c > 0xDFFF) out += start.test(name(String.fromCodePoint(c))) ? "1" : "0"; return out; };
console.log(bits((c) => c + "b"));
console.log(bits((c) => "a" + c));
"""


def test_names_beyond_ascii_are_those_node_reads(in_tmp, capfd):
    characters = [chr(c) for c in range(0x80, 0x110000) if not 0xD800 <= c <= 0xDFFF]
    shapes = [lambda c: c + "b", lambda c: "a" + c]
    lines = [f'import {shape(c)} from "m";' for shape in shapes for c in characters]
    (in_tmp / "names.py").write_text(HELLO)
    (in_tmp / "names.js").write_text("\n".join(lines))
    dsf.merge("names.py", "names.js", "m.py.cjs")
    dsf.split("m.py.cjs", "back")
    capfd.readouterr()
    taken = set(re.findall(r'^const (.+) = require\("m"\)\.default', (in_tmp / "back/result.cjs").read_text(), re.M))
    node = (in_tmp / "names.cjs")
    node.write_text(NODE_NAMES)
    verdicts = run("node", "names.cjs", cwd=in_tmp).split()
    for shape, verdict in zip(shapes, verdicts):
        differing = [f"U+{ord(c):04X}" for c, bit in zip(characters, verdict) if (bit == "1") != (shape(c) in taken)]
        assert differing == []


# An editor may put a byte-order mark before the first line; both interpreters skip it.
def test_a_merged_file_with_a_byte_order_mark_runs_and_splits(sources, capfd):
    expected_python = run(sys.executable, "spaces.py", cwd=sources)
    expected_node = run("node", "app.mjs", cwd=sources)
    dsf.merge("spaces.py", "app.mjs", "m.py.js")
    merged = sources / "m.py.js"
    merged.write_bytes(b"\xef\xbb\xbf" + merged.read_bytes())
    assert run(sys.executable, "m.py.js", cwd=sources) == expected_python
    assert run("node", "m.py.js", cwd=sources) == expected_node

    shutil.copy(merged, sources / "m.py.mjs")
    dsf.split("m.py.js", "cjs")
    dsf.split("m.py.mjs", "esm")
    capfd.readouterr()
    for python_back in "cjs/result.py", "esm/result.py":
        assert run(sys.executable, python_back, cwd=sources) == expected_python
    assert run("node", "cjs/result.js", cwd=sources) == expected_node
    assert run("node", "esm/result.mjs", cwd=sources) == expected_node
