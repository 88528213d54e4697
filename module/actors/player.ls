// The local player: flies where the game's flight control steers it, glides a little,
// and never sinks below the land or the water surface.
#include <cmath>

// Shown when the module is linked; a quick way to see which build is running.
constexpr const char* PLAYER_BUILD_NOTE = "player flight 1";

constexpr float PLAYER_CLEARANCE = 1.5f; // eye height above ground or water
constexpr float PLAYER_RADIUS = 0.75f;   // of the ground square looked at
constexpr float PLAYER_GLIDE = 0.35f;    // share of last step's drift that carries over
constexpr float PLAYER_START_HEIGHT = 12.0f;

class Player : public Actor {
  public:
    vec4f drift = make4f(0.0f);
    WizardState wiz; // mana, spells and progress: kept across module rebuilds

    const char* className() override { return "Player"; }
    static ObjectList* ownList() { return &Player_list; }

    void beforeRegeneration() override { drift = make4f(0.0f); }

    void move(float dt, float speed, const vec4f& velocity, const vec4f basis[3],
              float dash) override {
        wiz.aim = basis[2]; // spells fly where the view looks
        // Keeps some of the previous step's drift, so stopping and turning are not abrupt;
        // a dash cancels it for a clean burst.
        float keep = dash != 0.0f ? 0.0f : PLAYER_GLIDE;
        drift = make4f(velocity.x + drift.x * keep, velocity.y + drift.y * keep,
                       velocity.z + drift.z * keep, 0.0f);
        pos.x = wrap(pos.x + drift.x);
        pos.y += drift.y;
        pos.z = wrap(pos.z + drift.z);
        keepAboveSurface();
    }

    void eyePosition(vec4f& out) override { out = pos; }

    void setPosition(const vec4f& p) override {
        pos = make4f(wrap(p.x), p.y, wrap(p.z), 1.0f);
        keepAboveSurface();
    }

    // A new world: lift the player clear of whatever now stands where it was.
    void afterRegeneration() override {
        drift = make4f(0.0f);
        __m128 depth = HeightmapData::calcSquareDepth(pos.load(), 4.0f, true);
        pos.y += _mm_cvtss_f32(depth) + PLAYER_START_HEIGHT;
        keepAboveSurface();
        debug("player placed at %.3f %.3f %.3f", pos.x, pos.y, pos.z);
    }

  private:
    static float wrap(float v) {
        v = fmodf(v, float(HMAP_SIZE));
        return v < 0.0f ? v + float(HMAP_SIZE) : v;
    }

    void keepAboveSurface() {
        float depth = _mm_cvtss_f32(HeightmapData::calcSquareDepth(pos.load(), PLAYER_RADIUS, true));
        if (depth > -PLAYER_CLEARANCE) pos.y += depth + PLAYER_CLEARANCE;
    }
};

void create_local_player() {
    Player* p = spawn<Player>();
    p->pos = make4f(128.0f, 0.0f, 128.0f, 1.0f);
    local_player = p;
}
