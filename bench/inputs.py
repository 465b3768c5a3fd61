"""The benchmark's inputs, made from a fixed seed so that every run times the same bytes."""

import random
import re

NAMES = ["user", "order", "item", "cache", "config", "request", "result", "widget", "token",
         "buffer", "event", "node", "route", "query", "session", "metric"]
TYPES = ["Base", "EventEmitter", "Store", "Component", "Error", "Map"]
MODULES = ["fs", "node:path", "./util.js", "../lib/store.js", "react", "@scope/pkg",
           "./data/cities.js", "lodash/fp"]
WORDS = ["alpha", "beta", "gamma", "delta", "café", "naïve", "Straße", "→ next", "ünïcode"]

# The same kinds of names, module paths and comment words, in letters beyond ASCII.
BEYOND_ASCII = {
    "names": ["usuário", "commandé", "größe", "名前", "データ", "πλήθος", "ключ", "señal", "ürün",
              "città", "mesaĝo", "ζήτημα", "数量", "événement", "Straße", "naïve"],
    "modules": ["fs", "./données.js", "../lib/магазин.js", "./データ/都市.js", "@scope/paquete-ñ",
                "./π/util.js", "./città/dati.js", "lodash/fp"],
    "words": ["café", "naïve", "Straße", "→ next", "ünïcode", "日本語", "Ελληνικά", "русский", "ağaç"],
}


def _js_chunk(rng, vocabulary=None):
    """One module's worth of code: its imports, functions and classes, some of them exported.
    `vocabulary` replaces the names, module paths and comment words."""
    vocabulary = vocabulary or {}
    names = vocabulary.get("names", NAMES)
    modules = vocabulary.get("modules", MODULES)
    words = vocabulary.get("words", WORDS)

    def name():
        return f"{rng.choice(names)}{rng.randrange(1000)}"

    def module():
        return rng.choice(modules)

    imports = [
        lambda: f'import {name()} from "{module()}";',
        lambda: f"import * as {name()} from '{module()}';",
        lambda: f'import {{ {name()}, {name()} as {name()} }} from "{module()}";',
        lambda: f'import {name()}, {{ {name()} }} from "{module()}";',
        lambda: f'import "{module()}";',
    ]
    body = [
        lambda: f"const {name()} = {name()}.map((x) => x.value * {rng.randrange(100)});",
        lambda: f'console.log("processing %d items", {name()}.length, \'{rng.choice(words)}\');',
        lambda: f"// keeps {rng.choice(words)} apart from \"{name()}\"; a \\ stays a backslash",
        lambda: f"let {name()} = `${{{name()}}}-{rng.choice(words)}`;",
        lambda: f"for (const entry of {name()}) total += entry.price ?? {rng.randrange(10)};",
        lambda: f"const pattern = /\\d+\\.\\d*[\"']/g;",
        lambda: f'await fetch("/api/{rng.choice(words)}?q=" + encodeURIComponent({name()}));',
        lambda: f"{name()}.set('{rng.choice(words)}', {{ count: {rng.randrange(99)}, ok: true }});",
        lambda: "",
    ]
    lines = [rng.choice(imports)() for _ in range(rng.randrange(1, 4))]
    lines.append("")
    exported = []
    for _ in range(rng.randrange(8, 14)):
        fn = name()
        kind = rng.randrange(10)
        head = (f"async function {fn}(input, options = {{}}) {{" if kind < 3
                else f"class {fn.capitalize()} extends {rng.choice(TYPES)} {{" if kind < 5
                else f"function {fn}(items, options) {{")
        if rng.randrange(8) == 0:
            head = "export " + head
        elif rng.randrange(6) == 0:
            exported.append(fn)
        lines.append(head)
        for _ in range(rng.randrange(5, 12)):
            depth = rng.randrange(1, 4)
            if depth == 3:
                lines.append(f"  if ({name()}.length > {rng.randrange(50)}) {{")
                lines.append("    " + (rng.choice(body)() or "// nothing yet"))
                lines.append("  }")
            else:
                line = rng.choice(body)()
                lines.append("  " * depth + line if line else "")
        lines.append("}")
        lines.append("")
    if rng.randrange(3) == 0:
        lines.append(f"export const {name().upper()} = {rng.randrange(10**6)};")
    if exported:
        lines.append("export { " + ", ".join(f"{e} as {e}Api" if i % 2 else e
                                             for i, e in enumerate(exported)) + " };")
    if rng.randrange(5) == 0:
        lines.append(f'export * from "{module()}";')
    return "\n".join(lines) + "\n"


