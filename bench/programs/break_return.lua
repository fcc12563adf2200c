local function g(n)
  for _ = 1, 100 do
    if n > 0 then return n end
  end
  return 0
end
for _ = 1, 1000000 do g(1) end
for _ = 1, 1000000 do
  for _ = 1, 10 do break end
end
