s = ""
for _ in range(2000000):
    s += "text "
