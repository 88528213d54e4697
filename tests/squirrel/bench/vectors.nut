// Class-based vector arithmetic with metamethods and method calls.
class Vec {
    x = 0.0; y = 0.0; z = 0.0
    constructor(a, b, c) { x = a; y = b; z = c }
    function _add(o) { return Vec(x + o.x, y + o.y, z + o.z) }
    function _sub(o) { return Vec(x - o.x, y - o.y, z - o.z) }
    function _mul(k) { return Vec(x * k, y * k, z * k) }
    function dot(o) { return x * o.x + y * o.y + z * o.z }
    function len() { return sqrt(dot(this)) }
}
local acc = Vec(0, 0, 0)
local total = 0.0
for (local i = 0; i < 150000; i++) {
    local a = Vec(i * 0.001, 1.0, 2.0)
    local b = Vec(0.5, i * 0.002, 1.0)
    acc = acc + (a - b) * 0.01
    total += a.dot(b) * 0.0001 + acc.len() * 0.0001
}
print(format("%.3f\n", total))
