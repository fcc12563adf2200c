local function f(a, plus, b)
  if plus then return a + b end
  return a
end
for _ = 1, 1000000 do f(1) end
for _ = 1, 1000000 do f(1, true, 2) end
