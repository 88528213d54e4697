#include "gui/gui_behavior.h"

#include <cstdio>
#include <cstring>

NewGuiHittestHandler gui_hittest_box_handler;
ButtonBehavior button_behavior;
CheckboxBehavior checkbox_behavior;
RadioButtonBehavior radio_button_behavior;

namespace {
struct Registered {
    char name[32];
    NewGuiEventHandler* handler;
};
DynArray<Registered> registry;
int std_behavior_count = 0;

int dispatch(NewGuiEvent* ev, NewGuiElement* el, int mode) {
    if (!(el->handlerMask & ev->mask)) return 0;
    for (int i = 0; i < el->handlers.num; ++i) {
        NewGuiEventHandler* h = el->handlers[i];
        if (!(h->mask & ev->mask)) continue;
        if (int r = h->handleEvent(ev, el, mode)) return r;
    }
    return 0;
}

const int HELD_BUTTONS = INPUT_FLAG_LBUTTON | INPUT_FLAG_RBUTTON;
} // namespace

// [SECTION] registry

void register_behavior(NewGuiEventHandler* h, const char* name) {
    if (!h || !name || get_behavior(name)) return;
    Registered r = {};
    snprintf(r.name, sizeof(r.name), "%s", name);
    r.handler = h;
    registry.push_back(r);
}

NewGuiEventHandler* get_behavior(const char* name) {
    if (!name) return nullptr;
    for (const Registered& r : registry)
        if (strcmp(r.name, name) == 0) return r.handler;
    return nullptr;
}

void register_std_behaviors() {
    register_behavior(&gui_hittest_box_handler, "solid_box");
    register_behavior(&button_behavior, "button");
    register_behavior(&checkbox_behavior, "checkbox");
    register_behavior(&radio_button_behavior, "radio_button");
    std_behavior_count = registry.num;
}

void drop_module_behaviors() {
    if (registry.num > std_behavior_count) registry.num = std_behavior_count;
}

// [SECTION] dispatch

int send_event(NewGuiEvent* ev, NewGuiElement* el, int mode, NewGuiElement* stop) {
    if (!el) return 0;
    switch (mode) {
    case GUI_SEND_DOWN:
        if (el != stop && el->parent)
            if (int r = send_event(ev, el->parent, mode, stop)) return r;
        return dispatch(ev, el, mode);
    case GUI_SEND_BUBBLE:
        for (NewGuiElement* e = el; e; e = e->parent) {
            if (int r = dispatch(ev, e, mode)) return r;
            if (e == stop) break;
        }
        return 0;
    case GUI_SEND_TREE: {
        int r = dispatch(ev, el, mode);
        if (r == 2) return 0;
        if (r) return r;
        for (int i = 0; i < el->children.num; ++i)
            if (int c = send_event(ev, el->children[i], mode, stop)) return c;
        return 0;
    }
    default:
        return dispatch(ev, el, mode);
    }
}

NewGuiElement* hit_test(NewGuiElement* root, float x, float y) {
    if (!root) return nullptr;
    NewGuiHittestEvent ev(x, y);
    if (!dispatch(&ev, root, GUI_SEND_ONLY))
        for (int i = 0; i < root->children.num; ++i)
            if (send_event(&ev, root->children[i], GUI_SEND_TREE)) break;
    return ev.result;
}

// [SECTION] hit-test box

int NewGuiHittestHandler::handleEvent(NewGuiEvent* ev, NewGuiElement* el, int mode) {
    if (ev->mask != GUI_EV_HITTEST || !el || el->isHidden()) return 0;
    for (int i = 0; i < el->children.num; ++i)
        if (handleEvent(ev, el->children[i], mode) == 1) return 1;
    auto* hit = static_cast<NewGuiHittestEvent*>(ev);
    if (!contains(el, hit->x, hit->y)) return 2;
    hit->result = el;
    return 1;
}

