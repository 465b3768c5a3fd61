"""Finds the built module and offers helpers that run calls in a fresh interpreter."""

import os
import subprocess
import sys
import textwrap
import time
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


def _current_system_call(pid):
    """The number of the system call that the process sleeps in; None while it runs, False where
    the system does not tell."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            state = stat.read().rsplit(")", 1)[1].split()[0]
        with open(f"/proc/{pid}/syscall") as syscall:
            number = syscall.read().split()[0]
    except FileNotFoundError:
        return None  # the process has just ended
    except (OSError, IndexError):
        return False
    return int(number) if state == "S" and number.lstrip("-").isdigit() else None


def wait_until_blocked(child, system_calls):
    """Waits until the child sleeps in one of the system calls (x86-64 numbers), or has ended.
    Where the system does not tell, a second has to do."""
    while child.poll() is None:
        current = _current_system_call(child.pid)
        if current is False:
            time.sleep(1)
            return
        if current in system_calls:
            return
        time.sleep(0.01)


POLL = {7, 271}  # poll, ppoll
OPEN = {2, 257}  # open, openat
READ = {0}
