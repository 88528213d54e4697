// Particle effects, spawned by name from the game-object module:
//   name(a, b, c, value) with three vectors and a number, as listed at each effect.
// Sprites are cut from the atlases by pixel places (x, y, size) of 512 x 256.
// A velocity's w lane is its drag per second.

// ------------------------------------------------------------------ atlas places

// blendfx.dds
SMOKE <- [[0, 0, 128], [128, 0, 128], [256, 0, 128], [384, 0, 128]]
BLOB <- [0, 128, 128]
SPLASH <- [128, 128, 128]
DROP <- [256, 128, 64]
DEBRIS <- [320, 128, 64]
BUBBLE <- [256, 192, 64]
DOT <- [320, 192, 64]
SMOKE_RING <- [384, 128, 128]

// glowfx.dds
HEAD <- [0, 64, 64]
HOT <- [64, 64, 64]
SPARK <- [128, 64, 64]
THIN_RING <- [192, 64, 64]
FLAME <- [[256, 64, 64], [320, 64, 64], [384, 64, 64], [448, 64, 64]]
HALO <- [0, 128, 128]
SHOCK <- [128, 128, 128]
FLARE <- [256, 128, 128]
FIREBALL <- [384, 128, 128]

PI2 <- 6.2831853

// ------------------------------------------------------------------ ramps (kept in globals)

function smooth(a, b, x) {
    local t = (x - a) / (b - a)
    if (t < 0.0) t = 0.0
    if (t > 1.0) t = 1.0
    return t * t * (3.0 - 2.0 * t)
}

// White-hot, then yellow, orange, deep red, fading out.
fire_ramp <- ColorRamp(function(t) {
    local a = smooth(0.0, 0.08, t) * (1.0 - smooth(0.55, 1.0, t))
    local r = 1.0
    local g = 1.0 - smooth(0.05, 0.6, t) * 0.8
    local b = 1.0 - smooth(0.0, 0.25, t)
    if (t > 0.6) r = 1.0 - smooth(0.6, 1.0, t) * 0.5
    return [r, g, b * 0.8, a]
})
// Smoke: soot-dark near the fire, greying as it thins.
smoke_ramp <- ColorRamp(function(t) {
    local a = 0.75 * smooth(0.0, 0.15, t) * (1.0 - smooth(0.35, 1.0, t))
    local c = 0.25 + 0.45 * smooth(0.0, 0.7, t)
    return [c, c, c * 1.02, a]
})
spark_ramp <- ColorRamp(function(t) {
    local a = 1.0 - smooth(0.5, 1.0, t)
    return [1.0, 1.0 - 0.55 * t, 0.7 - 0.7 * smooth(0.0, 0.4, t), a]
})
flash_ramp <- ColorRamp.fadeInOut(0x00FFFFFF, 0xFFFFFFFF, 0x00FFFFFF, 0.05, 0.95)
glow_fade <- ColorRamp.fadeInOut(0x00000000, 0xFFFFFFFF, 0x00000000, 0.1, 0.9)
blend_fade <- ColorRamp.fadeInOut(0x00FFFFFF, 0xFFFFFFFF, 0x00FFFFFF, 0.1, 0.9)
late_fade <- ColorRamp.fadeInOut(0x00FFFFFF, 0xFFFFFFFF, 0x00FFFFFF, 0.05, 0.3)
twinkle_ramp <- ColorRamp(function(t) {
    local a = (0.6 + 0.4 * sin(t * 40.0)) * smooth(0.0, 0.1, t) * (1.0 - smooth(0.6, 1.0, t))
    return [1.0, 1.0, 1.0, a]
})

grow_2 <- FloatRamp.linear(0.5, 2.0)
grow_4 <- FloatRamp.linear(0.5, 4.0)
grow_puff <- FloatRamp(function(t) { return 0.4 + 2.6 * sqrt(t) })
shrink <- FloatRamp.linear(1.0, 0.1)
ring_grow <- FloatRamp(function(t) { return 0.1 + 1.0 * sqrt(t) })
spin <- FloatRamp.linear(0.0, 1.0)

// ------------------------------------------------------------------ settings templates

