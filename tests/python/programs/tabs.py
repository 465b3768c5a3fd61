def classify(n):
	if n > 1:
		return "many"
	else:
		return "few"


for n in (1, 2):
	print(n, classify(n))
