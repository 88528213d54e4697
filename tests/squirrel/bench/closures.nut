// Closures and generators: creating, capturing, calling, resuming.
local total = 0
local function counter() { local n = 0; return function() { return ++n } }
local function adder(k) { return @(x) x + k }
local function range(n) { for (local i = 0; i < n; i++) yield i }
for (local round = 0; round < 150; round++) {
    local c = counter()
    for (local i = 0; i < 20000; i++) total += c()
    for (local i = 0; i < 5000; i++) total += adder(i)(1)
    foreach (x in range(20000)) total += x
    local fs = []
    for (local i = 0; i < 2000; i++) fs.append(@(y) y * 2)
    foreach (f in fs) total += f(3)
    total += [1, 2, 3, 4, 5, 6, 7, 8].map(@(x) x * x).reduce(@(a, b) a + b)
}
print(total + "\n")
