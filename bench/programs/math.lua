local s = 0.0
local m = 0
for i = 1, 1000000 do
  s = s + math.sin(math.rad(i % 360))
  s = s + math.sqrt(i)
  m = math.max(m, i >> 3)
end
