def classify(n):
    if n > 1:
        return "many"
    elif n == 1:
        return "one"

    return "none"


words = ["a  b", "c"]
for n in range(3):
    label = classify(n)
    if label != "none":
        print(n, label, "  spaced  ", words)
