local i = 0
local s = 0
while i < 3000000 do
  if i % 3 == 0 then s = s + i end
  i = i + 1
end
