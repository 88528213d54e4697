#include "launcher/launcher.h"

#include "platform/config.h"
#include "platform/log.h"
#include "platform/paths.h"
#include "platform/process.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <strings.h>

#ifndef VELTMOOR_SITE_URL
#define VELTMOOR_SITE_URL "https://quillfen-games.example/veltmoor"
#endif

LauncherSettings launcher_settings;
const char* const launcher_quality_names[2] = {"low", "high"};

namespace {
// --------------------------------------------------------------------------- state

SoftwareGuiRenderer* renderer = nullptr;
GuiScreen* screen = nullptr;
DynArray<uint32_t> frame_pixels;
int fb_width = 0, fb_height = 0;
bool quit_requested = false;
int exit_code = 0;
char game_path[260];

const char* const land_shadow_names[3] = {"off", "low", "high"};

// Panel layout, in units from the panel's top-left corner.
constexpr float MARGIN_X = 2.0f;
constexpr float BOX_X = 14.0f;
constexpr float BOX_STEP = 2.5f;
constexpr float CAPTION_X = 22.0f;
constexpr float BOX_SIZE = 2.0f;
constexpr float BUTTON_Y = 22.5f;

// Control element names, found again when refreshing.
constexpr const char* QUALITY_ROW = "quality row";
constexpr const char* LAND_ROW = "land shadows row";
constexpr const char* OBJECT_ROW = "object shadows row";

// ---------------------------------------------------------------------- building

float border_units() {
    return 1.0f / float(renderer ? renderer->unit() : 8); // one pixel at scale 1
}

// An element at (x, y) units inside its parent, pushed there by auto spacings on the
// far sides; w or h < 0 sizes it to its text.
GuiElement* place(GuiElement* parent, const char* name, float x, float y, float w, float h) {
    GuiElement* e = parent->addChild(new GuiElement(name));
    e->outerSpacing = {gui_units(y), gui_units(x), gui_auto(), gui_auto()};
    e->width = w < 0 ? gui_auto() : gui_units(w);
    e->height = h < 0 ? gui_auto() : gui_units(h);
    return e;
}

GuiElement* add_text(GuiElement* parent, const char* text, float x, float y, float h, int size,
                     uint32_t color) {
    GuiElement* e = place(parent, text, x, y, -1, h);
    e->setText(text);
    e->textSize = size;
    e->textColor = color;
    e->textAlignH = -1;
    e->textAlignV = 0;
    return e;
}

// A row of the options list: the full panel width, two units high.
GuiElement* add_row(GuiElement* panel, const char* name, float y, const char* label) {
    GuiElement* row = panel->addChild(new GuiElement(name));
    row->outerSpacing = {gui_units(y), gui_px(0), gui_px(0), gui_auto()};
    row->width = {100, GUI_LEN_PERCENT_WIDTH};
    row->height = gui_units(BOX_SIZE);
    add_text(row, label, MARGIN_X, 0, BOX_SIZE, 1, 0xFFFFFFFF);
    return row;
}

struct StateStyle {
    uint32_t border[4]; // top, left, right, bottom
    uint32_t fill;
    uint32_t text;
    float shift; // pixels the text moves when pressed
};

// A state child fills its control exactly: its one-pixel border lies inside the control.
void add_state(GuiElement* control, const char* name, const StateStyle& st, float w, float h,
               int text_size) {
    float b = border_units();
    GuiElement* s = control->addChild(new GuiElement(name));
    s->outerSpacing = {gui_px(0), gui_px(0), gui_px(0), gui_px(0)};
    s->borders = {gui_units(b), gui_units(b), gui_units(b), gui_units(b)};
    s->width = gui_units(w - 2 * b);
    s->height = gui_units(h - 2 * b);
    memcpy(s->borderColors, st.border, sizeof(st.border));
    s->fillColor = st.fill;
    if (!control->text[0]) return;
    GuiElement* label = s->addChild(new GuiElement("label"));
    label->width = {100, GUI_LEN_PERCENT_WIDTH};
    label->height = {100, GUI_LEN_PERCENT_HEIGHT};
    label->offsetX = label->offsetY = st.shift;
    label->setText(control->text);
    label->textColor = st.text;
    label->textSize = text_size;
}

GuiElement* add_control(GuiElement* parent, int id, const char* text, float x, float y, float w,
                        float h, int text_size, const StateStyle styles[3]) {
    GuiElement* c = place(parent, text, x, y, w, h);
    c->commandId = id;
    c->setText(text); // kept for the state labels; the control itself draws no text
    const char* names[3] = {".normal", ".over", ".pressed"};
    for (int i = 0; i < 3; ++i) add_state(c, names[i], styles[i], w, h, text_size);
    c->addBehaviour("solidBox");
    c->addBehaviour("button");
    return c;
}

const StateStyle BUTTON_STYLES[3] = {
    {{0xFF505050, 0xFF505050, 0xFF505050, 0xFF505050}, 0xFF323232, 0xFFC8C8C8, 0},
    {{0xFF828282, 0xFF828282, 0xFF464646, 0xFF464646}, 0xFF646464, 0xFFFFFFFF, 0},
    {{0xFF828282, 0xFF828282, 0xFF828282, 0xFF828282}, 0xFF646464, 0xFFFFFFFF, 2},
};

// Fills follow the option's value on every refresh.
const StateStyle BOX_STYLES[3] = {
    {{0xFF221100, 0xFF221100, 0xFF221100, 0xFF221100}, 0xFF000000, 0, 0},
    {{0xFF884411, 0xFF884411, 0xFF884411, 0xFF884411}, 0xFF221100, 0, 0},
    {{0xFFEE8822, 0xFFEE8822, 0xFFEE8822, 0xFFEE8822}, 0xFFEE8822, 0, 0},
};

GuiElement* add_box(GuiElement* row, int id, float x) {
    return add_control(row, id, "", x, 0, BOX_SIZE, BOX_SIZE, 1, BOX_STYLES);
}

void add_check_row(GuiElement* panel, const char* label, float y, int id) {
    GuiElement* row = add_row(panel, label, y, label);
    add_box(row, id, BOX_X);
}

void add_radio_row(GuiElement* panel, const char* name, const char* label, float y, int first_id,
                   int count) {
    GuiElement* row = add_row(panel, name, y, label);
    for (int i = 0; i < count; ++i) add_box(row, first_id + i, BOX_X + BOX_STEP * float(i));
    GuiElement* caption = add_text(row, "", CAPTION_X, 0, BOX_SIZE, 1, 0xFFC8C8C8);
    snprintf(caption->name, sizeof(caption->name), "caption");
}

GuiElement* build_screen_root() {
    GuiElement* panel = new GuiElement("panel");
    panel->outerSpacing = {gui_auto(), gui_auto(), gui_auto(), gui_auto()};
    panel->width = gui_units(LAUNCHER_GRID_WIDTH);
    panel->height = gui_units(LAUNCHER_GRID_HEIGHT);
    panel->fillColor = 0xFF222222;

    add_text(panel, "Veltmoor", MARGIN_X, 1.0f, -1, 4, 0xFFFFFFFF);
    add_text(panel, "Version 0.10 DEMO", MARGIN_X, 5.0f, -1, 1, 0xFFFFFFFF);
    add_check_row(panel, "Fullscreen", 6.5f, CMD_FULLSCREEN);
    add_check_row(panel, "VSync", 9.0f, CMD_VSYNC);
    add_radio_row(panel, QUALITY_ROW, "Graphics quality", 11.5f, CMD_QUALITY_0, 2);
    add_check_row(panel, "Anti-aliasing", 14.0f, CMD_ANTI_ALIASING);
    add_radio_row(panel, LAND_ROW, "Land shadows", 16.5f, CMD_LAND_SHADOWS_0, 3);
    GuiElement* obj = add_row(panel, OBJECT_ROW, 19.0f, "Object shadows");
    add_box(obj, CMD_OBJECT_SHADOWS, BOX_X);

    GuiElement* notice = add_text(panel, "Options are saved when you press Start or Quit.",
                                  MARGIN_X, 0, -1, 1, 0xFF808080);
    notice->outerSpacing.top = gui_auto();
    notice->outerSpacing.bottom = gui_units(0.5f);

    add_control(panel, CMD_START, "Start", MARGIN_X, BUTTON_Y, 11, 5, 3, BUTTON_STYLES);
    add_control(panel, CMD_QUIT, "Quit", 13.5f, BUTTON_Y, 11, 5, 3, BUTTON_STYLES);
    add_control(panel, CMD_VISIT_SITE, "Visit site", 25.0f, BUTTON_Y, 13, 5, 2, BUTTON_STYLES);
    return panel;
}

// --------------------------------------------------------------------- refreshing

void set_box(int id, bool on) {
    GuiElement* box = find_launcher_control(id);
    if (!box) return;
    const uint32_t normal = on ? 0xFFAA4411 : 0xFF000000;
    const uint32_t over = on ? 0xFFEE8822 : 0xFF221100;
    const uint32_t pressed = on ? 0xFF221100 : 0xFFEE8822;
    if (GuiElement* s = box->findChild(".normal")) s->fillColor = normal;
    if (GuiElement* s = box->findChild(".over")) s->fillColor = over;
    if (GuiElement* s = box->findChild(".pressed")) s->fillColor = pressed;
}

void set_caption(const char* row_name, const char* text) {
    GuiElement* row = screen->root->findChild(row_name);
    GuiElement* caption = row ? row->findChild("caption") : nullptr;
    if (caption) caption->setText(text);
}

GuiElement* find_control_in(GuiElement* e, int id) {
    if (e->commandId == id) return e;
    for (GuiElement* c : e->children)
        if (GuiElement* r = find_control_in(c, id)) return r;
    return nullptr;
}

// ------------------------------------------------------------------------ commands

void start_game() {
    const char* path = launcher_game_path();
    const char* argv[] = {path, nullptr};
    char reason[400];
    if (!start_detached_process(path, argv, reason, sizeof(reason))) {
        char text[512];
        snprintf(text, sizeof(text), "Could not start the game.\n%s", reason);
        report_error(text); // the launcher stays open: nothing here is fatal
    } else {
        debug("started '%s'", path);
    }
}

void visit_site() {
    const char* opener = launcher_url_opener();
    const char* argv[] = {opener, launcher_site_url(), nullptr};
    char reason[400];
    if (!start_detached_process(opener, argv, reason, sizeof(reason)))
        debug("can't open %s: %s", launcher_site_url(), reason);
}

class LauncherHandler final : public GuiEventHandler {
  public:
    LauncherHandler() : GuiEventHandler(GUI_EV_COMMAND) { enabled = 1; }
    int enabled;

