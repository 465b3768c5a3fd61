"""Finds the built module and offers helpers that run calls in a fresh interpreter."""

import os
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

BUILD = Path(os.environ.get("DUOSCRIPTFORGE_BUILD", Path(__file__).resolve().parents[2] / "build"))
MODULE_DIR = BUILD / "python"
if "DUOSCRIPTFORGE_INSTALLED" not in os.environ:
    sys.path.insert(0, str(MODULE_DIR))


def child_env():
    """The environment of a child interpreter that imports the module under test."""
    env = dict(os.environ)
    if "DUOSCRIPTFORGE_INSTALLED" not in os.environ:
        env["PYTHONPATH"] = os.pathsep.join(filter(None, [str(MODULE_DIR), env.get("PYTHONPATH")]))
    return env


@pytest.fixture
def run_python():
    """Runs Python code in a child interpreter; its descriptor 1 is what the module reports on."""

    def run(code, cwd, check=True, **kwargs):
        return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], cwd=cwd, env=child_env(),
                              capture_output=True, text=True, check=check, **kwargs)

    return run


@pytest.fixture
def in_tmp(tmp_path, monkeypatch):
    """A fresh current folder."""
    monkeypatch.chdir(tmp_path)
    return tmp_path
