import math
s = 0.0
m = 0
for i in range(1, 1000001):
    s = s + math.sin(math.radians(i % 360))
    s = s + math.sqrt(i)
    m = max(m, i >> 3)
