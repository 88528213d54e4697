// The launcher's GUI: elements laid out in resolution-independent units, events routed
// through the element tree to handlers, and behaviours that attach handlers by name.
#pragma once

#include "launcher/gui_renderer.h"
#include "platform/dyn_array.h"
#include "platform/input.h"

#include <cstdint>

class GuiElement;
class GuiScreen;

// ----------------------------------------------------------------------------- lengths

enum {
    GUI_LEN_AUTO = 0,
    GUI_LEN_PIXELS = 1,
    GUI_LEN_UNITS = 2,          // value x the screen's unit length
    GUI_LEN_PERCENT_WIDTH = 3,  // of the parent's width
    GUI_LEN_PERCENT_HEIGHT = 4, // of the parent's height
};

struct GuiLen {
    float value = 0;
    int mode = GUI_LEN_PIXELS;
};

inline GuiLen gui_auto() {
    return {0, GUI_LEN_AUTO};
}
inline GuiLen gui_px(float v) {
    return {v, GUI_LEN_PIXELS};
}
inline GuiLen gui_units(float v) {
    return {v, GUI_LEN_UNITS};
}

struct GuiSides {
    GuiLen top, left, right, bottom;
};

struct GuiRect {
    float top = 0, left = 0, right = 0, bottom = 0;
};

// ------------------------------------------------------------------------------ events

enum {
    GUI_EV_COMMAND = 1,
    GUI_EV_HITTEST = 2,
    GUI_EV_KEY = 4,
    GUI_EV_MOUSE_ENTER = 16,
    GUI_EV_MOUSE_LEAVE = 32,
    GUI_EV_BUTTON_UP = 64,
    GUI_EV_BUTTON_DOWN = 128,
    GUI_EV_MOUSE_MOVE = 256,
    GUI_EV_MOUSE_WHEEL = 512,
    GUI_EV_NOTIFY = 1024,
};

enum {
    GUI_ROUTE_DOWN = 0,    // from the root down to the element, ancestors first
    GUI_ROUTE_UP = 1,      // from the element up through its ancestors to the stop element
    GUI_ROUTE_ELEMENT = 2, // the element only
    GUI_ROUTE_SUBTREE = 3, // the element, then its children depth first
};

struct GuiEvent {
    int code;
    explicit GuiEvent(int c) : code(c) {}
};

struct GuiCommandEvent : GuiEvent {
    int commandId;
    GuiElement* source;
    int flags; // input flags of the activating event
    GuiCommandEvent(int id, GuiElement* src, int f)
        : GuiEvent(GUI_EV_COMMAND), commandId(id), source(src), flags(f) {}
};

struct GuiHittestEvent : GuiEvent {
    float x, y;
    GuiElement* result = nullptr;
    GuiHittestEvent(float px, float py) : GuiEvent(GUI_EV_HITTEST), x(px), y(py) {}
};

struct GuiInputEvent : GuiEvent {
    InputEvent input;
    GuiInputEvent(int c, const InputEvent& e) : GuiEvent(c), input(e) {}
};

struct GuiNotifyEvent : GuiEvent {
    GuiNotifyEvent() : GuiEvent(GUI_EV_NOTIFY) {}
};

enum {
    GUI_NOT_HANDLED = 0,
    GUI_HANDLED = 1,
    GUI_HANDLED_STOP = 2, // handled, and do not descend further
};

class GuiEventHandler {
  public:
    int eventMask = 0;

    explicit GuiEventHandler(int mask) : eventMask(mask) {}
    virtual int handle(GuiEvent& event, GuiElement* element, int routing) = 0;
    virtual void attached(GuiElement* element) {}
    virtual void destroy() { delete this; } // shared handlers override with nothing

  protected:
    virtual ~GuiEventHandler() = default;
};

class GuiBehaviour {
  public:
    virtual const char* name() = 0;
    virtual void attach(GuiElement* element) = 0;

  protected:
    ~GuiBehaviour() = default;
};

// ---------------------------------------------------------------------------- elements

enum { GUI_FLAG_HIDDEN = 1 };

class GuiElement {
  public:
    char name[64] = {};
    GuiElement* parent = nullptr;
    DynArray<GuiElement*> children;

    GuiRect content;      // inside borders and inner spacing, pixels
    GuiRect box;          // the filled area, pixels
    GuiRect borderWidths; // pixels, drawn outside the box

    uint32_t fillColor = 0;        // 0: not filled
    uint32_t borderColors[4] = {}; // top, left, right, bottom
    char text[256] = {};
    uint32_t textColor = 0; // 0: no text drawn
    int textSize = 1;       // multiplied by the screen scale
    int textAlignH = 0;     // -1 left, 0 centre, 1 right
    int textAlignV = 0;     // -1 top, 0 centre, 1 bottom
    int flags = 0;

    GuiLen width = gui_auto(), height = gui_auto();
    GuiSides outerSpacing, borders, innerSpacing;
    float offsetX = 0, offsetY = 0;

    DynArray<GuiEventHandler*> handlers;
    int handlerMask = 0;
    int commandId = 0;

    explicit GuiElement(const char* element_name = "");
    GuiElement(const GuiElement&) = delete;
    GuiElement& operator=(const GuiElement&) = delete;
    ~GuiElement(); // destroys the children and the handlers

    GuiElement* addChild(GuiElement* child); // takes ownership; returns child
    GuiElement* findChild(const char* child_name);
    void setText(const char* t);
    void setHidden(bool hidden); // notifies the element when the flag changes
    bool isHidden() const { return flags & GUI_FLAG_HIDDEN; }
    bool isVisible() const; // neither it nor an ancestor is hidden
    void addHandler(GuiEventHandler* handler);
    bool addBehaviour(const char* behaviour_name); // false for an unknown name
    GuiElement* root();
    // Passes the event to the handlers whose mask has its code; first non-zero wins.
    int handleEvent(GuiEvent& event, int routing);
};

int send_event(GuiEvent& event, GuiElement* element, int routing, GuiElement* stop = nullptr);
GuiElement* hit_test(GuiElement* root, float x, float y);

// ------------------------------------------------------------------------------ screen

class GuiScreen {
  public:
    GuiElement* root = nullptr;
    GuiElement* captured = nullptr;
    GuiElement* hovered = nullptr;
    int scale = 1;
    int gridWidth = 40, gridHeight = 30; // layout grid in units
    IGuiRenderer* renderer = nullptr;

    GuiScreen(IGuiRenderer* r, int grid_width, int grid_height);
    GuiScreen(const GuiScreen&) = delete;
    GuiScreen& operator=(const GuiScreen&) = delete;
    virtual ~GuiScreen();

    virtual void destroy(); // drops the element tree
    virtual float unitLength();
    virtual GuiRect screenRect();
    virtual GuiElement* elementAt(float x, float y);
    virtual void renderElement(GuiElement* element);
    virtual void render();
    virtual void processInput(float elapsed_seconds);
    virtual void dispatchInputEvent(const InputEvent& event, GuiElement* target);
    virtual void relayout();

  private:
    void layoutElement(GuiElement* e, const GuiRect& parent);
    float toPixels(const GuiLen& len, float parent_w, float parent_h);
    void send(int code, const InputEvent& event, GuiElement* target);
};

// ------------------------------------------------------------------------- behaviours

void register_gui_behaviour(GuiBehaviour* behaviour); // ignored when the name is known
GuiBehaviour* find_gui_behaviour(const char* name);   // case-insensitive; null if unknown
void register_standard_gui_behaviours();              // "solidBox" and "button"
