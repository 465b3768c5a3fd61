def greet(name):
    return f"Hello from Python, {name}!"


for name in ("world", "merged file"):
    print(greet(name))
