"""Calls that meet the limits of the process: a Ctrl-C while a call waits, and memory that runs out.
Each ends the call with the matching Python exception, never the interpreter."""

import os
import signal
import subprocess
import sys
import textwrap

import pytest

import duoscriptforge as dsf
from conftest import OPEN, READ, child_env, wait_until_blocked

WAIT_FOR_CTRL_C = """
    import duoscriptforge, sys
    try:
        {call}
    except KeyboardInterrupt:
        sys.stderr.write("KeyboardInterrupt\\n")
"""


@pytest.mark.parametrize(
    "fifo, writer_open, call",
    [
        ("f.js", False, 'duoscriptforge.merge("a.py", "f.js", "o.py.js")'),
        ("f.js", True, 'duoscriptforge.merge("a.py", "f.js", "o.py.js")'),
        ("f.py.js", False, 'duoscriptforge.split("f.py.js", "o")'),
        ("f.py.js", True, 'duoscriptforge.split("f.py.js", "o")'),
        ("package.json", False, 'duoscriptforge.split("m.py.js", "o")'),
    ],
    ids=["merge-input-opened", "merge-input-read", "merged-file-opened", "merged-file-read", "project-file-opened"],
)
def test_ctrl_c_ends_a_call_that_waits_on_a_fifo(in_tmp, fifo, writer_open, call):
    (in_tmp / "a.py").write_text("x = 1\n")
    (in_tmp / "b.js").write_text("let y = 2\n")
    dsf.merge("a.py", "b.js", "m.py.js")
    os.mkfifo(in_tmp / fifo)
    # With a writer that never writes, the open goes through and the first read waits instead.
    writer = os.open(in_tmp / fifo, os.O_RDWR) if writer_open else None
    child = subprocess.Popen([sys.executable, "-c", textwrap.dedent(WAIT_FOR_CTRL_C.format(call=call))], cwd=in_tmp,
                             env=child_env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        wait_until_blocked(child, READ if writer_open else OPEN)
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=60)
    except subprocess.TimeoutExpired:
        pytest.fail("the call went on waiting after Ctrl-C")
    finally:
        child.kill()
        if writer is not None:
            os.close(writer)
    assert (child.returncode, out, err) == (0, "", "KeyboardInterrupt\n")
    assert not (in_tmp / "o").exists() and not (in_tmp / "o.py.js").exists()


SHORT_OF_MEMORY = """
    import resource, sys
    import duoscriptforge
    with open("/proc/self/status") as status:
        size = next(int(line.split()[1]) for line in status if line.startswith("VmSize:")) * 1024
    limit = size + {headroom} * (1 << 20)
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    try:
        {call}
        print("success")
    except MemoryError:
        print("MemoryError")
"""


@pytest.fixture(scope="module")
def large_sources(tmp_path_factory):
    """A Python and a JavaScript source of 100 MB each, and their merged file."""
    folder = tmp_path_factory.mktemp("large")
    text = "ab\\\"c'\t" * (100 << 17)
    (folder / "big.py").write_text(f"x = '{text}'\n")
    (folder / "big.js").write_text(f"let y = '{text}'\n")
    with open(os.devnull, "w") as null:
        subprocess.run([sys.executable, "-c", "import duoscriptforge; duoscriptforge.merge('big.py', 'big.js', "
                        "'big.py.js')"], cwd=folder, env=child_env(), stdout=null, check=True)
    return folder


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="AddressSanitizer reserves terabytes of address space, so no RLIMIT_AS can be set")
@pytest.mark.parametrize("headroom", [100, 250, 400], ids=lambda mb: f"{mb}MB")
@pytest.mark.parametrize("call", ['duoscriptforge.merge("big.py", "big.js", "o.py.js")',
                                  'duoscriptforge.split("big.py.js", "o")'], ids=["merge", "split"])
def test_memory_that_runs_out_is_a_memory_error(large_sources, headroom, call):
    shown = subprocess.run([sys.executable, "-c", textwrap.dedent(SHORT_OF_MEMORY.format(headroom=headroom,
                                                                                          call=call))],
                           cwd=large_sources, env=child_env(), capture_output=True, text=True)
    assert shown.returncode == 0, shown.stderr[-2000:]
    assert shown.stdout.splitlines()[-1:] in (["success"], ["MemoryError"])
