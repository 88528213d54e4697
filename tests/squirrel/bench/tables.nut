// Tables and arrays: inserts, lookups, deletes, appends, iteration.
local total = 0
for (local round = 0; round < 120; round++) {
    local t = {}
    for (local i = 0; i < 5000; i++) t[i] <- i * 2
    for (local i = 0; i < 5000; i++) total += t[i]
    local names = {}
    foreach (w in ["alpha", "beta", "gamma", "delta", "epsilon"]) names[w] <- w.len()
    for (local i = 0; i < 20000; i++) total += names["gamma"] + names.beta
    for (local i = 0; i < 5000; i += 2) delete t[i]
    foreach (k, v in t) total += k
    local a = []
    for (local i = 0; i < 10000; i++) a.append(i)
    for (local i = 0; i < a.len(); i++) a[i] = a[i] * 3
    foreach (x in a) total += x
    while (a.len() > 5000) total += a.pop()
    local rows = []
    for (local i = 0; i < 500; i++) rows.append({ id = i, name = "n", w = i * 0.5 })
    foreach (r in rows) total += r.id
}
print(total + "\n")
