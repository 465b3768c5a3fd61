"""Real modules keep their syntax tree through a merge and a split: every module of the
environment's standard library and of the system's dist-packages that ast.parse accepts. The
merge's test for format strings over several lines gives Python's own answer on all of them, and
on generated texts that put `{{` and `}}` into the formats of fields."""

import ast
import io
import json
import os
import random
import site
import subprocess
import sysconfig
import tokenize
import warnings
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

import duoscriptforge as dsf
from conftest import BUILD

# Built with the engine tests: prints 1 for a file with an f- or t-string over several lines.
PROBE = BUILD / "probes" / "format_string_probe"

JS_SIDE = 'import { join } from "node:path";\nexport default join;\n'


def corpus():
    folders = {sysconfig.get_path("stdlib"), *site.getsitepackages()}
    return sorted({str(path) for folder in folders if os.path.isdir(folder) for path in Path(folder).rglob("*.py")})


def executed_text(merged_line):
    """The string that line 1 of a merged file hands to exec."""
    tree = ast.parse(merged_line, mode="eval")
    call = next(node for node in ast.walk(tree)
                if isinstance(node, ast.Call) and isinstance(node.func, ast.Name) and node.func.id == "exec")
    return call.args[0].value


def check_modules(paths):
    """Merges and splits each module in the current folder; gives the modules checked and the
    failures. Runs in a child interpreter, one batch of modules per child."""
    Path("side.js").write_text(JS_SIDE)
    checked, failures = 0, []
    for path in paths:
        source = Path(path).read_bytes()
        try:
            source.decode("utf-8")  # merge takes UTF-8 sources only
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                expected = ast.dump(ast.parse(source))
        except (SyntaxError, ValueError):
            continue
        checked += 1
        dsf.merge(path, "side.js", "merged.py.js")
        dsf.split("merged.py.js", "back")
        executed = executed_text(Path("merged.py.js").read_bytes().decode().split("\n", 1)[0])
        back = Path("back/result.py").read_bytes().decode()
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            if ast.dump(ast.parse(executed)) != expected:
                failures.append(f"{path}: the merged file runs another program")
            elif back != executed and ast.dump(ast.parse(back)) != expected:
                failures.append(f"{path}: result.py is another program")
    return checked, failures


CHILD = """
    import json, sys
    sys.path.insert(0, {here!r})
    from test_corpus import check_modules
    with open("result.json", "w") as result:
        json.dump(check_modules(json.load(sys.stdin)), result)
"""


def test_every_module_of_the_environment_keeps_its_syntax_tree(run_python, tmp_path):
    paths = corpus()
    workers = min(8, os.process_cpu_count() or 1)
    # Largest first, each to the batch that holds the fewest bytes so far.
    batches = [[] for _ in range(workers)]
    sizes = [0] * workers
    for path in sorted(paths, key=os.path.getsize, reverse=True):
        smallest = sizes.index(min(sizes))
        batches[smallest].append(path)
        sizes[smallest] += os.path.getsize(path)

    def run_batch(number):
        folder = tmp_path / str(number)
        folder.mkdir()
        run_python(CHILD.format(here=str(Path(__file__).parent)), folder, input=json.dumps(batches[number]))
        return json.loads((folder / "result.json").read_text())

    with ThreadPoolExecutor(workers) as pool:
        results = list(pool.map(run_batch, range(workers)))
    checked = sum(count for count, _ in results)
    failures = [failure for _, batch in results for failure in batch]
    assert checked > 1000, f"only {checked} of {len(paths)} modules could be checked"
    assert failures == [], f"{len(failures)} of {checked} modules changed:\n" + "\n".join(failures[:20])


def format_string_spans_lines(source):
    """Python's own answer: an f- or t-string that starts and ends on different lines."""
    starts, spans = [], False
    for token in tokenize.tokenize(io.BytesIO(source).readline):
        if token.type in (tokenize.FSTRING_START, tokenize.TSTRING_START):
            starts.append(token.start[0])
        elif token.type in (tokenize.FSTRING_END, tokenize.TSTRING_END):
            spans |= starts.pop() != token.end[0]
    return spans


@pytest.mark.skipif(not PROBE.exists(), reason="the probe is built with the engine tests")
def test_the_merge_finds_format_strings_over_several_lines_as_the_tokenizer_does():
    expected = {}
    for path in corpus():
        source = Path(path).read_bytes()
        try:
            source.decode("utf-8")
            expected[path] = format_string_spans_lines(source)
        except (SyntaxError, UnicodeDecodeError, tokenize.TokenError):
            continue
    answers = subprocess.run([str(PROBE)], input="".join(path + "\n" for path in expected), capture_output=True,
                             text=True, check=True).stdout.split()
    assert len(answers) == len(expected) > 1000
    found = {path: answer == "1" for path, answer in zip(expected, answers)}
    assert any(found.values())
    assert [path for path in expected if found[path] != expected[path]] == []


def generated_format_strings(seed, count):
    """Python texts of f- and t-strings whose literal text and field formats hold `{{`,
    `}}`, nested fields, nested strings and line breaks; only texts that Python compiles."""
    rng = random.Random(seed)

    def format_string(depth):
        quote = rng.choice(["'", '"', "'''", '"""'])
        parts = [rng.choice(["a", " ", "{{", "}}", "\n", "'", '"', "\\n", "=", ":"]) if rng.random() < 0.5
                 else field(depth) for _ in range(rng.randint(0, 4))]
        return rng.choice(["f", "f", "rf", "t"]) + quote + "".join(parts) + quote

    def field(depth):
        expressions = ["1", "x", '""', "''", "'}}'", '"{{"', "(1,\n2)", "\n1", "[1][\n0]"]
        if depth < 2:
            expressions += [format_string(depth + 1)] * 3
        text = "{" + rng.choice(expressions) + rng.choice(["", "", "=", "\n=", "!r"])
        if rng.random() < 0.7:
            field_format = [">3", "x", "{{", "}}", "{{", "\n", "}", "{", "{" + rng.choice(expressions) + "}", '{""}']
            text += ":" + "".join(rng.choice(field_format) for _ in range(rng.randint(0, 4)))
        return text + "}"

    texts = {}
    while len(texts) < count:
        strings = ", ".join(format_string(0) for _ in range(rng.randint(1, 3)))
        text = f"if True:\n    print({strings})\n".encode()
        try:
            compile(text, "generated", "exec", ast.PyCF_ONLY_AST, dont_inherit=True)
            texts[text] = format_string_spans_lines(text)
        except (SyntaxError, ValueError, tokenize.TokenError):
            continue
    return texts


@pytest.mark.skipif(not PROBE.exists(), reason="the probe is built with the engine tests")
def test_the_merge_finds_format_strings_over_several_lines_in_generated_texts(tmp_path):
    expected = generated_format_strings(seed=19, count=5000)
    paths = []
    for number, text in enumerate(expected):
        paths.append(tmp_path / f"{number}.py")
        paths[-1].write_bytes(text)
    answers = subprocess.run([str(PROBE)], input="".join(f"{path}\n" for path in paths), capture_output=True,
                             text=True, check=True).stdout.split()
    assert len(answers) == len(expected)
    assert 0 < sum(expected.values()) < len(expected)
    wrong = [text.decode() for text, answer in zip(expected, answers) if (answer == "1") != expected[text]]
    assert wrong == []
