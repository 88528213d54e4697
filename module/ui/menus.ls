// The game menu (Escape in play) and the options screen, with the module functions that
// drive them. Options apply at once where the engine can and are stored for the next start
// in the store launchpad uses.

enum MenuAction {
    MA_RESUME = 1,
    MA_NEW_WORLD,
    MA_OPTIONS,
    MA_QUIT,
    MA_BACK,
    MA_FULLSCREEN,
    MA_VSYNC,
    MA_ANTIALIAS,
    MA_POSTFX,
    MA_OBJ_SHADOWS,
    MA_QUALITY_LOW,
    MA_QUALITY_HIGH,
    MA_LAND_SHADOWS_OFF,
    MA_LAND_SHADOWS_LOW,
    MA_LAND_SHADOWS_HIGH,
};

void set_radio(NewGuiElement* group, int index);
int get_radio(NewGuiElement* group);

class GameMenuScreen : public UiScreen {
  public:
    const char* className() override { return "GameMenuScreen"; }
    void build() {
        GuiElement* panel = begin(&common_style, "backdrop")->add("panel", 0, 0, 560, 640);
        panel->add<GuiTextElement>("title", 0, -230, 480, 90, "Veltmoor");
        const char* names[4] = {"Resume", "New world", "Options", "Quit"};
        for (int i = 0; i < 4; ++i)
            listen(panel->add<GuiButtonElement>("button", 0, -90.0f + 105.0f * i, 400, 80,
                                                names[i], MA_RESUME + i));
    }

    void onAction(GuiElement* el, int) override;
    void onBack() override { should_close_game_menu = true; }
};

class GameOptionsScreen : public UiScreen {
  public:
    GuiElement* toggles[5] = {};
    GuiElement* quality = nullptr;
    GuiElement* land = nullptr;

    const char* className() override { return "GameOptionsScreen"; }
    void build() {
        GuiElement* panel = begin(&common_style, "backdrop")->add("panel", 0, 0, 1080, 820);
        panel->add<GuiTextElement>("title", 0, -320, 900, 90, "Options");
        const char* names[5] = {"Fullscreen", "Vertical sync", "Anti-aliasing", "Post-effects",
                                "Object shadows"};
        for (int i = 0; i < 5; ++i)
            toggles[i] = toggle(panel, "check", -250, -210.0f + 80.0f * i, 440, names[i],
                                MA_FULLSCREEN + i, false);
        panel->add<GuiTextElement>("heading", 250, -210, 440, 60, "Graphics quality");
        quality = panel->add("group", 250, -110, 440, 140);
        toggle(quality, "radio", 0, -35, 440, "Low", MA_QUALITY_LOW, true);
        toggle(quality, "radio", 0, 35, 440, "High", MA_QUALITY_HIGH, true);
        panel->add<GuiTextElement>("note", 250, -25, 440, 40, "takes effect at the next start");
        panel->add<GuiTextElement>("heading", 250, 40, 440, 60, "Land shadows");
        land = panel->add("group", 250, 175, 440, 210);
        toggle(land, "radio", 0, -70, 440, "Off", MA_LAND_SHADOWS_OFF, true);
        toggle(land, "radio", 0, 0, 440, "Low", MA_LAND_SHADOWS_LOW, true);
        toggle(land, "radio", 0, 70, 440, "High", MA_LAND_SHADOWS_HIGH, true);
        listen(panel->add<GuiButtonElement>("button", 0, 330, 360, 80, "Back", MA_BACK));
    }

    GuiElement* toggle(GuiElement* parent, const char* cls, float x, float y, float w,
                       const char* label, int action, bool round) {
        GuiElement* e = round ? parent->add<GuiRadioElement>(cls, x, y, w, 64, label, action)
                              : parent->add<GuiCheckboxElement>(cls, x, y, w, 64, label, action);
        // Styles attach behaviours lazily; the listeners need to know the kind now. A release
        // clicks only where the element itself is hit, so it is a solid box too.
        e->addBehavior("solid_box");
        e->addBehavior(round ? "radio_button" : "checkbox");
        listen(e);
        return e;
    }

