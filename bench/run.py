"""Times merge, split and key generation against baselines measured in the same run on the same
bytes, and prints one table. Started by tools/bench, which builds the module first."""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import unicodedata
from contextlib import contextmanager
from pathlib import Path

import inputs

MB = 1 << 20


# --- measuring ---------------------------------------------------------------------------------

@contextmanager
def quiet_stdout():
    """The module reports on descriptor 1; the table is all this program prints there."""
    sys.stdout.flush()
    saved = os.dup(1)
    devnull = os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, 1)
    os.close(devnull)
    try:
        yield
    finally:
        os.dup2(saved, 1)
        os.close(saved)


def timed(action, prepare=None):
    if prepare:
        prepare()
    start = time.perf_counter()
    action()
    return time.perf_counter() - start


def medians(runs, actions, prepare=None):
    """Runs the actions by turns, after one untimed round, so that all of them see the same warm
    caches and the same drift of the machine; gives the median time of each."""
    times = [[] for _ in actions]
    with quiet_stdout():
        for action in actions:
            timed(action, prepare)
        for _ in range(runs):
            for action, kept in zip(actions, times):
                kept.append(timed(action, prepare))
    return [statistics.median(kept) for kept in times]


def copy_into_one(sources, target):
    """The baseline of a file transform: read the bytes whole and write them to one new file."""
    with open(target, "wb") as out:
        for source in sources:
            out.write(Path(source).read_bytes())


def remove(*paths):
    for path in paths:
        path = Path(path)
        if path.is_dir():
            shutil.rmtree(path)
        elif path.exists():
            path.unlink()


# Starts the measured interpreter and reports its exit status and maximum resident size (KiB).
# Linux carries a process's peak over into the program it executes, so the measured process is
# started from this small one, never straight from the benchmark, which holds large inputs.
SPAWN_AND_MEASURE = """
import os, sys
pid = os.posix_spawn(sys.executable, [sys.executable, "-c", sys.argv[1]], os.environ,
                     file_actions=[(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)])
_, status, usage = os.wait4(pid, 0)
print(os.waitstatus_to_exitcode(status), usage.ru_maxrss)
"""


def peak_rss(code, cwd, env):
    """Maximum resident size, in bytes, of a fresh interpreter that runs only `code`."""
    report = subprocess.run([sys.executable, "-c", SPAWN_AND_MEASURE, code], cwd=cwd, env=env,
                            check=True, capture_output=True, text=True).stdout.split()
    if report[0] != "0":
        sys.exit(f"bench: the measured process failed: {code}")
    return int(report[1]) * 1024


# --- the table ---------------------------------------------------------------------------------

class Table:
    def __init__(self):
        self.rows = []

    def add(self, case, value, baseline, base_value, ratio, target, met, unit="time"):
        show = seconds if unit == "time" else megabytes
        self.rows.append([case, show(value), baseline, "" if base_value is None else show(base_value),
                          "" if ratio is None else f"{ratio:.2f}", target, "yes" if met else "MISSED"])

    def print(self):
        header = ["case", "median", "baseline", "baseline median", "ratio", "target", "met"]
        widths = [max(shown_width(row[i]) for row in [header, *self.rows]) for i in range(len(header))]
        right = {1, 3, 4}
        for row in [header, None, *self.rows]:
            if row is None:
                print("  ".join("-" * w for w in widths))
                continue
            padded = (" " * (w - shown_width(cell)) for cell, w in zip(row, widths))
            print("  ".join(pad + cell if i in right else cell + pad
                            for i, (cell, pad) in enumerate(zip(row, padded))).rstrip())


def shown_width(text):
    """Columns that a terminal gives the text: two for each wide East Asian character."""
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)


def seconds(value):
    if value < 1e-3:
        return f"{value * 1e6:.0f} µs"
    if value < 1:
        return f"{value * 1e3:.1f} ms"
    return f"{value:.2f} s"


def megabytes(value):
    return f"{value / MB:.1f} MB"


def progress(text):
    print(f"bench: {text}", file=sys.stderr, flush=True)


# --- the cases ---------------------------------------------------------------------------------

