b = []
for i in range(1, 2000001):
    b.append(i)
s = 0
for x in b:
    s = s + x
