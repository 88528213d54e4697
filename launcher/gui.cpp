#include "launcher/gui.h"

#include "platform/log.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

// ----------------------------------------------------------------------------- elements

GuiElement::GuiElement(const char* element_name) {
    snprintf(name, sizeof(name), "%s", element_name ? element_name : "");
}

GuiElement::~GuiElement() {
    for (GuiElement* c : children) delete c;
    for (GuiEventHandler* h : handlers) h->destroy();
}

GuiElement* GuiElement::addChild(GuiElement* child) {
    child->parent = this;
    children.push_back(child);
    return child;
}

GuiElement* GuiElement::findChild(const char* child_name) {
    for (GuiElement* c : children)
        if (strcmp(c->name, child_name) == 0) return c;
    return nullptr;
}

void GuiElement::setText(const char* t) {
    snprintf(text, sizeof(text), "%s", t ? t : "");
}

void GuiElement::setHidden(bool hidden) {
    if (hidden == isHidden()) return;
    flags = hidden ? (flags | GUI_FLAG_HIDDEN) : (flags & ~GUI_FLAG_HIDDEN);
    GuiNotifyEvent ev;
    send_event(ev, this, GUI_ROUTE_ELEMENT);
}

bool GuiElement::isVisible() const {
    for (const GuiElement* e = this; e; e = e->parent)
        if (e->isHidden()) return false;
    return true;
}

void GuiElement::addHandler(GuiEventHandler* handler) {
    handlers.push_back(handler);
    handlerMask |= handler->eventMask;
    handler->attached(this);
}

bool GuiElement::addBehaviour(const char* behaviour_name) {
    GuiBehaviour* b = find_gui_behaviour(behaviour_name);
    if (!b) {
        debug("unknown GUI behaviour '%s'", behaviour_name);
        return false;
    }
    b->attach(this);
    return true;
}

GuiElement* GuiElement::root() {
    GuiElement* e = this;
    while (e->parent) e = e->parent;
    return e;
}

int GuiElement::handleEvent(GuiEvent& event, int routing) {
    if (!(handlerMask & event.code)) return GUI_NOT_HANDLED;
    for (GuiEventHandler* h : handlers) {
        if (!(h->eventMask & event.code)) continue;
        if (int r = h->handle(event, this, routing)) return r;
    }
    return GUI_NOT_HANDLED;
}

// ------------------------------------------------------------------------------ routing

namespace {
int send_subtree(GuiEvent& event, GuiElement* e) {
    if (int r = e->handleEvent(event, GUI_ROUTE_SUBTREE)) return r;
    for (GuiElement* c : e->children)
        if (int r = send_subtree(event, c)) return r;
    return GUI_NOT_HANDLED;
}

int send_down(GuiEvent& event, GuiElement* e) {
    int result = GUI_NOT_HANDLED;
    if (e->parent) {
        result = send_down(event, e->parent);
        if (result == GUI_HANDLED_STOP) return result;
    }
    if (int r = e->handleEvent(event, GUI_ROUTE_DOWN)) result = r;
    return result;
}
} // namespace

int send_event(GuiEvent& event, GuiElement* element, int routing, GuiElement* stop) {
    if (!element) return GUI_NOT_HANDLED;
    switch (routing) {
    case GUI_ROUTE_DOWN:
        return send_down(event, element);
    case GUI_ROUTE_UP:
        for (GuiElement* e = element; e && e != stop; e = e->parent)
            if (int r = e->handleEvent(event, GUI_ROUTE_UP)) return r;
        return GUI_NOT_HANDLED;
    case GUI_ROUTE_ELEMENT:
        return element->handleEvent(event, GUI_ROUTE_ELEMENT);
    case GUI_ROUTE_SUBTREE:
        return send_subtree(event, element);
    default:
        ASSERT_TEXT(false, "!\"unknown event routing\"");
        return GUI_NOT_HANDLED;
    }
}

GuiElement* hit_test(GuiElement* root, float x, float y) {
    GuiHittestEvent ev(x, y);
    send_event(ev, root, GUI_ROUTE_SUBTREE);
    return ev.result;
}

// ------------------------------------------------------------------------------- screen

GuiScreen::GuiScreen(IGuiRenderer* r, int grid_width, int grid_height)
    : gridWidth(grid_width), gridHeight(grid_height), renderer(r) {}

GuiScreen::~GuiScreen() {
    destroy();
}

void GuiScreen::destroy() {
    delete root;
    root = captured = hovered = nullptr;
}