function template(place, size, life, color) {
    return {
        accel = vec4f(0.0, 0.0, 0.0, 0.0),
        life = life,
        delay = 0.0,
        size = size,
        mapU = place[0],
        mapV = place[1],
        mapSize = place[2],
        startRoll = 0.0,
        rollScale = 0.0,
        colorAnim = null,
        sizeAnim = null,
        rollAnim = null,
        color = color
    }
}

function place(s, p) {
    s.mapU = p[0]
    s.mapV = p[1]
    s.mapSize = p[2]
    return s
}

flame_p <- template(FLAME[0], 1.0, 0.5, 0xFFFFFFFF)
flame_p.colorAnim = fire_ramp
flame_p.sizeAnim = shrink
flame_p.rollAnim = spin
flame_p.accel = vec4f(0.0, 3.0, 0.0, 0.0)

smoke_p <- template(SMOKE[0], 1.0, 2.0, 0xFFFFFFFF)
smoke_p.colorAnim = smoke_ramp
smoke_p.sizeAnim = grow_puff
smoke_p.rollAnim = spin
smoke_p.accel = vec4f(0.0, 1.2, 0.0, 0.0)

spark_p <- template(SPARK, 0.3, 0.8, 0xFFFFFFFF)
spark_p.colorAnim = spark_ramp
spark_p.sizeAnim = shrink
spark_p.accel = vec4f(0.0, -12.0, 0.0, 0.0)

glow_p <- template(HALO, 2.0, 0.4, 0xFFFFFFFF)
glow_p.colorAnim = glow_fade

flash_p <- template(FLARE, 4.0, 0.25, 0xFFFFFFFF)
flash_p.colorAnim = flash_ramp
flash_p.sizeAnim = grow_2

ring_p <- template(SHOCK, 8.0, 0.5, 0xFFFFFFFF)
ring_p.colorAnim = flash_ramp
ring_p.sizeAnim = ring_grow

drop_p <- template(DROP, 0.25, 1.0, 0xFFE0F0FF)
drop_p.colorAnim = late_fade
drop_p.accel = vec4f(0.0, -15.0, 0.0, 0.0)

mist_p <- template(BLOB, 1.5, 1.2, 0x80C8E4FF)
mist_p.colorAnim = blend_fade
mist_p.sizeAnim = grow_2

debris_p <- template(DEBRIS, 0.5, 1.6, 0xFF6A5A4A)
debris_p.colorAnim = late_fade
debris_p.rollAnim = spin
debris_p.accel = vec4f(0.0, -20.0, 0.0, 0.0)

dust_p <- template(SMOKE[1], 2.0, 3.0, 0xA09A8A70)
dust_p.colorAnim = blend_fade
dust_p.sizeAnim = grow_puff
dust_p.rollAnim = spin

sparkle_p <- template(SPARK, 0.4, 1.0, 0xFF80C0FF)
sparkle_p.colorAnim = twinkle_ramp
sparkle_p.rollAnim = spin

// ------------------------------------------------------------------ helpers

function rnd_dir() {
    // Uniform on the sphere.
    local y = srnd()
    local r = sqrt(1.0 - y * y)
    local a = frnd() * PI2
    return vec4f(cos(a) * r, y, sin(a) * r, 0.0)
}

function rnd_in_ball(radius) {
    return rnd_dir() * (radius * pow(frnd(), 0.333))
}

// A velocity with its drag in w.
function vel(v, drag) {
    return vec4f(getx(v), gety(v), getz(v), drag)
}

function blend(pos, v, s) { add_blend_particle(pos, v, s) }
function glow(pos, v, s) { add_glow_particle(pos, v, s) }

function tinted(s, color) {
    s.color = color
    return s
}

// Sparks that leave glowing trails; update_fx flies them. Emptying the effects (a new
// world) frees their trails, so the list goes with them.
sparks <- []
sparks_reset <- fx_reset_count()

function add_spark(pos, v, color, life, width) {
    local side = norm3(cross(v, rnd_dir())) * width
    local t = add_trail_fx(pos, v * 0.0, side, width * 1.5, color)
    if (t < 0) return
    if (sparks_reset != fx_reset_count()) {
        sparks.clear()
        sparks_reset = fx_reset_count()
    }
    sparks.append({ pos = pos, vel = v, trail = t, life = life, side = side, color = color })
}

