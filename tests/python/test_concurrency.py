"""Calls from many threads and processes at once: each gets its own correct files, and calls that race
for one key folder leave one whole key pair behind."""

import os
import shutil
import subprocess
import sys
import threading
import time
from pathlib import Path

import pytest

import duoscriptforge as dsf

PROGRAMS = Path(__file__).parent / "programs"
REFUSAL = "Refusing to overwrite existing keys in {}. Choose another directory or remove the old keys intentionally."


def child_env():
    """The environment of a child interpreter that loads the module this one has loaded."""
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [os.path.dirname(dsf.__file__), env.get("PYTHONPATH")]))
    return env


def run_together(*works):
    """Starts every work on its own thread at one moment; gives each one's result or exception."""
    start = threading.Barrier(len(works))
    outcomes = [None] * len(works)

    def body(index, work):
        start.wait()
        try:
            outcomes[index] = ("returned", work())
        except Exception as error:  # noqa: BLE001 - handed back to the test
            outcomes[index] = ("raised", error)

    threads = [threading.Thread(target=body, args=item) for item in enumerate(works)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    return outcomes


def assert_one_key_pair(folder):
    """The folder holds exactly one private key and the public key that belongs to it."""
    assert sorted(p.name for p in folder.iterdir()) == ["key-info.json", "private.pem", "public.pem"]
    assert (folder / "private.pem").stat().st_mode & 0o777 == 0o600
    assert (folder / "public.pem").stat().st_size == 775
    openssl = shutil.which("openssl")
    if openssl is None:
        return
    derived = subprocess.run([openssl, "rsa", "-in", str(folder / "private.pem"), "-RSAPublicKey_out"],
                             capture_output=True, check=True).stdout
    assert derived == (folder / "public.pem").read_bytes()
    checked = subprocess.run([openssl, "rsa", "-in", str(folder / "private.pem"), "-check", "-noout"],
                             capture_output=True, text=True, check=True).stdout
    assert checked == "RSA key ok\n"


@pytest.fixture
def sources(in_tmp):
    for program in ["app.py", "app.mjs"]:
        shutil.copy(PROGRAMS / program, in_tmp / program)
    return in_tmp


def test_many_threads_merge_split_and_generate_keys_into_separate_folders(sources, capfd):
    dsf.merge("app.py", "app.mjs", "reference/m.py.mjs")
    dsf.split("reference/m.py.mjs", "reference/split")
    capfd.readouterr()
    expected = {path.relative_to(sources / "reference"): path.read_bytes()
                for path in (sources / "reference").rglob("*") if path.is_file()}

    rounds = 5

    def merge_and_split(worker):
        for _ in range(rounds):
            dsf.merge("app.py", "app.mjs", f"w{worker}/m.py.mjs")
            dsf.split(f"w{worker}/m.py.mjs", f"w{worker}/split")

    workers = 16
    key_folders = ["keys-a", "keys-b"]  # 4096-bit pairs are slow: two are enough to overlap the rest
    outcomes = run_together(*[lambda w=w: merge_and_split(w) for w in range(workers)],
                            *[lambda k=k: dsf.generate_keys(k) for k in key_folders])
    assert outcomes == [("returned", None)] * (workers + len(key_folders))

    for worker in range(workers):
        folder = sources / f"w{worker}"
        written = {path.relative_to(folder): path.read_bytes() for path in folder.rglob("*") if path.is_file()}
        assert written == expected
    for folder in key_folders:
        assert_one_key_pair(sources / folder)

    # Each report line is written whole; lines of different calls may fall between each other.
    lines = capfd.readouterr().out.splitlines()
    expected_lines = []
    for worker in range(workers):
        expected_lines += [
            "Merged:", f"  w{worker}/m.py.mjs",
            "Split:", f"  w{worker}/split/result.py", f"  w{worker}/split/result.mjs",
        ] * rounds
    for folder in key_folders:
        expected_lines += ["Generated keys:", "  RSA-4096", f"  {folder}/private.pem", f"  {folder}/public.pem"]
    assert sorted(lines) == sorted(expected_lines)


def test_two_threads_racing_for_one_key_folder(in_tmp, capfd):
    outcomes = run_together(lambda: dsf.generate_keys("k"), lambda: dsf.generate_keys("k"))
    assert sorted(kind for kind, _ in outcomes) == ["raised", "returned"]
    error = next(value for kind, value in outcomes if kind == "raised")
    assert type(error) is RuntimeError and error.args == (REFUSAL.format("k"),)
    assert_one_key_pair(in_tmp / "k")
    assert capfd.readouterr().out == "Generated keys:\n  RSA-4096\n  k/private.pem\n  k/public.pem\n"


GENERATE_ON_SIGNAL = """
import duoscriptforge, sys
sys.stderr.write("ready\\n")
sys.stderr.flush()
sys.stdin.read(1)
try:
    duoscriptforge.generate_keys(sys.argv[1])
except RuntimeError as error:
    sys.stderr.write(str(error))
    sys.exit(3)
"""


def test_processes_racing_for_one_key_folder_leave_one_pair_and_one_refusal(in_tmp):
    # Processes run in parallel even where threads share one interpreter lock, so both calls
    # usually pass the test for existing keys and meet only at the exclusive creation of the files.
    races = ["k0", "k1", "k2"]
    children = [subprocess.Popen([sys.executable, "-c", GENERATE_ON_SIGNAL, folder], cwd=in_tmp, env=child_env(),
                                 stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                for folder in races for _ in range(2)]
    for child in children:
        assert child.stderr.readline() == "ready\n"
    for child in children:
        child.stdin.write("go")
        child.stdin.close()
    results = [(child.wait(), child.stdout.read(), child.stderr.read()) for child in children]
    for child in children:
        child.stdout.close()
        child.stderr.close()

    for index, folder in enumerate(races):
        pair = sorted(results[2 * index:2 * index + 2])
        assert pair == [
            (0, f"Generated keys:\n  RSA-4096\n  {folder}/private.pem\n  {folder}/public.pem\n", ""),
            (3, "", REFUSAL.format(folder)),
        ]
        assert_one_key_pair(in_tmp / folder)


def test_links_planted_while_keys_are_made_are_never_followed(in_tmp):
    child = subprocess.Popen([sys.executable, "-c", "import duoscriptforge; duoscriptforge.generate_keys('k')"],
                             cwd=in_tmp, env=child_env(), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    # The key files are made just after the folder, long before the key pair is ready: a link
    # planted before them is refused, and once they are made the names are taken.
    planted = []
    while child.poll() is None and not (in_tmp / "k").is_dir():
        time.sleep(0.001)
    for name in ["private.pem", "public.pem"]:
        try:
            os.symlink(f"../stolen-{name}", in_tmp / "k" / name)
            planted.append(name)
        except FileExistsError:
            pass
    out, err = child.communicate()
    assert not list(in_tmp.glob("stolen-*"))
    if not planted:
        assert (child.returncode, out, err) == (0, "Generated keys:\n  RSA-4096\n  k/private.pem\n  k/public.pem\n", "")
        assert_one_key_pair(in_tmp / "k")
        return
    assert (child.returncode, out) == (1, "")
    assert err.rstrip().endswith("RuntimeError: " + REFUSAL.format("k"))
    for name in planted:
        assert os.readlink(in_tmp / "k" / name) == f"../stolen-{name}"
    # A key file the call made before it met a link is gone again.
    assert sorted(p.name for p in (in_tmp / "k").iterdir()) == planted
