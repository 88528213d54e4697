#include "gui/gui_screen.h"

#include "actors/actor_module.h"

#include "gui/gui_behavior.h"
#include "gui/gui_style.h"
#include "platform/input.h"
#include "platform/log.h"
#include "render/device.h"

#include <initializer_list>

BaseGuiScreen* cur_game_screen = nullptr;
GuiScreenSlot spells_gui_screen = {};
GuiScreenSlot game_menu_screen = {};
GuiScreenSlot game_options_screen = {};

namespace {
const int HELD_BUTTONS = INPUT_FLAG_LBUTTON | INPUT_FLAG_RBUTTON;

void send_pointer(int mask, const InputEvent& e, NewGuiElement* el) {
    if (!el) return;
    NewGuiInputEvent ev(e);
    ev.mask = mask;
    send_event(&ev, el, GUI_SEND_ONLY);
}
} // namespace

void BaseGuiScreen::processInput() {
    InputEvent e;
    while (getEvent(&e)) handleInput(e);
}

void BaseGuiScreen::handleInput(const InputEvent& e) {
    NewGuiElement* target = captured;
    bool buttons = e.flags & HELD_BUTTONS;
    if (!target) {
        target = hit_test(root, e.x, e.y);
        if (target != hover.get()) {
            send_pointer(GUI_EV_LEAVE, e, hover);
            send_pointer(GUI_EV_ENTER, e, target);
            hover = target;
        }
    } else if (buttons) {
        NewGuiElement* h = hit_test(root, e.x, e.y);
        if (h != hover.get()) {
            send_pointer(GUI_EV_LEAVE, e, hover);
            hover = nullptr;
            if (h == target) {
                hover = h;
                send_pointer(GUI_EV_ENTER, e, h);
            }
        }
    } else {
        captured = nullptr;
    }
    processInputEvent(e, target);
}

int BaseGuiScreen::processInputEvent(const InputEvent& e, NewGuiElement* el) {
    NewGuiInputEvent ev(e);
    switch (e.type) {
    case INPUT_KEY_DOWN:
    case INPUT_KEY_UP:
        ev.mask = GUI_EV_KEY;
        break;
    case INPUT_BUTTON_DOWN:
        if (el) captured = el;
        ev.mask = GUI_EV_PRESS;
        break;
    case INPUT_BUTTON_UP:
        ev.mask = GUI_EV_RELEASE;
        break;
    case INPUT_MOUSE_MOVE:
        ev.mask = GUI_EV_MOVE;
        break;
    case INPUT_MOUSE_WHEEL:
        ev.mask = GUI_EV_WHEEL;
        break;
    default:
        assert_failed("guiRuntime", 275, "!\"unknown input event type\"");
    }
    return el ? send_event(&ev, el, GUI_SEND_ONLY) : 0;
}

void BaseGuiScreen::restyle() {
    if (style) style->restyle(root, false);
    if (!root) return;
    float wd = float(d3d_wd), ht = float(d3d_ht);
    root->layout(make4f(0, 0, wd, ht), make4f(ht, 0, 0, 0), make4f(0, ht, 0, 0), 0.001f * ht);
}

void BaseGuiScreen::resetPointer() {
    InputEvent none = {};
    NewGuiInputEvent ev(none);
    ev.mask = GUI_EV_RESET;
    send_event(&ev, root, GUI_SEND_TREE);
    captured = nullptr;
    hover = nullptr;
}

BaseGuiScreen* get_gui_screen(GuiScreenSlot& slot) {
    if (!slot.screen && slot.createScreen) slot.screen = slot.createScreen();
    return slot.screen;
}

namespace {
// Any program that links the runtime (the game, tests loading the real module) releases the
// module's screens, styles and behaviours when it unbinds the module: their class tables go
// with it, and deleting them later would call into unloaded code.
struct UnbindHook {
    UnbindHook() { module_unbind_hook = unbind_module_gui; }
} unbind_hook;
} // namespace

void unbind_module_gui() {
    for (GuiScreenSlot* s : {&spells_gui_screen, &game_menu_screen, &game_options_screen}) {
        if (cur_game_screen == s->screen) cur_game_screen = nullptr;
        delete s->screen;
        *s = GuiScreenSlot{};
    }
    cur_game_screen = nullptr;
    spells_style.clear();
    common_style.clear();
    drop_module_behaviors();
}
