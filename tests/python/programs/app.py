import json
import textwrap
from collections import Counter


class Greeter:
    """Says hello with "double" and 'single' quotes."""

    def __init__(self, name):
        self.name = name

    def greet(self):
        return f"Hello, {self.name}! It's \"fine\"."


def total(values):
    return sum(value * 2
               for value in values
               if value % 2 == 0)


long_sum = 1 + \
    2 + \
    3
path = "C:\\temp\\new"  # backslashes
raw = r"\d+\s*\n\t"
tab_text = "a\tb"
unicode_text = "grüße, 世界, 😀"
separators = "a b c"
placeholders = "__LITERAL_N__ and __LITERAL_T__ and \\n"
doc = """first
second with 'single' and "double" quotes"""
single_doc = '''it's "triple" single'''
nested = '"""' + "'''" + "\\\""
print(Greeter("Wörld").greet())
print(total([1, 2, 3, 4]))
print(long_sum, path, raw, tab_text.split("\t"))
print(unicode_text, len(separators), separators.encode("unicode_escape").decode())
print(placeholders)
print(json.dumps(Counter("abracadabra").most_common(2)))
print(textwrap.dedent(doc).splitlines())
print(single_doc, nested)
if __name__ == "__main__":
    print("main")
