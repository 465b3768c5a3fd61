"""Real modules keep their syntax tree through a merge and a split: every module of the
environment's standard library and of the system's dist-packages that ast.parse accepts. The
merge's test for format strings over several lines gives Python's own answer on all of them."""

import ast
import io
import json
import os
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
