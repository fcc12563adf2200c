i = 0
s = 0
while i < 3000000:
    if i % 3 == 0:
        s = s + i
    i = i + 1
