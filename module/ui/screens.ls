// The module's screens: the spell interface of play mode and the game menu. Their element
// classes exist with their tables; the screens are built on the game's GUI runtime.

class GuiElement : public BaseObject {
  public:
    vec4f rect = make4f(0.0f);
    const char* className() override { return "GuiElement"; }
};

#define MODULE_GUI_CLASS(cls, base)                                                                \
    class cls : public base {                                                                      \
      public:                                                                                      \
        const char* className() override { return #cls; }                                          \
    };

MODULE_GUI_CLASS(GuiTextElement, GuiElement)
MODULE_GUI_CLASS(GuiImageElement, GuiElement)
MODULE_GUI_CLASS(GuiButtonElement, GuiElement)
MODULE_GUI_CLASS(GuiCheckboxElement, GuiButtonElement)
MODULE_GUI_CLASS(GuiRadioElement, GuiButtonElement)
MODULE_GUI_CLASS(GuiSliderElement, GuiElement)
MODULE_GUI_CLASS(GuiSpellSlotElement, GuiButtonElement)
MODULE_GUI_CLASS(GuiClassSelector, BaseObject)
MODULE_GUI_CLASS(GuiIdSelector, BaseObject)
MODULE_GUI_CLASS(SpellsGuiScreen, BaseObject)
MODULE_GUI_CLASS(GameMenuScreen, BaseObject)
MODULE_GUI_CLASS(GameOptionsScreen, BaseObject)

constexpr int KEY_ESCAPE = 0x1B;

void init_new_gui() {}
void init_spells_ui() {}
void close_spells_ui() {}
void spells_ui_after_resize() {}
void update_spells_ui(float dt) {}
void draw_spells_ui(GameMode* mode, float time) {}
bool update_spells_ui_mouse(GameMode* mode, float time) {
    return false;
}

void open_game_menu(GameMode* mode) {}
void close_game_menu(GameMode* mode) {}
void update_game_menu(float dt) {
    // Escape goes back to where the menu was opened from.
    if (isAppActive && keyDown(KEY_ESCAPE)) should_close_game_menu = true;
}
void draw_game_menu(GameMode* mode, float time) {}

void set_radio(BaseObject* element, int value) {}
int get_radio(BaseObject* element) {
    return 0;
}