bool NewGuiHittestHandler::contains(NewGuiElement* el, float x, float y) {
    const vec4f& r = el->rect;
    return r.x < x && x <= r.z && r.y < y && y <= r.w;
}

// [SECTION] buttons

int ButtonBehavior::handleEvent(NewGuiEvent* ev, NewGuiElement* el, int mode) {
    bool was = el->getBool(GUI_PROP_PRESSED);
    if (ev->mask == GUI_EV_RESET) {
        el->setBool(GUI_PROP_PRESSED, false);
        el->setBool(GUI_PROP_HOVER, false);
        if (was) el->notify(el->releaseListeners, 0);
        return 0;
    }
    if (!el->isEnabled()) return 0;
    auto* in = static_cast<NewGuiInputEvent*>(ev);
    bool held = in->input.flags & HELD_BUTTONS;
    switch (ev->mask) {
    case GUI_EV_ENTER:
        el->setBool(GUI_PROP_PRESSED, held);
        el->setBool(GUI_PROP_HOVER, true);
        break;
    case GUI_EV_LEAVE:
        el->setBool(GUI_PROP_PRESSED, false);
        el->setBool(GUI_PROP_HOVER, false);
        break;
    case GUI_EV_PRESS:
        el->setBool(GUI_PROP_PRESSED, true);
        break;
    case GUI_EV_RELEASE: {
        el->setBool(GUI_PROP_PRESSED, held);
        bool over = hit_test(el, in->input.x, in->input.y) == el;
        el->setBool(GUI_PROP_HOVER, over);
        if (!held && over) onClick(el, in);
        break;
    }
    default:
        return 0;
    }
    bool now = el->getBool(GUI_PROP_PRESSED);
    if (now != was) el->notify(now ? el->pressListeners : el->releaseListeners, now);
    return 1;
}

void ButtonBehavior::attach(NewGuiElement* el) {
    el->setBool(GUI_PROP_PRESSED, false);
    el->setBool(GUI_PROP_HOVER, false);
}

void ButtonBehavior::detach(NewGuiElement* el) {
    el->setBool(GUI_PROP_PRESSED, false);
    el->setBool(GUI_PROP_HOVER, false);
}

void ButtonBehavior::onClick(NewGuiElement* el, NewGuiInputEvent* ev) {
    el->notify(el->clickListeners, ev ? ev->input.key : 0);
    el->notify(el->valueListeners, el->getBool(GUI_PROP_CHECKED));
}

void CheckboxBehavior::attach(NewGuiElement* el) {
    ButtonBehavior::attach(el);
    el->setBool(GUI_PROP_CHECKED, el->getBool(GUI_PROP_CHECKED));
}

void CheckboxBehavior::onClick(NewGuiElement* el, NewGuiInputEvent* ev) {
    bool v = !el->getBool(GUI_PROP_CHECKED);
    el->setBool(GUI_PROP_CHECKED, v);
    el->notify(el->changeListeners, v);
    ButtonBehavior::onClick(el, ev);
}

void RadioButtonBehavior::attach(NewGuiElement* el) {
    ButtonBehavior::attach(el);
    el->setBool(GUI_PROP_CHECKED, el->getBool(GUI_PROP_CHECKED));
}

void RadioButtonBehavior::onClick(NewGuiElement* el, NewGuiInputEvent* ev) {
    NewGuiElement* const* first = el->parent ? el->parent->children.items : &el;
    int count = el->parent ? el->parent->children.num : 1;
    for (int i = 0; i < count; ++i)
        if (first[i]->hasHandler(this)) first[i]->setBool(GUI_PROP_CHECKED, first[i] == el);
    for (int i = 0; i < count; ++i)
        if (first[i]->hasHandler(this))
            first[i]->notify(first[i]->changeListeners, first[i]->getBool(GUI_PROP_CHECKED));
    ButtonBehavior::onClick(el, ev);
}
