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


def normalised_python(text):
    """What a merge and a split make of a Python source indented by four spaces or by TABs."""
    return re.sub(r"(?m)^( +)", lambda spaces: "\t" * (len(spaces[1]) // 4), text).removesuffix("\n")


@pytest.mark.parametrize("python_source", ["app.py", "tabs.py"])
def test_merged_file_runs_in_python_and_node_as_its_sources_do(sources, python_source, capfd):
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
    assert python_back == normalised_python((sources / python_source).read_text())
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
