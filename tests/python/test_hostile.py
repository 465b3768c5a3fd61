"""Broken and hostile inputs: each call fails with a clear error and leaves no damage behind."""

import os
import shutil

import pytest

import duoscriptforge as dsf


@pytest.fixture
def sources(in_tmp):
    (in_tmp / "a.py").write_text("x = 1\n")
    (in_tmp / "b.js").write_text("let y = 2\n")
    return in_tmp


@pytest.fixture
def merged(sources, capfd):
    dsf.merge("a.py", "b.js", "m.py.js")
    capfd.readouterr()
    return sources / "m.py.js"


def runtime_error(call):
    with pytest.raises(RuntimeError) as raised:
        call()
    assert not getattr(raised.value, "__notes__", None)
    return raised.value.args[0]


@pytest.mark.parametrize(
    "name, content, call",
    [
        ("bad.py", b"x = '\xff'\n", lambda: dsf.merge("bad.py", "b.js", "o.py.js")),
        ("bad.js", b"let y = '\xc3'\n", lambda: dsf.merge("a.py", "bad.js", "o.py.js")),
        ("bad.js", b"let y = '\xed\xa0\x80'\n", lambda: dsf.merge("bad.js", "a.py", "o.py.js")),  # a surrogate
        ("bad.py.js", b"#!/usr/bin/env node\n\x80\n", lambda: dsf.split("bad.py.js", "o")),
    ],
)
def test_invalid_utf8_in_any_input_fails_and_writes_nothing(sources, capfd, name, content, call):
    (sources / name).write_bytes(content)
    assert runtime_error(call) == "stream did not contain valid UTF-8"
    assert not (sources / "o.py.js").exists() and not (sources / "o").exists()
    assert capfd.readouterr().out == ""


def test_invalid_utf8_in_the_payload_of_a_merged_file_fails(merged, capfd):
    merged.write_bytes(merged.read_bytes().replace(b"x = 1", b"x = \xff"))
    assert runtime_error(lambda: dsf.split("m.py.js", "o")) == "stream did not contain valid UTF-8"
    assert capfd.readouterr().out == ""


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: dsf.merge("a\0.py", "b.js", None), "a\0.py does not exist."),
        (lambda: dsf.merge("a.py", "b\0.js", None), "b\0.js does not exist."),
        (lambda: dsf.merge("a.py", "b.js", "o\0.py.js"), "file name contained an unexpected NUL byte"),
        (lambda: dsf.split("m\0.py.js", None), "m\0.py.js does not exist."),
        (lambda: dsf.split("m.py.js", "s\0"), "file name contained an unexpected NUL byte"),
        (lambda: dsf.generate_keys("k\0"), "file name contained an unexpected NUL byte"),
        (lambda: dsf.generate_keys("k", "p\0.pem"), "file name contained an unexpected NUL byte"),
        (lambda: dsf.generate_keys("k", None, "p\0.pem"), "file name contained an unexpected NUL byte"),
    ],
)
def test_a_nul_in_any_path_argument_is_refused(merged, capfd, call, message):
    before = sorted(p.name for p in merged.parent.iterdir())
    assert runtime_error(call) == message
    # A bad key file name is met only at its write, inside the key folder "k"; nothing else appears.
    after = sorted(p.name for p in merged.parent.iterdir() if p.name != "k")
    assert after == before
    assert not (merged.parent / "k" / "key-info.json").exists()
    assert capfd.readouterr().out == ""


def test_a_full_device_as_any_output_is_an_error(merged, capfd):
    assert runtime_error(lambda: dsf.merge("a.py", "b.js", "/dev/full")) == "No space left on device (os error 28)"
    for name in ["result.py", "result.js"]:
        folder = merged.parent / f"into-{name}"
        folder.mkdir()
        (folder / name).symlink_to("/dev/full")
        assert runtime_error(lambda: dsf.split("m.py.js", str(folder))) == "No space left on device (os error 28)"
    assert capfd.readouterr().out == ""
    assert dsf.split("m.py.js", "s") is None  # the merged file is intact


@pytest.mark.skipif(os.geteuid() == 0, reason="the superuser reads every file")
def test_unreadable_inputs_fail_when_opened(merged, capfd):
    for name in ["a.py", "b.js", "m.py.js"]:
        os.chmod(name, 0)
    try:
        for call in [lambda: dsf.merge("a.py", "b.js", "o.py.js"), lambda: dsf.merge("b.js", "a.py", "o.py.js"),
                     lambda: dsf.split("m.py.js", "o")]:
            assert runtime_error(call) == "Permission denied (os error 13)"
    finally:
        for name in ["a.py", "b.js", "m.py.js"]:
            os.chmod(name, 0o644)
    assert not (merged.parent / "o.py.js").exists() and not (merged.parent / "o").exists()
    assert capfd.readouterr().out == ""