function update_fx(dt) {
    if (sparks_reset != fx_reset_count()) {
        sparks.clear()
        sparks_reset = fx_reset_count()
    }
    local i = 0
    while (i < sparks.len()) {
        local s = sparks[i]
        s.life -= dt
        if (s.life <= 0.0) {
            stop_trail_fx(s.trail)
            sparks.remove(i)
            continue
        }
        s.vel = s.vel + vec4f(0.0, -14.0 * dt, 0.0, 0.0) - s.vel * (1.2 * dt)
        s.pos = s.pos + s.vel * dt
        if (s.life < 0.3) set_trail_color(s.trail, lerpcolor(0x00000000, s.color, s.life / 0.3))
        add_trail_point(s.trail, s.pos, vec4f(0.0, 0.0, 0.0, 0.0), s.side)
        ++i
    }
}

// Layered fire: flame tongues, a hot glow and trailing smoke around `pos`.
function fire_burst(pos, v, radius, count, smoke_count, smoke_color) {
    // Many tongues overlap: each is dimmer the more there are, so the heart stays fiery
    // instead of burning out to white.
    local k = (255 * (count < 4 ? 0.9 : 2.4 / sqrt(count))).tointeger()
    if (k > 255) k = 255
    flame_p.color = 0xFF000000 | (k << 16) | (k << 8) | k
    for (local i = 0; i < count; ++i) {
        place(flame_p, FLAME[i % 4])
        flame_p.size = radius * rndf(0.8, 1.4)
        flame_p.life = rndf(0.35, 0.7)
        flame_p.startRoll = frnd() * PI2
        flame_p.rollScale = srnd() * 3.0
        glow(pos + rnd_in_ball(radius * 0.5), vel(v + rnd_dir() * (radius * 2.0), 3.0), flame_p)
    }
    for (local i = 0; i < smoke_count; ++i) {
        place(smoke_p, SMOKE[irnd() % 4])
        smoke_p.size = radius * rndf(0.5, 1.4)
        smoke_p.life = rndf(1.5, 2.6)
        smoke_p.delay = rndf(0.05, 0.25)
        smoke_p.startRoll = frnd() * PI2
        smoke_p.rollScale = srnd() * 1.5
        smoke_p.color = smoke_color
        // Uneven speeds and sizes, or the cloud's edge comes out as a clean circle.
        blend(pos + rnd_in_ball(radius * 0.6),
            vel(v * 0.3 + rnd_dir() * (radius * rndf(0.8, 3.5)), 2.0), smoke_p)
    }
    smoke_p.delay = 0.0
}

// ------------------------------------------------------------------ effects

// Flight of a fireball, each step: (position, velocity, unused, size).
function fireball_fx(pos, v, unused, size) {
    if (size <= 0.0) size = 1.0
    glow_p.size = size * 3.0
    glow_p.life = 0.15
    tinted(glow_p, 0xFFFF9030)
    glow(pos, vel(v, 0.0), glow_p)
    place(flame_p, FIREBALL)
    flame_p.size = size * 1.4
    flame_p.life = 0.25
    flame_p.startRoll = frnd() * PI2
    flame_p.rollScale = 2.0
    glow(pos, vel(v * 0.5, 0.0), flame_p)
    fire_burst(pos, v * -0.1, size * 0.7, 3, 1, 0xFFFFFFFF)
    if (frnd() < 0.4) add_spark(pos, v * 0.2 + rnd_dir() * 4.0, 0xFFFFB040, rndf(0.3, 0.6), 0.06)
}

// A fireball hitting something: (position, surface normal, unused, power).
function fireball_explode_fx(pos, n, unused, power) {
    if (power <= 0.0) power = 1.0
    local r = 2.0 * power
    tinted(flash_p, 0xFFC0A080)
    flash_p.size = r * 1.6
    flash_p.life = 0.25
    glow(pos, vec4f(0.0, 0.0, 0.0, 0.0), flash_p)
    glow_p.size = r * 2.2
    glow_p.life = 0.7
    tinted(glow_p, 0xFF903810)
    glow(pos, vec4f(0.0, 0.0, 0.0, 0.0), glow_p)
    tinted(ring_p, 0xFFC07030)
    ring_p.size = r * 3.5
    ring_p.life = 0.45
    glow(pos + n * 0.3, vec4f(0.0, 0.0, 0.0, 0.0), ring_p)
    fire_burst(pos, n * (2.0 * power), r, (14 * power).tointeger() + 6, (8 * power).tointeger() + 4,
        0xFF8A8078)
    for (local i = 0; i < 10 * power; ++i) {
        local d = norm3(rnd_dir() + n * 0.8)
        add_spark(pos, d * rndf(8.0, 16.0) * power, 0xFFFFC060, rndf(0.5, 1.1), 0.07)
    }
    for (local i = 0; i < 20 * power; ++i) {
        spark_p.size = rndf(0.2, 0.45)
        spark_p.life = rndf(0.4, 1.0)
        glow(pos, vel(norm3(rnd_dir() + n) * rndf(5.0, 14.0), 1.0), spark_p)
    }
}

