// The spell selection of play mode: while Ctrl is held the spells show and the mouse picks
// them, a left click assigning the spell to the left mouse button and a right click to the
// right one; the life and mana bars are always there.

// The spells with their prices and tints, the spells on the mouse buttons and the mana
// belong to the wizard (game/rules.ls); the screen shows and sets them there.

// A spell slot: the spell's tint as a swatch, its name and cost, and badges for the mouse
// buttons it is assigned to.
class GuiSpellSlotElement : public GuiButtonElement {
  public:
    const char* className() override { return "GuiSpellSlotElement"; }

    void drawContent(RenderBatch& b, float unit, float alpha) override {
        float w = rect.z - rect.x, pad = roundf(w * 0.18f);
        vec4f sw = make4f(rect.x + pad, rect.y + pad * 0.6f, rect.z - pad, 0);
        sw.w = sw.y + (sw.z - sw.x) * 0.62f;
        bool affordable = wizard().mana >= float(spell_info[id].cost);
        D3dColor c = affordable ? spell_info[id].color : 0xFF4A4F58;
        render_rounded_box(b, sw, make4f(8 * unit), ui_fade(c, alpha), 1, 0, 2 * unit, 6 * unit,
                           ui_fade(c & 0x70FFFFFF, alpha), 1 * unit);
        vec4f name = make4f(rect.x, sw.w, rect.z, rect.w - 34 * unit);
        drawText(b, name, unit, alpha);
        char cost[16];
        snprintf(cost, sizeof(cost), "%d", spell_info[id].cost);
        if (default_font.size)
            default_font.renderText(b, make4f(rect.x, rect.w - 40 * unit, rect.z, rect.w - 6 * unit),
                                    0, ui_fade(affordable ? 0xFF8FC8FF : 0xFFB05050, alpha),
                                    24 * unit, cost, -1, 0, 0, 4, 0.5f, ui_fade(0xA0000000, alpha));
        if (wizard().button_spell[0] == id) badge(b, unit, alpha, rect.x + 4 * unit, "L");
        if (wizard().button_spell[1] == id) badge(b, unit, alpha, rect.z - 40 * unit, "R");
    }
    void badge(RenderBatch& b, float unit, float alpha, float x, const char* t) {
        vec4f r = make4f(roundf(x), roundf(rect.y + 4 * unit), roundf(x + 36 * unit),
                         roundf(rect.y + 40 * unit));
        render_rounded_box(b, r, make4f(18 * unit), ui_fade(0xFFE8B04A, alpha), 1, 0, 1 * unit,
                           3 * unit, ui_fade(0x80000000, alpha), 0);
        if (default_font.size)
            default_font.renderText(b, r, 0, ui_fade(0xFF1A1206, alpha), 26 * unit, t, -1);
    }
};

class SpellsGuiScreen : public UiScreen {
  public:
    GuiElement* panel = nullptr;
    GuiSliderElement* mana = nullptr;
    GuiSliderElement* life = nullptr;

    const char* className() override { return "SpellsGuiScreen"; }
    void build() {
        GuiElement* hud = begin(&spells_style, "hud");
        panel = hud->add("spells", 0, 195, 160.0f * 6 + 40, 420);
        for (int i = 0; i < SPELL_COUNT; ++i) {
            float x = (float(i % 6) - 2.5f) * 160.0f, y = i < 6 ? -95.0f : 85.0f;
            if (i >= 6) x += 80.0f; // the second row sits between the first row's slots
            listen(panel->add<GuiSpellSlotElement>("slot", x, y, 150, 170, spell_info[i].title, i));
        }
        panel->hidden = true;
        mana = hud->add<GuiSliderElement>("mana", 0, 455, 620, 46);
        life = hud->add<GuiSliderElement>("life", 0, 412, 420, 30);
    }

    void onAction(GuiElement* el, int key) override {
        assign_mouse_spell(key == VK_RBUTTON ? 1 : 0, el->id);
    }
    void onBack() override {}