def test_a_folder_where_a_file_is_expected(merged, capfd):
    for name in ["dir.py", "dir.js", "dir.py.js", "o.py.js", "s/result.py", "t/result.js"]:
        (merged.parent / name).mkdir(parents=True)
    calls = [
        lambda: dsf.merge("dir.py", "b.js", "x.py.js"),
        lambda: dsf.merge("a.py", "dir.js", "x.py.js"),
        lambda: dsf.merge("a.py", "b.js", "o.py.js"),
        lambda: dsf.split("dir.py.js", "x"),
        lambda: dsf.split("m.py.js", "s"),
        lambda: dsf.split("m.py.js", "t"),
    ]
    for call in calls:
        assert runtime_error(call) == "Is a directory (os error 21)"
    assert runtime_error(lambda: dsf.split("m.py.js", "m.py.js")) == "File exists (os error 17)"
    assert not (merged.parent / "x.py.js").exists() and not (merged.parent / "x").exists()
    assert capfd.readouterr().out == ""


@pytest.mark.parametrize("nesting", ["[" * 1_000_000, '{"a":' * 1_000_000, "[" * 128 + "]" * 128],
                         ids=["arrays", "objects", "one-past-the-budget"])
def test_a_project_file_nested_a_million_levels_is_passed_over(merged, capfd, nesting):
    project = merged.parent / "project"
    project.mkdir()
    (project / "package.json").write_text(nesting)
    shutil.copy(merged, project / "m.py.js")
    dsf.split("project/m.py.js", "project/out")
    assert capfd.readouterr().out == "Split:\n  project/out/result.py\n  project/out/result.js\n"
    assert (project / "out/result.js").read_text() == "let y = 2\n"


def test_a_project_file_at_the_nesting_budget_still_counts(merged, capfd):
    project = merged.parent / "project"
    project.mkdir()
    (project / "package.json").write_text("[" * 126 + '{"type": "module"}' + "]" * 126)
    # The top level is an array, so no "type" member decides: CommonJS, but no parse failure either.
    (project / "inner").mkdir()
    (project / "inner/package.json").write_text('{"x":' * 126 + "1" + "}" * 126)
    shutil.copy(merged, project / "inner/m.py.js")
    dsf.split("project/inner/m.py.js", "project/out")
    assert (project / "out/result.js").read_text() == "let y = 2\n"
    capfd.readouterr()


@pytest.mark.skipif(os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") < 8 << 30, reason="needs 8 GB")
def test_a_line_of_256_mb_goes_through_merge_and_split(sources, capfd):
    line = "x = '" + "ab\\\"c'\t" * (256 << 17) + "'"  # 256 MB of text with characters to escape
    (sources / "big.py").write_text(line + "\n")
    dsf.merge("big.py", "b.js", "big.py.js")
    dsf.split("big.py.js", "back")
    assert (sources / "back/result.py").read_text() == line
    assert (sources / "back/result.js").read_text() == "let y = 2\n"
    capfd.readouterr()


def test_symbolic_links_at_the_output_paths_are_followed_and_stay_links(merged, capfd):
    (merged.parent / "merged-link.py.js").symlink_to("merged-target.py.js")
    dsf.merge("a.py", "b.js", "merged-link.py.js")
    assert (merged.parent / "merged-link.py.js").is_symlink()
    assert (merged.parent / "merged-target.py.js").read_bytes() == merged.read_bytes()

    (merged.parent / "s").mkdir()
    for name in ["result.py", "result.js"]:
        (merged.parent / "s" / name).symlink_to(f"../target-{name}")
    (merged.parent / "target-result.js").write_text("old text that is longer than the new one\n")
    dsf.split("m.py.js", "s")
    assert [(merged.parent / "s" / name).is_symlink() for name in ["result.py", "result.js"]] == [True, True]
    assert (merged.parent / "target-result.py").read_text() == "x = 1"
    assert (merged.parent / "target-result.js").read_text() == "let y = 2\n"

    (merged.parent / "linked-folder").symlink_to("s", target_is_directory=True)
    dsf.split("m.py.js", "linked-folder")
    assert (merged.parent / "linked-folder").is_symlink()
    capfd.readouterr()


def test_a_closed_standard_output_is_no_failure_and_a_failing_one_ends_the_process(run_python, sources):
    code = """
        import duoscriptforge, os, sys
        {prepare}
        duoscriptforge.merge("a.py", "b.js", None)
        sys.stderr.write("done\\n")
    """
    closed = run_python(code.format(prepare="os.close(1)"), sources)
    assert (closed.returncode, closed.stderr) == (0, "done\n")
    assert (sources / "out/result.py.js").exists()
    (sources / "out/result.py.js").unlink()
    full = run_python(code.format(prepare="os.dup2(os.open('/dev/full', os.O_WRONLY), 1)"), sources, check=False)
    assert (full.returncode, full.stderr) == (-6, "failed printing to stdout: No space left on device (os error 28)\n")
    assert (sources / "out/result.py.js").exists()  # the report comes only after the files


def test_standard_output_a_closed_pipe_is_no_failure(run_python, sources):
    code = """
        import duoscriptforge, os, signal, sys
        signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # as a shell pipeline leaves it
        read, write = os.pipe()
        os.close(read)
        os.dup2(write, 1)
        duoscriptforge.merge("a.py", "b.js", None)
        duoscriptforge.split("out/result.py.js", "back")
        sys.stderr.write("done\\n")
    """
    shown = run_python(code, sources, check=False)
    assert (shown.returncode, shown.stderr) == (0, "done\n")
    assert (sources / "back/result.js").read_text() == "let y = 2\n"
