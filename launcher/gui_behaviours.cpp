// The behaviour registry and the two standard behaviours: "solidBox" makes an element
// answer hit tests; "button" switches its ".normal", ".over" and ".pressed" children and
// sends a command when it is clicked.
#include "launcher/gui.h"

#include <initializer_list>
#include <strings.h>

namespace {
DynArray<GuiBehaviour*> behaviours;

class GuiHittestHandler final : public GuiEventHandler {
  public:
    GuiHittestHandler() : GuiEventHandler(GUI_EV_HITTEST) {}
    int handle(GuiEvent& event, GuiElement* e, int routing) override {
        auto& hit = static_cast<GuiHittestEvent&>(event);
        if (!e->isVisible()) return GUI_NOT_HANDLED; // a hidden ancestor hides it too
        const GuiRect& b = e->box;
        const GuiRect& w = e->borderWidths;
        if (hit.x < b.left - w.left || hit.x >= b.right + w.right) return GUI_NOT_HANDLED;
        if (hit.y < b.top - w.top || hit.y >= b.bottom + w.bottom) return GUI_NOT_HANDLED;
        hit.result = e;
        return GUI_HANDLED;
    }
    void destroy() override {} // one instance serves every solid element
};

GuiHittestHandler shared_hittest_handler;

class ButtonEventHandler final : public GuiEventHandler {
  public:
    ButtonEventHandler()
        : GuiEventHandler(GUI_EV_MOUSE_ENTER | GUI_EV_MOUSE_LEAVE | GUI_EV_BUTTON_UP |
                          GUI_EV_BUTTON_DOWN | GUI_EV_NOTIFY) {}

    void attached(GuiElement* e) override {
        normal = e->findChild(".normal");
        over = e->findChild(".over");
        pressed = e->findChild(".pressed");
        show(normal);
    }

    int handle(GuiEvent& event, GuiElement* e, int routing) override {
        if (event.code == GUI_EV_NOTIFY) {
            show(normal);
            return GUI_HANDLED;
        }
        if (!e->isVisible()) return GUI_NOT_HANDLED;
        const InputEvent& in = static_cast<GuiInputEvent&>(event).input;
        bool held = in.flags & (INPUT_FLAG_LBUTTON | INPUT_FLAG_RBUTTON);
        switch (event.code) {
        case GUI_EV_MOUSE_ENTER:
            show(held ? pressed : over);
            break;
        case GUI_EV_MOUSE_LEAVE:
            show(normal);
            break;
        case GUI_EV_BUTTON_DOWN:
            show(pressed);
            break;
        case GUI_EV_BUTTON_UP: {
            bool on = hit_test(e, in.x, in.y) != nullptr;
            show(held ? pressed : on ? over : normal);
            if (!held && on) {
                GuiCommandEvent cmd(e->commandId, e, in.flags);
                send_event(cmd, e, GUI_ROUTE_UP);
            }
            break;
        }
        default:
            return GUI_NOT_HANDLED;
        }
        return GUI_HANDLED;
    }

  private:
    void show(GuiElement* state) {
        for (GuiElement* s : {normal, over, pressed})
            if (s && s != state) s->setHidden(true);
        if (state) state->setHidden(false);
    }

    GuiElement* normal = nullptr;
    GuiElement* over = nullptr;
    GuiElement* pressed = nullptr;
};

class SolidBoxBehaviour final : public GuiBehaviour {
  public:
    const char* name() override { return "solidBox"; }
    void attach(GuiElement* e) override { e->addHandler(&shared_hittest_handler); }
};

class ButtonBehaviour final : public GuiBehaviour {
  public:
    const char* name() override { return "button"; }
    void attach(GuiElement* e) override { e->addHandler(new ButtonEventHandler); }
};

SolidBoxBehaviour solid_box_behaviour;
ButtonBehaviour button_behaviour;
} // namespace

void register_gui_behaviour(GuiBehaviour* behaviour) {
    if (!find_gui_behaviour(behaviour->name())) behaviours.push_back(behaviour);
}

GuiBehaviour* find_gui_behaviour(const char* name) {
    for (GuiBehaviour* b : behaviours)
        if (strcasecmp(b->name(), name) == 0) return b;
    return nullptr;
}

void register_standard_gui_behaviours() {
    register_gui_behaviour(&solid_box_behaviour);
    register_gui_behaviour(&button_behaviour);
}
