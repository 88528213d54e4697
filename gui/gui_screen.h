// A screen: an element tree with a style, fed by the platform's input queue with hover
// and mouse capture. The module derives its screens; game keeps the slots they live in.
#pragma once

#include "gui/gui_element.h"
#include "gui/gui_event.h"
#include "platform/game_export.h"

class GuiStyle;

class GAME_EXPORT BaseGuiScreen : public BaseObject {
  public:
    NewGuiElement* root = nullptr;   // owned
    WeakRef<NewGuiElement> captured; // where a mouse button went down
    WeakRef<NewGuiElement> hover;
    GuiStyle* style = nullptr;

    ~BaseGuiScreen() override { delete root; }
    const char* className() override { return "BaseGuiScreen"; }

    virtual void processInput(); // every event waiting in the input queue
    // Maps the event to its mask and dispatches it at `el` alone; the handler's result.
    virtual int processInputEvent(const InputEvent& e, NewGuiElement* el);
    virtual void restyle(); // styles, then the root's layout over the whole screen

    void handleInput(const InputEvent& e); // hover and capture for one event, then dispatch
    void resetPointer(); // every element forgets pressed and hover; no capture, no hover
};

// Where a module screen lives: created on first use by its factory, which the module sets
// when it is bound; unbinding deletes the screen and clears the factory.
struct GuiScreenSlot {
    BaseGuiScreen* screen;
    BaseGuiScreen* (*createScreen)();
};

GAME_EXPORT extern BaseGuiScreen* cur_game_screen;
GAME_EXPORT extern GuiScreenSlot spells_gui_screen;
GAME_EXPORT extern GuiScreenSlot game_menu_screen;
GAME_EXPORT extern GuiScreenSlot game_options_screen;

GAME_EXPORT BaseGuiScreen* get_gui_screen(GuiScreenSlot& slot); // null without a factory

// Before the module is released: its screens, styles and behaviours go (their code and
// class tables live in the module).
void unbind_module_gui();