// Water-ball missile in flight, each step: (position, velocity, unused, size).
function waterball_missile_fx(pos, v, unused, size) {
    if (size <= 0.0) size = 1.0
    glow_p.size = size * 2.5
    glow_p.life = 0.15
    tinted(glow_p, 0xFF3080FF)
    glow(pos, vel(v, 0.0), glow_p)
    place(mist_p, BUBBLE)
    mist_p.size = size * 1.6
    mist_p.life = 0.2
    mist_p.color = 0xC0B0E0FF
    blend(pos, vel(v, 0.0), mist_p)
    place(mist_p, BLOB)
    mist_p.color = 0x80C8E4FF
    for (local i = 0; i < 3; ++i) {
        drop_p.size = size * rndf(0.15, 0.3)
        drop_p.life = rndf(0.4, 0.8)
        blend(pos + rnd_in_ball(size * 0.5), vel(v * 0.3 + rnd_dir() * 2.0, 0.5), drop_p)
    }
    mist_p.size = size * 1.2
    mist_p.life = rndf(0.6, 1.0)
    blend(pos, vel(v * 0.1 + rnd_dir() * 0.5, 1.0), mist_p)
}

// Magic missile in flight, each step: (position, velocity, colour, size).
function magic_missile_fx(pos, v, color, size) {
    if (size <= 0.0) size = 1.0
    local c = vec4f_to_colorint(color, 0xFFB070FF)
    glow_p.size = size * 2.0
    glow_p.life = 0.12
    tinted(glow_p, c)
    glow(pos, vel(v, 0.0), glow_p)
    place(sparkle_p, HOT)
    sparkle_p.size = size * 0.9
    sparkle_p.life = 0.1
    sparkle_p.color = 0xFFFFFFFF
    glow(pos, vel(v, 0.0), sparkle_p)
    place(sparkle_p, SPARK)
    for (local i = 0; i < 3; ++i) {
        sparkle_p.size = size * rndf(0.25, 0.5)
        sparkle_p.life = rndf(0.4, 0.9)
        sparkle_p.startRoll = frnd() * PI2
        sparkle_p.rollScale = srnd() * 6.0
        sparkle_p.color = c
        glow(pos + rnd_in_ball(size * 0.4), vel(rnd_dir() * 1.5, 2.0), sparkle_p)
    }
}

function vec4f_to_colorint(v, fallback) {
    if (typeof v != "instance") return fallback
    if (getx(v) + gety(v) + getz(v) <= 0.0) return fallback
    local q = function(f) {
        if (f < 0.0) f = 0.0
        if (f > 1.0) f = 1.0
        return (f * 255.0 + 0.5).tointeger()
    }
    return (0xFF << 24) | (q(getx(v)) << 16) | (q(gety(v)) << 8) | q(getz(v))
}

// Water welling up, each step: (position, up, unused, strength).
function water_source_fx(pos, up, unused, strength) {
    if (strength <= 0.0) strength = 1.0
    local u = len3Sq(up)[0] > 0.0 ? norm3(up) : vec4f(0.0, 1.0, 0.0, 0.0)
    for (local i = 0; i < 4; ++i) {
        drop_p.size = rndf(0.15, 0.35)
        drop_p.life = rndf(0.6, 1.1)
        blend(pos + rnd_in_ball(0.4), vel(u * rndf(6.0, 10.0) * strength + rnd_dir() * 1.5, 0.3),
            drop_p)
    }
    place(mist_p, SPLASH)
    mist_p.color = 0x60E0F0FF
    mist_p.size = rndf(1.2, 2.0) * strength
    mist_p.life = rndf(0.5, 0.9)
    mist_p.startRoll = frnd() * PI2
    blend(pos, vel(u * 2.0, 1.0), mist_p)
    // A new veil every step: each is thin, or together they would be a solid ball.
    place(mist_p, BLOB)
    mist_p.size = 2.0 * strength
    mist_p.life = 1.4
    mist_p.startRoll = 0.0
    mist_p.color = 0x24C8E4FF
    blend(pos + u * 1.5, vel(u * 0.8 + rnd_dir() * 0.6, 0.8), mist_p)
    mist_p.color = 0x80C8E4FF
}