class Bench:
    def __init__(self, module, work, runs, rsa_runs, keygen, env):
        self.dsf = module
        self.work = work
        self.runs = runs
        self.rsa_runs = rsa_runs
        self.keygen = keygen
        self.env = env
        self.table = Table()
        self.notes = []

    def path(self, name):
        return self.work / name

    def large_inputs(self):
        """Case 1's inputs, made once and shared with cases 2 and 6."""
        js, py = self.path("app.mjs"), self.path("app.py")
        if not js.exists():
            progress("making the large inputs")
            js_source = inputs.es_module_source(64 * MB)
            js.write_bytes(js_source)
            py.write_bytes(inputs.python_source(16 * MB))
            lines = js_source.count(b"\n")
            share = inputs.import_export_share(js_source)
            self.notes.append(f"case 1 input: {megabytes(len(js_source))} ES module ({lines} lines, "
                              f"{share:.1%} import/export), {megabytes(py.stat().st_size)} Python")
        return py, js

    def merged_file(self):
        merged = self.path("merged.py.cjs")
        if not merged.exists():
            py, js = self.large_inputs()
            with quiet_stdout():
                self.dsf.merge(str(py), str(js), str(merged))
            os.link(merged, self.path("merged.py.mjs"))
        return merged

    def case_merge(self):
        progress("case 1: merge")
        py, js = self.large_inputs()
        out, copy = self.path("out.py.js"), self.path("copy")
        base, subject = medians(self.runs, [lambda: copy_into_one([py, js], copy),
                                            lambda: self.dsf.merge(str(py), str(js), str(out))],
                                lambda: remove(out, copy))
        self.table.add("1 merge 64 MB ES module + 16 MB Python", subject, "copy of the inputs", base,
                       subject / base, "<= 5", subject <= 5 * base)
        remove(out, copy)

    def case_split(self):
        merged = self.merged_file()
        out, copy = self.path("split"), self.path("copy")
        for name, kind in [("merged.py.cjs", "CommonJS"), ("merged.py.mjs", "ES module")]:
            progress(f"case 2: split, {kind}")
            source = self.path(name)
            base, subject = medians(self.runs, [lambda: copy_into_one([source], copy),
                                                lambda: self.dsf.split(str(source), str(out))],
                                    lambda: remove(out, copy))
            self.table.add(f"2 split {name} ({kind})", subject, "copy of the merged file", base,
                           subject / base, "<= 5", subject <= 5 * base)
        remove(out, copy)

    def case_single_line(self):
        py = self.path("one.py")
        py.write_bytes(b"print('one line')\n")
        for matching in (True, False):
            kind = "matching" if matching else "matching none"
            times = {}
            for blocks in (128, 1024):  # 8 MB and 64 MB
                progress(f"case 3: one line of {blocks // 16} MB, {kind}")
                js, merged, out = self.path("one.mjs"), self.path("one.py.mjs"), self.path("one-split")
                js.write_bytes(inputs.single_line(blocks, matching))
                merge_time, split_time = medians(self.runs, [
                    lambda: self.dsf.merge(str(py), str(js), str(merged)),
                    lambda: self.dsf.split(str(merged), str(out))])
                times[blocks] = (merge_time, split_time)
                remove(js, merged, out)
            for step, index in (("merge", 0), ("split .mjs", 1)):
                small, large = times[128][index], times[1024][index]
                self.table.add(f"3 {step}, one line {kind}, 64 MB", large, "same, 8 MB", small,
                               large / small, "<= 9", large <= 9 * small)
        remove(py)

    def case_small_calls(self):
        progress("case 4: 1000 small calls")
        py = self.path("small.py")
        py.write_bytes(inputs.python_source(1024, seed=3))
        calls = 1000

        def many(call):
            def run():
                for _ in range(calls):
                    call()
            return run

        actions, files = [], []
        for kind, source in (("", inputs.es_module_source(1024, seed=4)),
                             ("-beyond-ascii", inputs.es_module_source_beyond_ascii(1024, seed=4))):
            js, merged = self.path(f"small{kind}.mjs"), self.path(f"small{kind}.py.mjs")
            out = self.path(f"small{kind}-split")
            js.write_bytes(source)
            actions += [many(lambda js=js, merged=merged: self.dsf.merge(str(py), str(js), str(merged))),
                        many(lambda merged=merged, out=out: self.dsf.split(str(merged), str(out)))]
            files += [js, merged, out]
        steps = [("merge", ""), ("split .mjs", ""),
                 ("merge", " beyond ASCII"), ("split .mjs", " beyond ASCII")]
        for (step, sources), total in zip(steps, medians(self.runs, actions)):
            per_call = total / calls
            self.table.add(f"4 {step} of two 1 KB sources{sources}, per call", per_call, "", None, None,
                           "< 1 ms", per_call < 1e-3)
        remove(py, *files)

    def against_ascii(self, case, label, source):
        """Merge and split of `source`, text beyond ASCII, timed by turns with its ASCII twin."""
        py = self.path("twin.py")
        py.write_bytes(b"print('twin')\n")
        texts = {"ascii": inputs.ascii_twin(source), "beyond": source}
        js, merged, out = ({kind: self.path(f"{kind}{suffix}") for kind in texts}
                           for suffix in (".mjs", ".py.mjs", "-split"))
        for kind, text in texts.items():
            js[kind].write_bytes(text)

        def merge(kind):
            return lambda: self.dsf.merge(str(py), str(js[kind]), str(merged[kind]))

        def split(kind):
            return lambda: self.dsf.split(str(merged[kind]), str(out[kind]))

        progress(f"case {case}: merge, {label}")
        merge_ascii, merge_beyond = medians(self.runs, [merge(kind) for kind in texts])
        progress(f"case {case}: split, {label}")
        split_ascii, split_beyond = medians(self.runs, [split(kind) for kind in texts])
        for step, beyond, ascii in (("merge", merge_beyond, merge_ascii),
                                    ("split .mjs", split_beyond, split_ascii)):
            self.table.add(f"{case} {step}, {label}", beyond, "same in ASCII", ascii, beyond / ascii,
                           "<= 1.3", beyond <= 1.3 * ascii)
        remove(py, *js.values(), *merged.values(), *out.values())

    def case_code_beyond_ascii(self):
        self.against_ascii(7, "32 MB code, names beyond ASCII", inputs.es_module_source_beyond_ascii(32 * MB))

    def case_exported_names_beyond_ascii(self):
        self.against_ascii(8, "16 MB export const 名前N = N;", inputs.exported_names_beyond_ascii(16 * MB))

    def case_keys(self):
        folders = iter(range(10**6))

        def fresh(prefix):
            return str(self.path(f"{prefix}-{next(folders)}"))

        def openssl(bits):
            key = fresh("openssl")
            subprocess.run(["openssl", "genrsa", "-out", key, str(bits)], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def keygen(bits):
            subprocess.run([self.keygen, str(bits), fresh("keygen")], check=True, stdout=subprocess.DEVNULL)

        for bits, label, ours in [
            (4096, "5 generate_keys 4096 (module)", lambda: self.dsf.generate_keys(fresh("keys"))),
            (2048, "5 generate_key_files 2048 (bench-keygen)", lambda: keygen(2048)),
        ]:
            progress(f"case 5: RSA {bits}, {self.rsa_runs} runs each")
            base, subject = medians(self.rsa_runs, [lambda: openssl(bits), ours])
            self.table.add(label, subject, f"openssl genrsa {bits}", base, subject / base, "<= 0.5",
                           subject <= 0.5 * base)
        for entry in self.work.iterdir():
            if entry.name.startswith(("openssl-", "keygen-", "keys-")):
                remove(entry)

    def case_memory(self):
        progress("case 6: peak memory")
        py, js = self.large_inputs()
        merged = self.merged_file()
        load = "import duoscriptforge as d\n"

        def median_peak(code):
            return statistics.median(peak_rss(load + code, self.work, self.env) for _ in range(3))

        interpreter = median_peak("")
        self.notes.append(f"case 6: interpreter with the module loaded: {megabytes(interpreter)} "
                          "(subtracted from every peak)")
        input_size = py.stat().st_size + js.stat().st_size
        peak = median_peak(f"d.merge({str(py)!r}, {str(js)!r}, 'mem.py.js')") - interpreter
        self.table.add("6 peak RSS of merge (case 1)", peak, "input bytes", input_size,
                       peak / input_size, "<= 4", peak <= 4 * input_size, unit="bytes")
        remove(self.path("mem.py.js"))
        longest = max(len(line) for line in merged.read_bytes().split(b"\n"))
        for name in ("merged.py.cjs", "merged.py.mjs"):
            peak = median_peak(f"d.split({name!r}, 'mem-split')") - interpreter
            self.table.add(f"6 peak RSS of split {name} (case 2)", peak, "longest payload line", longest,
                           peak / longest, "<= 2.5", peak <= 2.5 * longest, unit="bytes")
            remove(self.path("mem-split"))


CASES = {
    "1": Bench.case_merge,
    "2": Bench.case_split,
    "3": Bench.case_single_line,
    "4": Bench.case_small_calls,
    "5": Bench.case_keys,
    "6": Bench.case_memory,
    "7": Bench.case_code_beyond_ascii,
    "8": Bench.case_exported_names_beyond_ascii,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True, type=Path,
                        help="the build folder that holds python/ and bench-keygen")
    parser.add_argument("--quick", action="store_true",
                        help="3 runs per case and 5 per RSA size instead of 5 and 15")
    parser.add_argument("--cases", default=",".join(CASES), help="comma-separated case numbers (default: all)")
    args = parser.parse_args()
    chosen = args.cases.split(",")
    if unknown := [c for c in chosen if c not in CASES]:
        parser.error(f"unknown cases: {', '.join(unknown)}")

    module_dir = (args.build / "python").resolve()
    sys.path.insert(0, str(module_dir))
    import duoscriptforge

    env = dict(os.environ, PYTHONPATH=os.pathsep.join(
        filter(None, [str(module_dir), os.environ.get("PYTHONPATH")])))
    runs, rsa_runs = (3, 5) if args.quick else (5, 15)
    with tempfile.TemporaryDirectory(prefix="duoscriptforge-bench-") as work:
        keygen = str((args.build / "bench-keygen").resolve())
        bench = Bench(duoscriptforge, Path(work), runs, rsa_runs, keygen, env)
        for case in chosen:
            CASES[case](bench)
    print(f"duoscriptforge benchmark: {runs} runs per case, {rsa_runs} per RSA size; medians")
    for note in bench.notes:
        print(note)
    print()
    bench.table.print()


if __name__ == "__main__":
    main()
