n = 0
for _ in range(10000000):
    n = n + 1