float GuiScreen::unitLength() {
    return float((renderer ? renderer->unit() : 8) * scale);
}

GuiRect GuiScreen::screenRect() {
    GuiRect r;
    r.right = renderer ? float(renderer->width()) : 640.0f;
    r.bottom = renderer ? float(renderer->height()) : 480.0f;
    return r;
}

GuiElement* GuiScreen::elementAt(float x, float y) {
    return root ? hit_test(root, x, y) : nullptr;
}

float GuiScreen::toPixels(const GuiLen& len, float parent_w, float parent_h) {
    switch (len.mode) {
    case GUI_LEN_AUTO:
        return 0;
    case GUI_LEN_PIXELS:
        return len.value;
    case GUI_LEN_UNITS:
        return len.value * unitLength();
    case GUI_LEN_PERCENT_WIDTH:
        return len.value * 0.01f * parent_w;
    case GUI_LEN_PERCENT_HEIGHT:
        return len.value * 0.01f * parent_h;
    default:
        ASSERT_TEXT(false, "!\"unknown GuiLen mode\"");
        return 0;
    }
}

namespace {
struct AxisLayout {
    float boxStart, boxEnd, contentStart, contentEnd, borderBefore, borderAfter;
};

// Lays out one axis: outer spacing, border, inner spacing, size, inner, border, outer.
// Spacings given as auto share what is left of the parent's extent.
AxisLayout layout_axis(const float len[7], const bool is_auto[7], float start, float extent) {
    float v[7];
    float sum = 0;
    int autos = 0;
    for (int i = 0; i < 7; ++i) {
        v[i] = len[i];
        sum += v[i];
        bool spacing = i == 0 || i == 2 || i == 4 || i == 6;
        if (spacing && is_auto[i]) ++autos;
    }
    if (sum < extent && autos > 0) {
        float share = (extent - sum) / float(autos);
        for (int i : {0, 2, 4, 6})
            if (is_auto[i]) v[i] += share;
    }
    AxisLayout a;
    a.borderBefore = v[1];
    a.borderAfter = v[5];
    a.boxStart = start + v[0] + v[1];
    a.contentStart = a.boxStart + v[2];
    a.contentEnd = a.contentStart + v[3];
    a.boxEnd = a.contentEnd + v[4];
    return a;
}
} // namespace

void GuiScreen::layoutElement(GuiElement* e, const GuiRect& parent) {
    float pw = parent.right - parent.left, ph = parent.bottom - parent.top;
    int text_w = 0, text_h = 0;
    if ((e->width.mode == GUI_LEN_AUTO || e->height.mode == GUI_LEN_AUTO) && renderer)
        renderer->measure_text(e->text, -1, &text_w, &text_h, e->textSize * scale);

    const GuiLen hx[7] = {e->outerSpacing.left,  e->borders.left,  e->innerSpacing.left, e->width,
                          e->innerSpacing.right, e->borders.right, e->outerSpacing.right};
    const GuiLen vy[7] = {
        e->outerSpacing.top,    e->borders.top,    e->innerSpacing.top,   e->height,
        e->innerSpacing.bottom, e->borders.bottom, e->outerSpacing.bottom};
    float lx[7], ly[7];
    bool ax[7], ay[7];
    for (int i = 0; i < 7; ++i) {
        lx[i] = toPixels(hx[i], pw, ph);
        ly[i] = toPixels(vy[i], pw, ph);
        ax[i] = hx[i].mode == GUI_LEN_AUTO;
        ay[i] = vy[i].mode == GUI_LEN_AUTO;
    }
    if (ax[3]) lx[3] = float(text_w);
    if (ay[3]) ly[3] = float(text_h);
    AxisLayout h = layout_axis(lx, ax, parent.left, pw);
    AxisLayout v = layout_axis(ly, ay, parent.top, ph);

    e->box = {v.boxStart + e->offsetY, h.boxStart + e->offsetX, h.boxEnd + e->offsetX,
              v.boxEnd + e->offsetY};
    e->content = {v.contentStart + e->offsetY, h.contentStart + e->offsetX,
                  h.contentEnd + e->offsetX, v.contentEnd + e->offsetY};
    e->borderWidths = {v.borderBefore, h.borderBefore, h.borderAfter, v.borderAfter};
    for (GuiElement* c : e->children) layoutElement(c, e->content);
}

void GuiScreen::relayout() {
    int u = renderer ? renderer->unit() : 8;
    scale = 1;
    if (renderer && u > 0 && gridWidth > 0 && gridHeight > 0) {
        int sx = renderer->width() / (u * gridWidth);
        int sy = renderer->height() / (u * gridHeight);
        scale = sx < sy ? sx : sy;
        if (scale < 1) scale = 1;
    }
    if (root) layoutElement(root, screenRect());
}

