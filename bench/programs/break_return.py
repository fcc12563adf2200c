def g(n):
    for _ in range(100):
        if n > 0:
            return n
    return 0
for _ in range(1000000):
    g(1)
for _ in range(1000000):
    for _ in range(10):
        break