    // Shows the engine's current values.
    void refresh() {
        const bool on[5] = {isFullscreen, app_use_vsync, use_ppaa, use_postfx, use_obj_shadows};
        for (int i = 0; i < 5; ++i) toggles[i]->setBool(GUI_PROP_CHECKED, on[i]);
        toggles[3]->disabled = gfx_quality != 1; // the low path has no post-effects
        set_radio(quality, stored_quality());
        set_radio(land, land_shadow_quality);
    }
    static int stored_quality() {
        char name[33];
        if (get_config_str("gfx_quality", name, sizeof(name)))
            for (int i = 0; gfx_quality_name[i]; ++i)
                if (strcasecmp(name, gfx_quality_name[i]) == 0) return i;
        return gfx_quality;
    }

    void onAction(GuiElement* el, int value) override;
    void onBack() override;
};

// [SECTION] radio groups

// Checks the index-th radio button among the children of `group`, unchecks the others.
void set_radio(NewGuiElement* group, int index) {
    if (!group) return;
    NewGuiEventHandler* radio = get_behavior("radio_button");
    int n = 0;
    for (int i = 0; i < group->children.num; ++i) {
        NewGuiElement* e = group->children[i];
        if (e->hasHandler(radio)) e->setBool(GUI_PROP_CHECKED, n++ == index);
    }
}

// The index of the checked radio button among the children of `group`, -1 when none.
int get_radio(NewGuiElement* group) {
    if (!group) return -1;
    NewGuiEventHandler* radio = get_behavior("radio_button");
    int n = 0;
    for (int i = 0; i < group->children.num; ++i) {
        NewGuiElement* e = group->children[i];
        if (!e->hasHandler(radio)) continue;
        if (e->getBool(GUI_PROP_CHECKED)) return n;
        ++n;
    }
    return -1;
}

// [SECTION] actions

static void show_screen(GuiScreenSlot& slot) {
    auto* s = static_cast<UiScreen*>(get_gui_screen(slot));
    cur_game_screen = s;
    if (s) s->open();
    if (&slot == &game_options_screen && s) static_cast<GameOptionsScreen*>(s)->refresh();
}

void GameMenuScreen::onAction(GuiElement* el, int) {
    switch (el->id) {
    case MA_RESUME:
        should_close_game_menu = true;
        break;
    case MA_NEW_WORLD:
        should_close_game_menu = true;
        generate_world();
        break;
    case MA_OPTIONS:
        show_screen(game_options_screen);
        break;
    case MA_QUIT:
        request_quit();
        break;
    }
}

static void save_options(GameOptionsScreen* s) {
    int q = get_radio(s->quality);
    if (!save_game_settings(q < 0 ? gfx_quality : q)) debug("can't store the options");
}

void GameOptionsScreen::onAction(GuiElement* el, int value) {
    bool on = value != 0;
    switch (el->id) {
    case MA_BACK:
        onBack();
        return;
    case MA_FULLSCREEN:
        set_fullscreen(on);
        break;
    case MA_VSYNC:
        set_vsync(on);
        break;
    case MA_ANTIALIAS:
        use_ppaa = on;
        break;
    case MA_POSTFX:
        use_postfx = on;
        break;
    case MA_OBJ_SHADOWS:
        use_obj_shadows = on;
        break;
    case MA_LAND_SHADOWS_OFF:
    case MA_LAND_SHADOWS_LOW:
    case MA_LAND_SHADOWS_HIGH:
        land_shadow_quality = el->id - MA_LAND_SHADOWS_OFF;
        break;
    }
    save_options(this);
}

void GameOptionsScreen::onBack() {
    show_screen(game_menu_screen);
}

// [SECTION] styles