    int handle(GuiEvent& event, GuiElement* element, int routing) override {
        if (!enabled) return GUI_NOT_HANDLED;
        return onCommand(static_cast<GuiCommandEvent&>(event)) ? GUI_HANDLED : GUI_NOT_HANDLED;
    }
    void attached(GuiElement* element) override {}

  private:
    bool onCommand(const GuiCommandEvent& cmd) {
        LauncherSettings& s = launcher_settings;
        int id = cmd.commandId;
        switch (id) {
        case CMD_START:
            write_launcher_settings();
            start_game();
            request_launcher_quit(0);
            return true;
        case CMD_QUIT:
            write_launcher_settings();
            request_launcher_quit(0);
            return true;
        case CMD_VISIT_SITE:
            visit_site();
            return true;
        case CMD_FULLSCREEN:
            s.fullscreen = !s.fullscreen;
            break;
        case CMD_ANTI_ALIASING:
            s.antiAliasing = !s.antiAliasing;
            break;
        case CMD_VSYNC:
            s.vsync = !s.vsync;
            break;
        case CMD_OBJECT_SHADOWS:
            s.objectShadows = !s.objectShadows;
            break;
        case CMD_LAND_SHADOWS_0:
        case CMD_LAND_SHADOWS_0 + 1:
        case CMD_LAND_SHADOWS_0 + 2:
            s.landShadows = id - CMD_LAND_SHADOWS_0;
            break;
        case CMD_QUALITY_0:
        case CMD_QUALITY_0 + 1:
            s.gfxQuality = id - CMD_QUALITY_0;
            break;
        default:
            return false;
        }
        refresh_launcher_controls();
        return true;
    }
};
} // namespace

