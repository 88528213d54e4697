// Ground and surface colours by height, slope and moisture.

::ground_ramp <- ColorRamp(function(t) {
    // Low sand and silt, brown soil, grey rock, pale rock at the top.
    if (t < 0.18) return lerpcolor(0xFFC8B482, 0xFF8C7650, t / 0.18);
    if (t < 0.55) return lerpcolor(0xFF8C7650, 0xFF6E5E4E, (t - 0.18) / 0.37);
    return lerpcolor(0xFF6E5E4E, 0xFFA09A94, (t - 0.55) / 0.45);
});

function paint_base() {
    recolor_by_height(ground_ramp, null);
}

// After erosion: rock where steep, grass where gentle and dry, snow up high.
function paint_surface(sea) {
    local slope = HmapMask.fromSlope();
    local height = HmapMask.fromHeight();
    local mm = height.calcMinMax();
    local top = mm[1];
    local snow_line = sea + (top - sea) * 0.55;
    repaint_land(function(x, y, ground, surf) {
        local h = height.getraw(x, y);
        local s = slope.getraw(x, y);
        if (h < sea + 0.6) return [lerpcolor(ground, 0xFFD2C08C, 0.6), GT_SAND];
        if (s < 0.72) return [lerpcolor(ground, 0xFF5A5550, 0.7), GT_ROCK];
        local n = tiled_noise2(x / 16.0, y / 16.0, 16) * 0.5 + 0.5;
        if (h > snow_line + n * 3 - 1.5)
            return [ground, GT_ROCK, lerpcolor(0xFFE6ECF4, 0xFFFFFFFF, n), ST_SNOW];
        if (s < 0.86) return [ground, GT_SOIL];
        local lush = 1.0 - (h - sea) / (snow_line - sea);
        local grass = mix3colors(0xFF4F6E30, lush, 0xFF767E40, 1 - lush, 0xFF3E5A2A, n * 0.3);
        return [ground, GT_SOIL, grass, ST_GRASS];
    });
}
