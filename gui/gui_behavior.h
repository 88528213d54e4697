// Event handlers shared by every element they are attached to, the behaviour registry
// that names them for style sheets, event dispatch and hit testing.
#pragma once

#include "gui/gui_element.h"
#include "gui/gui_event.h"
#include "platform/game_export.h"

class GAME_EXPORT NewGuiEventHandler {
  public:
    int mask; // the events it wants
    explicit NewGuiEventHandler(int m) : mask(m) {}
    NewGuiEventHandler(const NewGuiEventHandler&) = delete;
    NewGuiEventHandler& operator=(const NewGuiEventHandler&) = delete;

    // Non-zero consumes the event (send_event's tree search reads 2 as "not here").
    virtual int handleEvent(NewGuiEvent* ev, NewGuiElement* el, int mode) = 0;
    virtual void attach(NewGuiElement* el) {}
    virtual void detach(NewGuiElement* el) {}

  protected:
    ~NewGuiEventHandler() = default; // handlers are long-lived and never deleted through this
};

// "solid_box": an element is hit where its rectangle is, children before their parent.
class GAME_EXPORT NewGuiHittestHandler : public NewGuiEventHandler {
  public:
    NewGuiHittestHandler() : NewGuiEventHandler(GUI_EV_HITTEST) {}
    int handleEvent(NewGuiEvent* ev, NewGuiElement* el, int mode) override;
    // Left and top edges are outside, right and bottom edges inside.
    virtual bool contains(NewGuiElement* el, float x, float y);
};

// "button": keeps pressed and hover, reports press, release and click.
class GAME_EXPORT ButtonBehavior : public NewGuiEventHandler {
  public:
    ButtonBehavior()
        : NewGuiEventHandler(GUI_EV_ENTER | GUI_EV_LEAVE | GUI_EV_RELEASE | GUI_EV_PRESS |
                             GUI_EV_RESET) {}
    int handleEvent(NewGuiEvent* ev, NewGuiElement* el, int mode) override;
    void attach(NewGuiElement* el) override;
    void detach(NewGuiElement* el) override;
    virtual void onClick(NewGuiElement* el, NewGuiInputEvent* ev);
};

// "checkbox": a click toggles checked.
class GAME_EXPORT CheckboxBehavior : public ButtonBehavior {
  public:
    void attach(NewGuiElement* el) override;
    void onClick(NewGuiElement* el, NewGuiInputEvent* ev) override;
};

// "radio_button": a click checks the element and unchecks its siblings of this behaviour.
class GAME_EXPORT RadioButtonBehavior : public ButtonBehavior {
  public:
    void attach(NewGuiElement* el) override;
    void onClick(NewGuiElement* el, NewGuiInputEvent* ev) override;
};

GAME_EXPORT extern NewGuiHittestHandler gui_hittest_box_handler;
GAME_EXPORT extern ButtonBehavior button_behavior;
GAME_EXPORT extern CheckboxBehavior checkbox_behavior;
GAME_EXPORT extern RadioButtonBehavior radio_button_behavior;

// The first registration of a name wins; names are copied (at most 31 characters).
GAME_EXPORT void register_behavior(NewGuiEventHandler* h, const char* name);
GAME_EXPORT NewGuiEventHandler* get_behavior(const char* name); // null when unknown
GAME_EXPORT void register_std_behaviors(); // "solid_box", "button", "checkbox", "radio_button"
// Forgets every behaviour registered after the standard ones (the module's handlers live
// in the module, so they go when it is unbound).
void drop_module_behaviors();

GAME_EXPORT int send_event(NewGuiEvent* ev, NewGuiElement* el, int mode,
                           NewGuiElement* stop = nullptr);
GAME_EXPORT NewGuiElement* hit_test(NewGuiElement* root, float x, float y); // null: nothing