// -------------------------------------------------------------------------- settings

void read_launcher_settings() {
    LauncherSettings& s = launcher_settings;
    int flags = 0;
    if (get_config_int("flags", flags)) {
        s.fullscreen = flags & 1;
        s.antiAliasing = flags & 2;
        s.vsync = flags & 4;
        s.objectShadows = flags & 8;
    }
    int land = 0;
    // A value the radio boxes cannot show would be written back unchanged: keep ours.
    if (get_config_int("land_shadows", land)) {
        if (land >= 0 && land <= 2)
            s.landShadows = land;
        else
            debug("ignoring stored land_shadows %d", land);
    }
    char quality[33];
    if (get_config_str("gfx_quality", quality, sizeof(quality))) {
        for (int i = 0; i < 2; ++i)
            if (strcasecmp(quality, launcher_quality_names[i]) == 0) {
                s.gfxQuality = i;
                break;
            }
    }
}

bool write_launcher_settings() {
    const LauncherSettings& s = launcher_settings;
    int flags = (s.fullscreen ? 1 : 0) | (s.antiAliasing ? 2 : 0) | (s.vsync ? 4 : 0) |
                (s.objectShadows ? 8 : 0);
    bool ok = set_config_int("flags", flags);
    ok = set_config_int("land_shadows", s.landShadows) && ok;
    ok = set_config_str("gfx_quality", launcher_quality_names[s.gfxQuality], -1) && ok;
    if (!ok) debug("can't write the settings to '%s'", get_config_file_path());
    return ok;
}