    void refreshBars() {
        const WizardState& w = wizard();
        mana->fill = w.mana / MANA_MAX;
        snprintf(mana->text, sizeof(mana->text), "Mana %d / %d%s", int(w.mana), int(MANA_MAX),
                 mana_cheat ? " (cheat)" : "");
        life->fill = w.health / PLAYER_HEALTH;
        snprintf(life->text, sizeof(life->text), "Life %d / %d", int(ceilf(w.health)),
                 int(PLAYER_HEALTH));
    }
};

static void build_spells_style() {
    GuiStyle& st = spells_style;
    add_sheet(st, "spells", 0,
              gui_props(ui_color(UP_BG, 0xD8141C28), ui_number(UP_RADIUS, 22),
                        ui_color(UP_SHADOW, 0xA0000000), ui_number(UP_SHADOW_BLUR, 30),
                        ui_number(UP_SHADOW_Y, 10)));
    add_sheet(st, "slot", 0,
              gui_props(gui_behaviors("solid_box\0button\0"), ui_color(UP_BG, 0xFF223046),
                        ui_number(UP_RADIUS, 14), ui_color(UP_SHADOW, 0x80000000),
                        ui_number(UP_SHADOW_BLUR, 8), ui_number(UP_SHADOW_Y, 4),
                        ui_color(UP_TEXT_COLOR, 0xFFE9EEF5), ui_number(UP_TEXT_SIZE, 28)));
    add_sheet(st, "slot", US_HOVER, gui_props(ui_color(UP_BG, 0xFF34507A)));
    add_sheet(st, "slot", US_HOVER | US_PRESSED,
              gui_props(ui_color(UP_BG, 0xFF1C293C), ui_number(UP_SHADOW_Y, 1)));
    add_sheet(st, "mana", 0,
              gui_props(ui_color(UP_BG, 0xC0101820), ui_number(UP_RADIUS, 23),
                        ui_color(UP_SHADOW, 0x80000000), ui_number(UP_SHADOW_BLUR, 12),
                        ui_number(UP_SHADOW_Y, 4), ui_color(UP_ACCENT, 0xFF3C7CE0),
                        ui_color(UP_TEXT_COLOR, 0xFFEAF2FF), ui_number(UP_TEXT_SIZE, 28)));
    add_sheet(st, "life", 0,
              gui_props(ui_color(UP_BG, 0xC0101820), ui_number(UP_RADIUS, 15),
                        ui_color(UP_SHADOW, 0x80000000), ui_number(UP_SHADOW_BLUR, 10),
                        ui_number(UP_SHADOW_Y, 3), ui_color(UP_ACCENT, 0xFFC8443A),
                        ui_color(UP_TEXT_COLOR, 0xFFFFF0EC), ui_number(UP_TEXT_SIZE, 20)));
}

static BaseGuiScreen* create_spells_screen() {
    auto* s = new SpellsGuiScreen;
    s->build();
    debug("screen %s built", s->className());
    return s;
}

static SpellsGuiScreen* spells_screen() {
    return static_cast<SpellsGuiScreen*>(get_gui_screen(spells_gui_screen));
}

// [SECTION] module functions

void init_spells_ui() {}

void close_spells_ui() {}

void spells_ui_after_resize() {
    if (SpellsGuiScreen* s = static_cast<SpellsGuiScreen*>(spells_gui_screen.screen)) s->resetPointer();
}

void update_spells_ui(float dt) {
    wizard_play_input(dt);
    SpellsGuiScreen* s = spells_screen();
    if (!s) return;
    bool show = getKeyState(VK_CONTROL) && isAppActive;
    if (show != !s->panel->hidden) {
        s->panel->hidden = !show;
        s->resetPointer();
        s->shown = show ? 0 : 1;
    }
    if (show) s->update(dt);
    s->refreshBars();
}

// True while the spells own the mouse (the camera does not turn then).
bool update_spells_ui_mouse(GameMode*, float) {
    SpellsGuiScreen* s = spells_screen();
    bool show = s && !s->panel->hidden;
    if (show) shouldHideMouse = false;
    return show;
}

void draw_spells_ui(GameMode*, float time) {
    draw_game_hud(time, spells_screen() != nullptr);
    SpellsGuiScreen* s = spells_screen();
    if (!s) return;
    if (s->panel->hidden) s->shown = 1; // the bars do not fade
    s->draw(time);
}
