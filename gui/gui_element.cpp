#include "gui/gui_element.h"

#include "gui/gui_behavior.h"

NewGuiElement::~NewGuiElement() {
    for (NewGuiElement* c : children) delete c;
    delete ownProps;
}

void NewGuiElement::layout(const vec4f& area, const vec4f& x_axis, const vec4f& y_axis,
                           float unit) {
    rect = area;
    for (NewGuiElement* c : children) c->layout(area, x_axis, y_axis, unit);
}

NewGuiElement* NewGuiElement::addChild(NewGuiElement* child) {
    child->parent = this;
    child->needsRestyle = true;
    children.push_back(child);
    return child;
}

bool NewGuiElement::addHandler(NewGuiEventHandler* h) {
    if (!h || hasHandler(h)) return false;
    handlers.push_back(h);
    handlerMask |= h->mask;
    h->attach(this);
    return true;
}

bool NewGuiElement::addBehavior(const char* name) {
    NewGuiEventHandler* h = get_behavior(name);
    if (!h) return false;
    addHandler(h);
    return true;
}

void NewGuiElement::removeHandler(NewGuiEventHandler* h) {
    int at = handlers.find(h);
    if (at < 0) return;
    handlers.erase(at);
    handlerMask = 0;
    for (NewGuiEventHandler* o : handlers) handlerMask |= o->mask;
    h->detach(this);
}

void NewGuiElement::setBool(int id, bool v) {
    setOwnValue<bool>(id, v);
}

void NewGuiElement::markRestyle() {
    needsRestyle = true;
    if (parent) parent->needsRestyle = true;
}

void NewGuiElement::notify(DynArray<GuiListener>& list, int value) {
    // A listener may add listeners; those run too, nothing is skipped.
    for (int i = 0; i < list.num; ++i) {
        GuiListener l = list[i];
        l.func(l.ctx, this, value);
    }
}