// ------------------------------------------------------------------------ life cycle

void init_launcher(const char* font_path, int width, int height) {
    register_standard_gui_behaviours();
    renderer = new SoftwareGuiRenderer;
    renderer->set_font(renderer->load_font(font_path));
    screen = new GuiScreen(renderer, LAUNCHER_GRID_WIDTH, LAUNCHER_GRID_HEIGHT);
    resize_frame_buffer(width, height);
    screen->root = build_screen_root();
    screen->relayout();
    refresh_launcher_controls();
    screen->root->addHandler(new LauncherHandler);
    quit_requested = false;
    exit_code = 0;
}

void close_launcher() {
    delete screen;
    screen = nullptr;
    frame_pixels.clear();
    fb_width = fb_height = 0;
    delete renderer;
    renderer = nullptr;
}

void refresh_launcher_controls() {
    if (!screen || !screen->root) return;
    const LauncherSettings& s = launcher_settings;
    set_box(CMD_FULLSCREEN, s.fullscreen);
    set_box(CMD_ANTI_ALIASING, s.antiAliasing);
    set_box(CMD_VSYNC, s.vsync);
    set_box(CMD_OBJECT_SHADOWS, s.objectShadows);
    for (int i = 0; i < 3; ++i) set_box(CMD_LAND_SHADOWS_0 + i, s.landShadows == i);
    for (int i = 0; i < 2; ++i) set_box(CMD_QUALITY_0 + i, s.gfxQuality == i);
    set_caption(QUALITY_ROW, launcher_quality_names[s.gfxQuality]);
    set_caption(LAND_ROW,
                s.landShadows >= 0 && s.landShadows <= 2 ? land_shadow_names[s.landShadows] : "");
    bool high = s.gfxQuality == 1;
    for (const char* row : {LAND_ROW, OBJECT_ROW})
        if (GuiElement* e = screen->root->findChild(row)) e->setHidden(!high);
}

GuiScreen* launcher_screen() {
    return screen;
}

SoftwareGuiRenderer* launcher_renderer() {
    return renderer;
}

GuiElement* find_launcher_control(int command_id) {
    return screen && screen->root && command_id ? find_control_in(screen->root, command_id)
                                                : nullptr;
}

// ---------------------------------------------------------------------- frame buffer

void resize_frame_buffer(int width, int height) {
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    frame_pixels.num = 0;
    frame_pixels.reserve(width * height);
    frame_pixels.num = width * height;
    memset(frame_pixels.items, 0, sizeof(uint32_t) * size_t(frame_pixels.num));
    fb_width = width;
    fb_height = height;
    if (renderer) renderer->set_target(frame_pixels.items, width * 4, width, height);
    if (screen) screen->relayout();
}

const uint32_t* frame_buffer_pixels() {
    return frame_pixels.items;
}
int frame_buffer_width() {
    return fb_width;
}
int frame_buffer_height() {
    return fb_height;
}

void render_frame_buffer() {
    if (!renderer || !frame_pixels.items) return;
    renderer->set_target(frame_pixels.items, fb_width * 4, fb_width, fb_height);
    renderer->clear_target(0);
    if (screen) screen->render();
}

// -------------------------------------------------------------------------- quitting

bool launcher_quit_requested() {
    return quit_requested;
}
int launcher_exit_code() {
    return exit_code;
}
void request_launcher_quit(int code) {
    quit_requested = true;
    exit_code = code;
}
void reset_launcher_quit() {
    quit_requested = false;
    exit_code = 0;
}

// ------------------------------------------------------------------------- externals

const char* launcher_game_path() {
    if (const char* p = getenv("VELTMOOR_GAME_PATH"); p && *p) return p;
    // The program's own folder: an installed game keeps its data elsewhere (app_path).
    snprintf(game_path, sizeof(game_path), "%s",
             make_full_path_from(app_folders.exe, "game").c_str());
    return game_path;
}

const char* launcher_url_opener() {
    if (const char* p = getenv("VELTMOOR_URL_OPENER"); p && *p) return p;
    return "xdg-open";
}

const char* launcher_site_url() {
    return VELTMOOR_SITE_URL;
}
