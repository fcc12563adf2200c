local c = 0
for i = 1, 1000 do
  for j = 1, 1000 do
    if i < j then c = c + 1 end
  end
end
