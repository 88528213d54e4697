// GUI events: a mask bit says what happened; handlers take the events their mask names.
#pragma once

#include "platform/input_event.h"

class NewGuiElement;

enum {
    GUI_EV_HITTEST = 2,
    GUI_EV_KEY = 4, // key down or up
    GUI_EV_ENTER = 16,
    GUI_EV_LEAVE = 32,
    GUI_EV_RELEASE = 64, // mouse button released
    GUI_EV_PRESS = 128,  // mouse button pressed
    GUI_EV_MOVE = 256,
    GUI_EV_WHEEL = 512,
    GUI_EV_RESET = 1024, // forget pointer state (pressed, hover)
};

// send_event modes.
enum {
    GUI_SEND_DOWN = 0,   // from the outermost ancestor (or the stop element) down
    GUI_SEND_BUBBLE = 1, // from the element up to the stop element or the root
    GUI_SEND_ONLY = 2,   // the element alone
    GUI_SEND_TREE = 3,   // the element, then its subtree until someone consumes it
};

class NewGuiEvent {
  public:
    int mask;
    explicit NewGuiEvent(int m) : mask(m) {}
    virtual ~NewGuiEvent() = default;
};

class NewGuiHittestEvent : public NewGuiEvent {
  public:
    float x, y;                      // screen pixels
    NewGuiElement* result = nullptr; // the element found
    NewGuiHittestEvent(float px, float py) : NewGuiEvent(GUI_EV_HITTEST), x(px), y(py) {}
};

class NewGuiInputEvent : public NewGuiEvent {
  public:
    InputEvent input;
    explicit NewGuiInputEvent(const InputEvent& e) : NewGuiEvent(GUI_EV_KEY), input(e) {}
};
