local t = { a = 1, b = [1, 2.5, "x"] }
foreach (k, v in t) print(k + v)
class A { x = 0; constructor(v) { x = v } function _add(o) { return A(x + o.x) } }
local s = (A(1) + A(2)).x
function g(n) { for (local i = 0; i < n; i++) yield i }
foreach (i in g(3)) s += i
try { throw "e" } catch (e) { s = e }
switch (s) { case "e": s = 1; break; default: s = 2 }
local w = t.weakref(); t = null
print(format("%d %s %.2f", 1, "a", 2.5) + regexp("[a-z]+").search("12ab").begin)
