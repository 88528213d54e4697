local fs = []
for (local i = 0; i < 3; i++) { local k = i; fs.append(@() k * 2) }
local r = fs.map(@(f) f()).reduce(@(a, b) a + b)
enum E { A, B = 5 }
const C = "c"
local d = delete getroottable().print
print <- d
::x <- r + E.B
