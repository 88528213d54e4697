// A walled court and a few houses on flat, dry ground.

function flatness(slope, x, y) {
    local worst = 1.0;
    for (local dy = -3; dy <= 3; dy += 3)
        for (local dx = -3; dx <= 3; dx += 3) {
            local s = slope.getraw(x + dx, y + dy);
            if (s < worst) worst = s;
        }
    return worst;
}

// The flattest of `tries` random spots above the water, or null.
function find_site(slope, height, sea, tries) {
    local best = null, best_score = 0.0;
    for (local i = 0; i < tries; i++) {
        local x = hmrnd(), y = hmrnd();
        if (height.getraw(x, y) < sea + 1.5) continue;
        local f = flatness(slope, x, y);
        if (f > best_score) {
            best_score = f;
            best = [x, y];
        }
    }
    return best;
}

function place_settlements(sea) {
    local slope = HmapMask.fromSlope();
    local height = HmapMask.fromHeight();
    local court = find_site(slope, height, sea, 200);
    if (court != null) place_house(court[0], court[1], -1);
    for (local i = 0; i < 6; i++) {
        local site = find_site(slope, height, sea, 60);
        if (site != null) place_house(site[0], site[1], irnd());
    }
}