// Water draining away, each step: (position, up, unused, strength).
function water_sink_fx(pos, up, unused, strength) {
    if (strength <= 0.0) strength = 1.0
    for (local i = 0; i < 5; ++i) {
        local a = frnd() * PI2
        local r = rndf(1.5, 3.0) * strength
        local p = pos + vec4f(cos(a) * r, 0.2, sin(a) * r, 0.0)
        // Spiralling in: tangential and inward, sinking as it nears the middle.
        local v = vec4f(-sin(a) * 4.0 - cos(a) * r * 1.2, -0.6, cos(a) * 4.0 - sin(a) * r * 1.2,
            0.5)
        drop_p.size = rndf(0.12, 0.25)
        drop_p.life = rndf(0.5, 0.8)
        drop_p.accel = vec4f(0.0, -2.0, 0.0, 0.0)
        blend(p, v, drop_p)
    }
    drop_p.accel = vec4f(0.0, -15.0, 0.0, 0.0)
    place(mist_p, SMOKE_RING)
    mist_p.size = 3.0 * strength
    mist_p.life = 0.8
    mist_p.color = 0x6080B0E0
    mist_p.sizeAnim = shrink
    mist_p.startRoll = frnd() * PI2
    mist_p.rollScale = 4.0
    blend(pos + vec4f(0.0, 0.1, 0.0, 0.0), vec4f(0.0, -0.3, 0.0, 0.0), mist_p)
    mist_p.sizeAnim = grow_2
    mist_p.rollScale = 0.0
    mist_p.color = 0x80C8E4FF
    place(mist_p, BLOB)
}

// A meteor falling, each step: (position, velocity, unused, size).
function meteor_fx(pos, v, unused, size) {
    if (size <= 0.0) size = 2.0
    glow_p.size = size * 4.0
    glow_p.life = 0.15
    tinted(glow_p, 0xFFFF6020)
    glow(pos, vel(v, 0.0), glow_p)
    place(flame_p, FIREBALL)
    flame_p.size = size * 1.8
    flame_p.life = 0.3
    flame_p.startRoll = frnd() * PI2
    flame_p.rollScale = 3.0
    glow(pos, vel(v * 0.6, 0.0), flame_p)
    fire_burst(pos, v * -0.05, size, 4, 3, 0xFF807060)
    if (frnd() < 0.6)
        add_spark(pos, v * 0.3 + rnd_dir() * 6.0, 0xFFFF9030, rndf(0.4, 0.8), 0.08)
}

// A meteor striking the ground: (position, surface normal, unused, power).
function meteor_explode_fx(pos, n, unused, power) {
    if (power <= 0.0) power = 1.0
    fireball_explode_fx(pos, n, unused, power * 1.6)
    local r = 3.0 * power
    tinted(ring_p, 0xFFFFD0A0)
    ring_p.size = r * 6.0
    ring_p.life = 0.8
    glow(pos + n * 0.2, vec4f(0.0, 0.0, 0.0, 0.0), ring_p)
    for (local i = 0; i < 24 * power; ++i) {
        debris_p.size = rndf(0.3, 0.8) * power
        debris_p.life = rndf(1.0, 2.0)
        debris_p.startRoll = frnd() * PI2
        debris_p.rollScale = srnd() * 10.0
        blend(pos + n * 0.5, vel(norm3(rnd_dir() + n * 1.2) * rndf(8.0, 18.0) * power, 0.3),
            debris_p)
    }
    // A ring of dust rolling outwards along the ground.
    for (local i = 0; i < 24; ++i) {
        local d = make_dir_xz(i / 24.0 + frnd() * 0.04)
        place(dust_p, SMOKE[i % 4])
        dust_p.size = rndf(1.0, 1.6) * power
        dust_p.life = rndf(2.0, 3.5)
        dust_p.delay = rndf(0.0, 0.15)
        dust_p.startRoll = frnd() * PI2
        dust_p.rollScale = srnd()
        blend(pos + d * r * 0.5, vel(d * rndf(9.0, 14.0) * power + n * 1.0, 1.8), dust_p)
    }
    dust_p.delay = 0.0
}

