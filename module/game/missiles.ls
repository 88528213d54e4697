// The spells' missiles and the castles' shots: what each does where it lands.

// Name, group list and own list of a listed class.
#define GAME_CLASS(cls, group)                                                                     \
    const char* className() override {                                                             \
        return #cls;                                                                               \
    }                                                                                              \
    ObjectList* groupList() override {                                                             \
        return group;                                                                              \
    }                                                                                              \
    static ObjectList* ownList() {                                                                 \
        return &cls##_list;                                                                        \
    }

// Logs what an impact did to the land and water around it, for players' bug reports and
// the demo's checks.
struct ImpactReport {
    const char* what;
    vec4f at;
    LandProbe before;
    ImpactReport(const char* w, const vec4f& p) : what(w), at(p), before(p.x, p.z) {}
    ~ImpactReport() {
        LandProbe after(at.x, at.z);
        debug("impact %s at %.1f %.1f: land %+.2f water %+.2f", what, at.x, at.z,
              after.land - before.land, after.water - before.water);
    }
};

constexpr float FIREBALL_RADIUS = 4.5f;
constexpr float FIREBALL_HIT = 20.0f; // on top of the blast, for a direct hit

class Fireball : public Missile {
  public:
    GAME_CLASS(Fireball, &Actor_list)
    Fireball() {
        radius = 0.5f;
        max_age = 4.0f;
        gravity = 2.0f;
    }
    void impact(const vec4f& at, Monster* hit) override;
    void flightFx() override { spawn_fireball_fx(this); }
};

class Waterball : public Missile {
  public:
    GAME_CLASS(Waterball, &Actor_list)
    Waterball() {
        radius = 0.6f;
        gravity = 6.0f;
    }
    void impact(const vec4f& at, Monster* hit) override;
    void flightFx() override { spawn_waterball_missile_fx(this); }
};

// Land-shaping missiles fly past monsters to the ground.
class ShapingMissile : public Missile {
  public:
    ShapingMissile() {
        hits_monsters = false;
        gravity = 4.0f;
        color = 0xFFC8A0FFu;
    }
    void flightFx() override { spawn_magic_missile_fx(this); }
};

class FaultMissile : public ShapingMissile {
  public:
    GAME_CLASS(FaultMissile, &Actor_list)
    void impact(const vec4f& at, Monster*) override {
        ImpactReport r("fault", at);
        // The scarp runs across the flight: the far side rises.
        Point2 dir{vel.x, vel.z};
        HeightmapData::genFault(Point2{at.x, at.z}, dir, 5.0f, 0.75f, 1.0f, nullptr, GT_NONE, 255,
                                HeightmapData::target_hmap);
        destroy();
    }
};

class HouseMissile : public ShapingMissile {
  public:
    GAME_CLASS(HouseMissile, &Actor_list)
    void impact(const vec4f& at, Monster*) override {
        ImpactReport r("house", at);
        int kind = int(rnd_float() * 3.0f);
        HeightmapData::placeHouse(int(floorf(at.x + 0.5f)), int(floorf(at.z + 0.5f)), kind,
                                  HeightmapData::target_hmap, false);
        HeightmapRenderer::markDirty(); // new house tiles
        destroy();
    }
};

constexpr float METEOR_RADIUS = 8.0f;

class MeteorMissile : public Missile {
  public:
    GAME_CLASS(MeteorMissile, &Actor_list)
    MeteorMissile() {
        radius = 1.5f;
        max_age = 6.0f;
        hits_monsters = false; // it falls on the land and crushes what is there
        hits_water = false;
    }
    void flightFx() override { spawn_meteor_fx(this); }
    // A dark rock tumbling inside its flames.
    void drawMesh(const vec4f& at) override {
        float a = age * 2.7f;
        ObjFrame f = upright_frame(make4f(sinf(a), cosf(a), 0.4f, 0.0f),
                                   make4f(cosf(a * 0.6f), 0.3f, sinf(a * 0.6f), 0.0f));
        SimpleInstance s = simple_instance(f, at, radius * 1.6f, 0xFF5A4A40u);
        stone1_inst.addInstance(&s);
    }
    void impact(const vec4f& at, Monster*) override {
        ImpactReport r("meteor", at);
        HeightmapData::genCrater(Point2{at.x, at.z}, METEOR_RADIUS, 0.8f,
                                 HeightmapData::target_hmap);
        float reach = METEOR_RADIUS * 1.6f;
        for_each_near(at.x, at.z, reach, [&](Actor* a) {
            float d = sqrtf(ground_dist2(at, a->pos));
            if (d >= reach) return;
            if (auto* m = dynamic_cast<Monster*>(a)) m->damage(150.0f * (1.0f - d / reach));
        });
        meteor_explode_fx(at);
        destroy();
    }
};

class HillMissile : public ShapingMissile {
  public:
    GAME_CLASS(HillMissile, &Actor_list)
    void impact(const vec4f& at, Monster*) override {
        ImpactReport r("hill", at);
        create_hill(at.x, at.z, 8.0f, 6.0f);
        destroy();
    }
};

class PitMissile : public ShapingMissile {
  public:
    GAME_CLASS(PitMissile, &Actor_list)
    void impact(const vec4f& at, Monster*) override {
        ImpactReport r("pit", at);
        create_hill(at.x, at.z, 8.0f, -6.0f);
        destroy();
    }
};

constexpr float WATER_SOURCE_RATE = 6.0f; // water per second

class WaterSourceMissile : public ShapingMissile {
  public:
    GAME_CLASS(WaterSourceMissile, &Actor_list)
    WaterSourceMissile() { color = 0xFF60B0FFu; }
    void impact(const vec4f& at, Monster*) override {
        ImpactReport r("water-source", at);
        add_water_source(at.x, at.z, WATER_SOURCE_RATE);
        destroy();
    }
};

class WaterSinkMissile : public ShapingMissile {
  public:
    GAME_CLASS(WaterSinkMissile, &Actor_list)
    WaterSinkMissile() { color = 0xFF3050C0u; }
    void impact(const vec4f& at, Monster*) override {
        ImpactReport r("water-sink", at);
        add_water_source(at.x, at.z, -WATER_SOURCE_RATE);
        destroy();
    }
};

constexpr float CASTLE_SHOT_SPEED = 32.0f;
constexpr float CASTLE_SHOT_DAMAGE = 25.0f;

class CastleMissile : public Missile {
  public:
    GAME_CLASS(CastleMissile, &Actor_list)
    CastleMissile() {
        color = 0xFFFFF0A0u;
        radius = 0.35f;
        max_age = 3.0f;
    }
    void impact(const vec4f& at, Monster* hit) override;
    void flightFx() override { spawn_magic_missile_fx(this); }
};
