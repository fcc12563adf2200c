c = 0
for i in range(1, 1001):
    for j in range(1, 1001):
        if i < j:
            c = c + 1
