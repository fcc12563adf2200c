parts = []
for _ in range(2000000):
    parts.append("text ")
s = "".join(parts)