void GuiScreen::renderElement(GuiElement* e) {
    if (e->isHidden()) return;
    const GuiRect& b = e->box;
    const GuiRect& w = e->borderWidths;
    if (e->fillColor) renderer->fill_rect(b.left, b.top, b.right, b.bottom, e->fillColor);
    // Each corner square belongs to one band, turning clockwise from the top-left.
    const uint32_t* bc = e->borderColors;
    if (w.top > 0 && bc[0])
        renderer->fill_rect(b.left - w.left, b.top - w.top, b.right, b.top, bc[0]);
    if (w.right > 0 && bc[2])
        renderer->fill_rect(b.right, b.top - w.top, b.right + w.right, b.bottom, bc[2]);
    if (w.bottom > 0 && bc[3])
        renderer->fill_rect(b.left, b.bottom, b.right + w.right, b.bottom + w.bottom, bc[3]);
    if (w.left > 0 && bc[1])
        renderer->fill_rect(b.left - w.left, b.top, b.left, b.bottom + w.bottom, bc[1]);
    if (e->textColor && e->text[0]) {
        const GuiRect& c = e->content;
        float x = e->textAlignH < 0 ? c.left : e->textAlignH > 0 ? c.right : (c.left + c.right) / 2;
        float y = e->textAlignV < 0 ? c.top : e->textAlignV > 0 ? c.bottom : (c.top + c.bottom) / 2;
        renderer->print_text(e->text, -1, x, y, e->textAlignH, e->textAlignV, e->textColor,
                             e->textSize * scale);
    }
    for (GuiElement* c : e->children) renderElement(c);
}

void GuiScreen::render() {
    if (root && renderer) renderElement(root);
}

void GuiScreen::send(int code, const InputEvent& event, GuiElement* target) {
    if (!target) return;
    GuiInputEvent ev(code, event);
    send_event(ev, target, GUI_ROUTE_ELEMENT);
}

void GuiScreen::dispatchInputEvent(const InputEvent& event, GuiElement* target) {
    int code = 0;
    switch (event.type) {
    case INPUT_KEY_DOWN:
    case INPUT_KEY_UP:
        code = GUI_EV_KEY;
        break;
    case INPUT_BUTTON_DOWN:
        code = GUI_EV_BUTTON_DOWN;
        break;
    case INPUT_BUTTON_UP:
        code = GUI_EV_BUTTON_UP;
        break;
    case INPUT_MOUSE_MOVE:
        code = GUI_EV_MOUSE_MOVE;
        break;
    case INPUT_MOUSE_WHEEL:
        code = GUI_EV_MOUSE_WHEEL;
        break;
    default:
        ASSERT_TEXT(false, "!\"unknown input event type\"");
    }
    if (event.type == INPUT_BUTTON_DOWN && target) captured = target;
    send(code, event, target);
}

void GuiScreen::processInput(float elapsed_seconds) {
    (void)elapsed_seconds;
    InputEvent e;
    while (getEvent(&e)) {
        if (!root) continue;
        bool held = e.flags & (INPUT_FLAG_LBUTTON | INPUT_FLAG_RBUTTON);
        GuiElement* hit = nullptr;
        bool hit_known = false;
        if (!captured) {
            hit = elementAt(e.x, e.y);
            hit_known = true;
            if (hit != hovered) {
                send(GUI_EV_MOUSE_LEAVE, e, hovered);
                send(GUI_EV_MOUSE_ENTER, e, hit);
                hovered = hit;
            }
        } else if (held) {
            hit = elementAt(e.x, e.y);
            hit_known = true;
            if (hit != hovered) {
                send(GUI_EV_MOUSE_LEAVE, e, hovered);
                hovered = nullptr;
                if (hit == captured) {
                    hovered = hit;
                    send(GUI_EV_MOUSE_ENTER, e, hit);
                }
            }
        }
        // The release that ends a capture belongs to the element that was pressed, so a
        // press on one control and a release on another activates neither.
        GuiElement* released_from = nullptr;
        if (captured && !held) {
            released_from = captured;
            captured = nullptr;
        }
        GuiElement* target = captured;
        if (!target && released_from && e.type == INPUT_BUTTON_UP) target = released_from;
        if (!target) target = hit_known ? hit : elementAt(e.x, e.y);
        dispatchInputEvent(e, target);
    }
}
