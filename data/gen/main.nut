// Default world: continents of layered noise, mountain ranges with eroded valleys,
// lakes and streams, grassy lowlands, rock on steep ground, snow on the peaks, and a
// walled court with a few houses on the flattest dry land.
include("gen/palette.nut");
include("gen/settlements.nut");

// Share of the map below the water line.
const WATER_SHARE = 0.22;

function smoothstep(a, b, x) {
    local t = (x - a) / (b - a);
    if (t < 0) t = 0.0;
    if (t > 1) t = 1.0;
    return t * t * (3 - 2 * t);
}

function shape_land() {
    reseed_noise();
    // Broad continents and basins.
    add_simplex_noise(0, 20, 2, 6, 0.5);
    // Mountain ranges where a slow noise says so; hills elsewhere.
    local ranges = HmapMask.fromSimplexNoise(1.0, 2, 3, null, 0.5);
    local peaks = HmapMask.fromVoronoiHills(8, 4, 18, 1.3);
    apply_height_mask(peaks, null);
    local relief = HmapMask(function(x, y) {
        local r = smoothstep(-0.15, 0.45, ranges.getraw(x, y));
        return peaks.getraw(x, y) * (r * 1.3 - 0.6);
    });
    apply_height_mask(relief, null);
    // Terraces and a few scarps.
    gen_voronoi_faults(4, 0, 6, 0.6, 2, 3, 1.5);
    for (local i = 0; i < 3; i++)
        gen_fault(hmfrnd(), hmfrnd(), srnd(), srnd(), rndf(4, 9), 0.75, 3, null, GT_ROCK);
    gen_crater(hmfrnd(), hmfrnd(), rndf(6, 11), 1.1);
    add_fast_noise(0, 3, null, GT_SOIL, 255, 0.6);
    recenter_hmap();
}

function erode() {
    gen_droplet_erosion(70000, {
        Kq = 8, Kr = 0.6, Kd = 0.05, Ki = 0.15, minSlope = 0.04, depositBlend = 1.5
    });
}

// The height below which `share` of the map lies, from a sample of the cells.
function height_percentile(share) {
    local height = HmapMask.fromHeight();
    local sample = [];
    for (local y = 0; y < HMAP_SIZE; y += 4)
        for (local x = 0; x < HMAP_SIZE; x += 4) sample.append(height.getraw(x, y));
    sample.sort();
    return sample[(sample.len() * share).tointeger()];
}

function flood(sea) {
    local height = HmapMask.fromHeight();
    apply_water_mask(height, @(depth, h) h < sea ? sea - h : 0.0);

}

function generate_world() {
    shape_land();
    paint_base();
    erode();
    local sea = height_percentile(WATER_SHARE);
    paint_surface(sea);
    place_settlements(sea);
    flood(sea);
    set_sun_dir(vec4f(rndf(-0.6, 0.6), 0.75, rndf(-0.6, 0.6), 0));
    // Stones and other objects of the game, when its module is loaded.
    if ("generate_objects" in getroottable())
        generate_objects();
}
