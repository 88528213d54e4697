// The part of a GUI element the runtime relies on: tree, handlers, property slots filled by
// styles or owned by the element, rectangle and listeners. The module derives its element
// classes (drawing, layout) from NewGuiElement.
#pragma once

#include "actors/base_object.h"
#include "core/vec4f.h"
#include "gui/weak_ref.h"
#include "platform/dyn_array.h"
#include "platform/game_export.h"

#include <cstdint>

class NewGuiElement;
class NewGuiEventHandler;

enum {
    GUI_PROP_BEHAVIORS = -1, // in a sheet: names of behaviours to attach
    GUI_PROP_PRESSED = 22,
    GUI_PROP_CHECKED = 23,
    GUI_PROP_HOVER = 24,
    GUI_PROP_SLOTS = 28,
};

// Destroying a property destroys the rest of its chain.
class BaseGuiProperty {
  public:
    BaseGuiProperty* next = nullptr;
    int id;
    explicit BaseGuiProperty(int prop_id) : id(prop_id) {}
    BaseGuiProperty(const BaseGuiProperty&) = delete;
    BaseGuiProperty& operator=(const BaseGuiProperty&) = delete;
    virtual ~BaseGuiProperty() { delete next; }
};

template <typename T>
class GuiProperty : public BaseGuiProperty {
  public:
    T value;
    GuiProperty(int prop_id, T v) : BaseGuiProperty(prop_id), value(v) {}
};

// Builds a property chain in the given order: gui_props(a, b, c) links a -> b -> c.
inline BaseGuiProperty* gui_props(BaseGuiProperty* p) {
    return p;
}
template <typename... Rest>
BaseGuiProperty* gui_props(BaseGuiProperty* p, Rest*... rest) {
    p->next = gui_props(rest...);
    return p;
}
// A behaviour-name property; names are zero-terminated, the list ends with an empty one
// ("button\0" is "button" plus the empty name, thanks to the literal's own terminator).
inline BaseGuiProperty* gui_behaviors(const char* names) {
    return new GuiProperty<const char*>(GUI_PROP_BEHAVIORS, names);
}

// A listener: press and release pass 1 / 0, click the input key, value and change the
// checked state.
struct GuiListener {
    void (*func)(void* ctx, NewGuiElement* element, int value);
    void* ctx;
};

class GAME_EXPORT NewGuiElement : public BaseObject {
  public:
    NewGuiElement* parent = nullptr;
    DynArray<NewGuiElement*> children;      // owned
    DynArray<NewGuiEventHandler*> handlers; // no duplicates
    int handlerMask = 0;                    // OR of the handlers' masks
    uintptr_t props[GUI_PROP_SLOTS] = {};   // BaseGuiProperty*, bit 0 set when own
    BaseGuiProperty* ownProps = nullptr;    // chain of the element's own properties
    bool needsRestyle = true;
    vec4f rect = {}; // x0, y0, x1, y1 in screen pixels
    DynArray<GuiListener> pressListeners, releaseListeners, clickListeners, valueListeners,
        changeListeners;

    NewGuiElement() = default;
    ~NewGuiElement() override; // deletes the children and own properties
    const char* className() override { return "NewGuiElement"; }

    virtual bool isHidden() const { return false; }
    virtual bool isEnabled() const { return true; }
    // Places the element inside `area`; the axes and unit scale with the screen height.
    virtual void layout(const vec4f& area, const vec4f& x_axis, const vec4f& y_axis, float unit);

    NewGuiElement* addChild(NewGuiElement* child); // takes ownership
    bool addHandler(NewGuiEventHandler* h);        // false when already there
    bool addBehavior(const char* name);            // false when not registered
    void removeHandler(NewGuiEventHandler* h);
    bool hasHandler(NewGuiEventHandler* h) const { return handlers.find(h) >= 0; }

    BaseGuiProperty* getProp(int id) const {
        return reinterpret_cast<BaseGuiProperty*>(props[id] & ~uintptr_t(1));
    }
    bool isOwnProp(int id) const { return props[id] & 1; }
    template <typename T>
    T getValue(int id, T fallback) const {
        BaseGuiProperty* p = getProp(id);
        return p ? static_cast<GuiProperty<T>*>(p)->value : fallback;
    }
    bool getBool(int id) const { return getValue<bool>(id, false); }
    // Makes the property own (styles never overwrite it) and marks a restyle.
    template <typename T>
    void setOwnValue(int id, T v) {
        if (isOwnProp(id)) {
            static_cast<GuiProperty<T>*>(getProp(id))->value = v;
        } else {
            auto* p = new GuiProperty<T>(id, v);
            p->next = ownProps;
            ownProps = p;
            props[id] = reinterpret_cast<uintptr_t>(p) | 1;
        }
        markRestyle();
    }
    void setBool(int id, bool v);
    void markRestyle(); // this element and its parent
    void notify(DynArray<GuiListener>& list, int value);
};