// A wyvern's death: (position, velocity, unused, size).
function wyvern_death_fx(pos, v, unused, size) {
    if (size <= 0.0) size = 2.0
    tinted(flash_p, 0xFFD080FF)
    flash_p.size = size * 3.0
    flash_p.life = 0.4
    glow(pos, vel(v * 0.5, 1.0), flash_p)
    fire_burst(pos, v * 0.3, size, 10, 10, 0xFF605060)
    for (local i = 0; i < 16; ++i) {
        place(sparkle_p, SPARK)
        sparkle_p.size = rndf(0.3, 0.7)
        sparkle_p.life = rndf(0.8, 1.6)
        sparkle_p.color = 0xFFC080FF
        sparkle_p.startRoll = frnd() * PI2
        sparkle_p.rollScale = srnd() * 4.0
        glow(pos + rnd_in_ball(size), vel(rnd_dir() * rndf(2.0, 6.0) + vec4f(0.0, 2.0, 0.0, 0.0),
            1.5), sparkle_p)
    }
    for (local i = 0; i < 8; ++i)
        add_spark(pos, rnd_dir() * rndf(6.0, 12.0) + vec4f(0.0, 4.0, 0.0, 0.0), 0xFFFF8040,
            rndf(0.6, 1.2), 0.08)
    for (local i = 0; i < 10; ++i) {
        debris_p.size = rndf(0.2, 0.5)
        debris_p.life = rndf(1.0, 1.8)
        debris_p.startRoll = frnd() * PI2
        debris_p.rollScale = srnd() * 8.0
        debris_p.color = 0xFF302830
        blend(pos, vel(rnd_dir() * rndf(4.0, 9.0) + vec4f(0.0, 5.0, 0.0, 0.0), 0.3), debris_p)
    }
    debris_p.color = 0xFF6A5A4A
}

// A damaged castle's keep, every few steps: (roof peak, up, unused, damage 0.5 - 1).
function castle_smoke_fx(pos, up, unused, damage) {
    if (damage < 0.5) damage = 0.5
    if (damage > 1.0) damage = 1.0
    local k = (damage - 0.5) * 2.0
    place(smoke_p, SMOKE[irnd() % 4])
    smoke_p.size = rndf(0.5, 0.8) * (1.0 + 0.6 * k)
    smoke_p.life = rndf(1.8, 2.8)
    smoke_p.startRoll = frnd() * PI2
    smoke_p.rollScale = srnd() * 0.8
    smoke_p.color = 0x80908888
    // Rising and drifting a little downwind, so a column forms rather than a ball.
    blend(pos + rnd_in_ball(0.5), vel(vec4f(0.6, rndf(2.0, 3.5), 0.3, 0.0) + rnd_dir() * 0.4,
        0.4), smoke_p)
    smoke_p.color = 0xFFFFFFFF
    // Close to falling, the roof burns.
    if (frnd() < k) {
        place(flame_p, FLAME[irnd() % 4])
        flame_p.color = 0xFFE0E0E0
        flame_p.size = rndf(0.5, 0.9)
        flame_p.life = rndf(0.3, 0.5)
        flame_p.startRoll = frnd() * PI2
        flame_p.rollScale = srnd() * 2.0
        glow(pos + rnd_in_ball(0.6) - vec4f(0.0, 0.8, 0.0, 0.0),
            vel(vec4f(0.0, 2.5, 0.0, 0.0), 2.0), flame_p)
    }
}

