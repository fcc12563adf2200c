local b = {}
for i = 1, 2000000 do table.insert(b, i) end
local s = 0
for _, x in ipairs(b) do s = s + x end
