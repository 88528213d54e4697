// String building: concatenation in loops, format, slicing and tostring.
local total = 0
for (local round = 0; round < 40; round++) {
    local s = ""
    for (local i = 0; i < 2000; i++) s += i + ","
    total += s.len()
    local parts = []
    for (local i = 0; i < 2000; i++) parts.append(format("%d:%05.2f;", i, i * 0.25))
    local line = ""
    foreach (p in parts) line = line + p
    total += line.len()
    for (local i = 0; i + 8 <= line.len(); i += 97) total += line.slice(i, i + 8).len()
    for (local i = 0; i < 2000; i++) total += (i * 3).tostring().len() + (i * 0.5).tostring().len()
    local name = "k"
    for (local i = 0; i < 1000; i++) { local k = name + (i % 50); total += k.len() }
}
print(total + "\n")
