local parts = {}
for _ = 1, 2000000 do parts[#parts + 1] = "text " end
local s = table.concat(parts)