// A mana ball waiting to be picked up, each step: (position, unused, unused, value).
function mana_ball_fx(pos, unused1, unused2, value) {
    local r = 0.5 + (value > 0.0 ? sqrt(value) * 0.08 : 0.0)
    if (r > 1.2) r = 1.2
    tinted(glow_p, 0xFF3090FF)
    glow_p.size = r * 2.4
    glow_p.life = 0.12
    glow(pos, vec4f(0.0, 0.0, 0.0, 0.0), glow_p)
    place(sparkle_p, HOT)
    sparkle_p.size = r
    sparkle_p.life = 0.1
    sparkle_p.color = 0xFFC0E8FF
    glow(pos, vec4f(0.0, 0.0, 0.0, 0.0), sparkle_p)
    place(sparkle_p, SPARK)
    if (frnd() < 0.3) {
        sparkle_p.size = rndf(0.15, 0.3)
        sparkle_p.life = rndf(0.5, 0.9)
        sparkle_p.startRoll = frnd() * PI2
        sparkle_p.rollScale = srnd() * 4.0
        sparkle_p.color = 0xFF60B0FF
        glow(pos + rnd_in_ball(r), vel(vec4f(0.0, 1.2, 0.0, 0.0), 1.0), sparkle_p)
    }
}

// Mana flowing to whoever picked it up: (position, target, unused, amount).
function mana_pickup_fx(pos, target, unused, amount) {
    local n = 12 + (amount > 0.0 ? (amount * 0.2).tointeger() : 0)
    if (n > 40) n = 40
    local to = typeof target == "instance" ? target - pos : vec4f(0.0, 2.0, 0.0, 0.0)
    tinted(glow_p, 0xFF4080FF)
    glow_p.size = 3.0
    glow_p.life = 0.5
    glow(pos, vec4f(0.0, 1.0, 0.0, 0.0), glow_p)
    place(sparkle_p, SPARK)
    for (local i = 0; i < n; ++i) {
        local a = i * PI2 / n
        local d = vec4f(cos(a), 0.0, sin(a), 0.0)
        sparkle_p.size = rndf(0.25, 0.5)
        sparkle_p.life = rndf(0.6, 1.0)
        sparkle_p.delay = i * 0.02
        sparkle_p.color = i % 3 == 0 ? 0xFFFFFFFF : 0xFF60A0FF
        sparkle_p.startRoll = frnd() * PI2
        sparkle_p.rollScale = 6.0
        glow(pos + d * 1.2, vel(to * 1.2 + d * -1.0 + vec4f(0.0, 3.0, 0.0, 0.0), 1.0), sparkle_p)
    }
    sparkle_p.delay = 0.0
}

// An open portal, each step: (position, facing normal, unused, radius).
function portal_fx(pos, n, unused, radius) {
    if (radius <= 0.0) radius = 2.0
    local nn = len3Sq(n)[0] > 0.0 ? norm3(n) : vec4f(1.0, 0.0, 0.0, 0.0)
    local a = norm3(cross(nn, vec4f(0.0, 1.0, 0.0, 0.0)))
    if (len3Sq(a)[0] < 0.5) a = vec4f(1.0, 0.0, 0.0, 0.0)
    local b = cross(a, nn)
    place(sparkle_p, HOT)
    for (local i = 0; i < 6; ++i) {
        local t = frnd()
        local d = make_dir_2d(a, b, t)
        local tang = make_dir_2d(a, b, t + 0.25)
        sparkle_p.size = rndf(0.4, 0.8)
        sparkle_p.life = rndf(0.5, 0.9)
        sparkle_p.color = i % 2 ? 0xFF9050FF : 0xFF50C0FF
        glow(pos + d * radius, vel(tang * (radius * 2.5) - d * 1.5, 0.5), sparkle_p)
    }
    tinted(glow_p, 0xFF6040C0)
    glow_p.size = radius * 2.2
    glow_p.life = 0.3
    glow(pos, vec4f(0.0, 0.0, 0.0, 0.0), glow_p)
    if (frnd() < 0.3) {
        place(mist_p, SMOKE_RING)
        mist_p.size = radius * 2.4
        mist_p.life = 1.0
        mist_p.color = 0x804020A0
        mist_p.sizeAnim = shrink
        mist_p.startRoll = frnd() * PI2
        mist_p.rollScale = 3.0
        blend(pos, vec4f(0.0, 0.0, 0.0, 0.0), mist_p)
        mist_p.sizeAnim = grow_2
        mist_p.rollScale = 0.0
        mist_p.color = 0x80C8E4FF
        place(mist_p, BLOB)
    }
}

// The module's start: nothing of an earlier game is still flying.
function init_fx(a, b, c, v) {
    if (sparks_reset == fx_reset_count())
        foreach (s in sparks) kill_trail_fx(s.trail)
    sparks.clear()
    sparks_reset = fx_reset_count()
}