static void build_common_style() {
    GuiStyle& st = common_style;
    add_sheet(st, "backdrop", 0, gui_props(ui_color(UP_BG, 0x88060A10)));
    add_sheet(st, "panel", 0,
              gui_props(ui_color(UP_BG, 0xEE16202E), ui_number(UP_RADIUS, 22),
                        ui_color(UP_SHADOW, 0xB0000000), ui_number(UP_SHADOW_BLUR, 40),
                        ui_number(UP_SHADOW_Y, 14)));
    add_sheet(st, "title", 0,
              gui_props(ui_color(UP_TEXT_COLOR, 0xFFF3E3BC), ui_number(UP_TEXT_SIZE, 76)));
    add_sheet(st, "heading", 0,
              gui_props(ui_color(UP_TEXT_COLOR, 0xFFD9C08A), ui_number(UP_TEXT_SIZE, 36),
                        ui_int(UP_TEXT_ALIGN, DFA_LEFT)));
    add_sheet(st, "note", 0,
              gui_props(ui_color(UP_TEXT_COLOR, 0xFF8593A3), ui_number(UP_TEXT_SIZE, 26),
                        ui_int(UP_TEXT_ALIGN, DFA_LEFT)));
    add_sheet(st, "button", 0,
              gui_props(gui_behaviors("solid_box\0button\0"), ui_color(UP_BG, 0xFF2B3D57),
                        ui_number(UP_RADIUS, 14), ui_color(UP_SHADOW, 0x90000000),
                        ui_number(UP_SHADOW_BLUR, 10), ui_number(UP_SHADOW_Y, 5),
                        ui_color(UP_TEXT_COLOR, 0xFFE9EEF5), ui_number(UP_TEXT_SIZE, 38)));
    add_sheet(st, "button", US_HOVER, gui_props(ui_color(UP_BG, 0xFF3A5A82)));
    add_sheet(st, "button", US_HOVER | US_PRESSED,
              gui_props(ui_color(UP_BG, 0xFF22334A), ui_number(UP_SHADOW_Y, 1),
                        ui_number(UP_SHADOW_BLUR, 3)));
    for (const char* cls : {"check", "radio"}) {
        add_sheet(st, cls, 0,
                  gui_props(ui_number(UP_RADIUS, 12), ui_color(UP_TEXT_COLOR, 0xFFD5DDE8),
                            ui_number(UP_TEXT_SIZE, 32), ui_int(UP_TEXT_ALIGN, DFA_LEFT),
                            ui_color(UP_ACCENT, 0xFFE8B04A),
                            ui_number(UP_INSET, strcmp(cls, "radio") ? 0.2f : 0.28f)));
        add_sheet(st, cls, US_HOVER, gui_props(ui_color(UP_BG, 0x28FFFFFF)));
        add_sheet(st, cls, US_HOVER | US_PRESSED, gui_props(ui_color(UP_BG, 0x14FFFFFF)));
    }
    // Keyboard focus: an outline around buttons, a tint behind the see-through toggles.
    add_sheet(st, "button", US_FOCUS, gui_props(ui_color(UP_RING, 0xC0E8B04A)));
    for (const char* cls : {"check", "radio"})
        add_sheet(st, cls, US_FOCUS, gui_props(ui_color(UP_BG, 0x30E8B04A)));
    add_sheet(st, nullptr, US_DISABLED, gui_props(ui_color(UP_TEXT_COLOR, 0xFF5C6573)));
}

static BaseGuiScreen* create_game_menu() {
    auto* s = new GameMenuScreen;
    s->build();
    debug("screen %s built", s->className());
    return s;
}
static BaseGuiScreen* create_options() {
    auto* s = new GameOptionsScreen;
    s->build();
    debug("screen %s built", s->className());
    return s;
}

// [SECTION] module functions

// After every bind: unbinding took the old module's screens, styles and factories away.
void link_module_gui() {
    build_common_style();
    build_spells_style();
    game_menu_screen.createScreen = create_game_menu;
    game_options_screen.createScreen = create_options;
    spells_gui_screen.createScreen = create_spells_screen;
}

void init_new_gui() {
    cur_game_screen = nullptr;
}

void open_game_menu(GameMode*) {
    shouldHideMouse = false;
    show_screen(game_menu_screen);
}

void close_game_menu(GameMode*) {
    if (cur_game_screen) cur_game_screen->resetPointer();
    cur_game_screen = nullptr;
}

void update_game_menu(float dt) {
    shouldHideMouse = false;
    // A rebuilt module starts without screens: bring the menu back through its factory.
    if (!cur_game_screen) show_screen(game_menu_screen);
    if (cur_game_screen) static_cast<UiScreen*>(cur_game_screen)->update(dt);
}

void draw_game_menu(GameMode*, float time) {
    if (cur_game_screen) static_cast<UiScreen*>(cur_game_screen)->draw(time);
}
