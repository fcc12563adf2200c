def f(a, plus=False, b=None):
    return a + b if plus else a
for _ in range(1000000):
    f(1)
for _ in range(1000000):
    f(1, True, 2)
