local n = 0
for _ = 1, 10000000 do n = n + 1 end