def _python_chunk(rng):
    """A class with a few methods: four-space indentation, both quotes, escapes, comments."""
    cls = f"{rng.choice(NAMES).capitalize()}{rng.randrange(1000)}"
    lines = [
        f"class {cls}({rng.choice(['object', 'dict', 'Exception'])}):",
        f'    """Keeps {rng.choice(WORDS)} items; \'single\' and "double" quotes."""',
        "",
        "    def __init__(self, name, size=3):",
        "        self.name = name",
        "        self.items = [i * 2 for i in range(size)]",
        "",
    ]
    for _ in range(rng.randrange(2, 6)):
        method = rng.choice(NAMES) + str(rng.randrange(100))
        lines += [
            f"    def {method}(self, out, limit={rng.randrange(100)}):",
            f"        # {rng.choice(WORDS)}: skip the first {rng.randrange(9)} items",
            "        for item in self.items:",
            "            if item % 3 == 0 and item < limit:",
            f'                out.write(f"{{self.name}}: {{item}}\\n")',
            "            else:",
            f"                out.write('skip\\t%d {rng.choice(WORDS)}' % item)",
            '        return "\\\\".join(str(i) for i in self.items)',
            "",
        ]
    return "\n".join(lines) + "\n"


def _filled(make_chunk, size, seed):
    """Whole chunks from `make_chunk`, as many as fit in `size` bytes; a size smaller than one
    chunk gets the first lines of one."""
    rng = random.Random(seed)
    # A pool of distinct chunks, drawn from at random, keeps a large file quick to make.
    pool = [make_chunk(rng).encode() for _ in range(256)]
    parts, total = [], 0
    while True:
        chunk = rng.choice(pool)
        if total + len(chunk) > size:
            break
        parts.append(chunk)
        total += len(chunk)
    if not parts:
        return chunk[: chunk.rfind(b"\n", 0, size) + 1]
    return b"".join(parts)


def es_module_source(size, seed=1):
    return _filled(_js_chunk, size, seed)


def es_module_source_beyond_ascii(size, seed=5):
    """Code like es_module_source, whose names, module paths and comments hold letters beyond
    ASCII."""
    return _filled(lambda rng: _js_chunk(rng, BEYOND_ASCII), size, seed)


def exported_names_beyond_ascii(size):
    """Lines `export const 名前N = N;`, as many as fit in `size` bytes."""
    lines, total = [], 0
    for n in range(size):
        line = f"export const 名前{n} = {n};\n".encode()
        if total + len(line) > size:
            break
        lines.append(line)
        total += len(line)
    return b"".join(lines)


def ascii_twin(source):
    """The same text with every byte beyond ASCII written as `x`: the same lines, lengths and
    rules matched, in ASCII only."""
    return re.sub(rb"[\x80-\xff]", b"x", source)


def python_source(size, seed=2):
    return _filled(_python_chunk, size, seed)


def import_export_share(source):
    lines = source.split(b"\n")
    hits = sum(1 for line in lines if line.lstrip().startswith((b"import", b"export")))
    return hits / len(lines)


def single_line(blocks, matching):
    """One JavaScript line of `blocks` times a fixed 64 KiB block: an `export default` that the
    rules rewrite, or an `export type` that starts like an export and matches no rule."""
    item = b"{\"id\": 7, 'name': \"caf\xc3\xa9 \\\\ x\", `t`: [1, 2.5, null]}, "
    block = item * (65536 // len(item))
    block += b" " * (65536 - len(block))
    head, tail = (b"export default [", b"0];") if matching else (b"export type Big = [", b"never];")
    return head + block * blocks + tail
