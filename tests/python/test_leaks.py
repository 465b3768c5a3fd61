"""Repeated calls, on success and on every kind of failure, leave neither references nor memory behind.

Needs an interpreter built with reference counting statistics (python3.14-dbg).
"""

import gc
import os
import sys

import pytest

import duoscriptforge as dsf

pytestmark = pytest.mark.skipif(not hasattr(sys, "gettotalrefcount"), reason="needs a debug interpreter")

# Long texts make any copy that a call keeps show in the process's memory.
LONG = "n" * 16384
BIG_SOURCE_LINES = 2000


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def repeat(call, expected, times):
    for _ in range(times):
        try:
            call()
        except Exception as error:  # noqa: BLE001 - the kind is checked, the object dropped
            assert type(error) is expected, error
        else:
            assert expected is None


@pytest.fixture
def files(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "a.py").write_text(
        "".join(f"value_{i} = {{'text': \"line {i}\\t\"}}\n" for i in range(BIG_SOURCE_LINES)))
    (tmp_path / "b.mjs").write_text(
        "".join(f"import {{ part{i} }} from './part{i}.mjs';\nexport const v{i} = `{i}\\\\`;\n"
                for i in range(BIG_SOURCE_LINES // 2)))
    (tmp_path / "bad.js").write_bytes(b"let ok = 1\n" * 1000 + b"let bad = '\xff'\n")
    (tmp_path / "invalid.py.js").write_text("# " + LONG + "\n")
    (tmp_path / "a-file").write_text("")
    (tmp_path / "a-folder").mkdir()
    dsf.merge("a.py", "b.mjs", "m.py.mjs")
    (tmp_path / "existing").mkdir()
    (tmp_path / "existing/private.pem").write_text("")
    # The reports of the calls below go nowhere; pytest's capture is put back afterwards.
    saved = os.dup(1)
    null = os.open(os.devnull, os.O_WRONLY)
    os.dup2(null, 1)
    os.close(null)
    yield tmp_path
    os.dup2(saved, 1)
    os.close(saved)


# Calls that do all their work and write whole files, or fail only at the end, are fewer.
SLOW = {"merge", "split", "split-keyword", "merge-into-folder", "merge-nul", "split-into-file"}

CASES = {
    # success
    "merge": (lambda: dsf.merge("a.py", "b.mjs", "o/m.py.mjs"), None),
    "split": (lambda: dsf.split("m.py.mjs", "s"), None),
    "split-keyword": (lambda: dsf.split(output=None, merged_file="m.py.mjs"), None),
    # binding
    "missing": (lambda: dsf.merge(LONG), TypeError),
    "too-many": (lambda: dsf.split(LONG, LONG, LONG), TypeError),
    "unexpected-keyword": (lambda: dsf.merge(LONG, **{LONG: 1}), TypeError),
    "keyword-without-utf8": (lambda: dsf.generate_keys(**{"\udcff" + LONG: 1}), TypeError),
    "multiple-values": (lambda: dsf.merge(LONG, LONG, None, python_file=LONG), TypeError),
    # conversion, with the note; texts converted before the failing one are released
    "not-a-str": (lambda: dsf.merge(LONG, b"b.js", None), TypeError),
    "none-required": (lambda: dsf.split(None, LONG), TypeError),
    "not-a-str-last": (lambda: dsf.generate_keys(LONG, LONG, 1.5), TypeError),
    "surrogate": (lambda: dsf.merge(LONG, "b" + LONG + "\udc80", None), UnicodeEncodeError),
    "surrogate-keys": (lambda: dsf.generate_keys(LONG, "\udc80" + LONG), UnicodeEncodeError),
    # engine failures
    "merge-missing-input": (lambda: dsf.merge(LONG + ".py", "b.mjs", None), RuntimeError),
    "merge-unsupported": (lambda: dsf.merge("a.py", "a.py", None), RuntimeError),
    "merge-invalid-utf8": (lambda: dsf.merge("a.py", "bad.js", "o/bad.py.js"), RuntimeError),
    "merge-into-folder": (lambda: dsf.merge("a.py", "b.mjs", "a-folder"), RuntimeError),
    "merge-nul": (lambda: dsf.merge("a.py", "b.mjs", LONG + "\0"), RuntimeError),
    "split-missing": (lambda: dsf.split(LONG, None), RuntimeError),
    "split-invalid": (lambda: dsf.split("invalid.py.js", None), RuntimeError),
    "split-folder": (lambda: dsf.split("a-folder", None), RuntimeError),
    "split-into-file": (lambda: dsf.split("m.py.mjs", "a-file"), RuntimeError),
    "keys-name": (lambda: dsf.generate_keys(LONG, LONG + "/x"), RuntimeError),
    "keys-clash": (lambda: dsf.generate_keys(LONG, LONG, LONG), RuntimeError),
    "keys-refused": (lambda: dsf.generate_keys("existing"), RuntimeError),
    "keys-into-file": (lambda: dsf.generate_keys("a-file"), RuntimeError),
    "keys-nul": (lambda: dsf.generate_keys(LONG + "\0"), RuntimeError),
}


@pytest.mark.parametrize("case", CASES)
def test_repeated_calls_leak_nothing(files, case):
    call, expected = CASES[case]
    times = 100 if case in SLOW else 1000
    repeat(call, expected, 50)  # warm up caches, free lists and the allocator
    gc.collect()
    references, memory = sys.gettotalrefcount(), resident_bytes()
    repeat(call, expected, times)
    gc.collect()
    # One reference, one 16 KB text or one copy of a source kept per call would show `times` over.
    assert sys.gettotalrefcount() - references < times // 10
    assert resident_bytes() - memory < 1 << 20


def test_key_generation_leaks_no_references(files):
    # A 4096-bit pair takes about a second: a few calls show a reference kept per call.
    dsf.generate_keys("warm-up")
    gc.collect()
    references = sys.gettotalrefcount()
    for index in range(3):
        dsf.generate_keys(f"keys-{index}")
    gc.collect()
    assert sys.gettotalrefcount() - references < 3
