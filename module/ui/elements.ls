// Elements, selectors and the screen base of the module's menus. Sizes are thousandths of
// the screen height, so every screen scales with the window; an element's box is its centre
// offset from its parent's centre plus its width and height.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <strings.h>

enum UiProp {
    UP_BG = 0,          // D3dColor of the box; fully transparent draws none
    UP_TEXT_COLOR = 1,  // D3dColor
    UP_TEXT_SIZE = 2,   // float
    UP_RADIUS = 3,      // float
    UP_SHADOW = 4,      // D3dColor of the drop shadow
    UP_SHADOW_BLUR = 5, // float
    UP_SHADOW_Y = 6,    // float
    UP_RING = 7,        // D3dColor of an outline around the box (keyboard focus)
    UP_ACCENT = 8,      // D3dColor: check marks, the mana bar's fill
    UP_TEXT_ALIGN = 9,  // int, DFA_ flags; 0 centres
    UP_INSET = 10,      // float: the indicator of check boxes and radio buttons
    UP_FOCUS = 25,      // bool, own: the element has the keyboard focus
};

enum UiState {
    US_HOVER = 1,
    US_PRESSED = 2,
    US_CHECKED = 4,
    US_FOCUS = 8,
    US_DISABLED = 16,
};

inline D3dColor ui_fade(D3dColor c, float alpha) {
    uint32_t a = uint32_t(float(c >> 24) * (alpha < 0 ? 0 : alpha > 1 ? 1 : alpha) + 0.5f);
    return (c & 0xFFFFFF) | a << 24;
}

inline vec4f ui_grow(const vec4f& r, float by) {
    return make4f(r.x - by, r.y - by, r.z + by, r.w + by);
}

// Constructors stay free of side effects: the module reads class tables from probe objects.
class GuiElement : public NewGuiElement {
  public:
    const char* cls = "";         // style class
    char text[64] = "";           // label
    vec4f box = make4f(0.0f);     // centre offset x, y, width, height (0 x 0: parent's area)
    int id = 0;                   // what the screen does with it
    bool hidden = false, disabled = false;

    const char* className() override { return "GuiElement"; }
    bool isHidden() const override { return hidden; }
    bool isEnabled() const override { return !disabled; }

    template <typename T = GuiElement>
    T* add(const char* c, float x, float y, float w, float h, const char* label = "",
           int action = 0) {
        T* e = new T;
        e->cls = c;
        e->box = make4f(x, y, w, h);
        e->id = action;
        snprintf(e->text, sizeof(e->text), "%s", label);
        addChild(e);
        return e;
    }
    GuiElement* child(int i) { return static_cast<GuiElement*>(children[i]); }
    D3dColor color(int prop) const { return getValue<D3dColor>(prop, 0); }
    float number(int prop) const { return getValue<float>(prop, 0.0f); }

    void layout(const vec4f& area, const vec4f& x_axis, const vec4f& y_axis,
                float unit) override {
        if (box.z <= 0 || box.w <= 0) {
            rect = area;
        } else {
            float cx = (area.x + area.z) * 0.5f + box.x * unit;
            float cy = (area.y + area.w) * 0.5f + box.y * unit;
            float hw = box.z * unit * 0.5f, hh = box.w * unit * 0.5f;
            // Whole pixels keep the edges crisp.
            rect = make4f(roundf(cx - hw), roundf(cy - hh), roundf(cx + hw), roundf(cy + hh));
        }
        for (int i = 0; i < children.num; ++i) children[i]->layout(rect, x_axis, y_axis, unit);
    }

    void draw(RenderBatch& b, float unit, float alpha) {
        if (hidden) return;
        drawBox(b, unit, alpha);
        drawContent(b, unit, alpha);
        for (int i = 0; i < children.num; ++i) child(i)->draw(b, unit, alpha);
    }

    void drawBox(RenderBatch& b, float unit, float alpha) {
        float radius = number(UP_RADIUS) * unit;
        D3dColor ring = color(UP_RING);
        if (ring >> 24) {
            float g = 3 * unit;
            render_rounded_box(b, ui_grow(rect, g), make4f(radius + g), ui_fade(ring, alpha), 1,
                               0, 0, 0, 0, -1);
        }
        D3dColor bg = color(UP_BG);
        if (!(bg >> 24)) return;
        D3dColor shadow = color(UP_SHADOW);
        render_rounded_box(b, rect, make4f(radius), ui_fade(bg, alpha), 1, 0,
                           number(UP_SHADOW_Y) * unit, number(UP_SHADOW_BLUR) * unit,
                           ui_fade(shadow, alpha), (shadow >> 24) ? 0.0f : -1.0f);
    }

    virtual void drawContent(RenderBatch& b, float unit, float alpha) {
        if (text[0]) drawText(b, rect, unit, alpha);
    }

    void drawText(RenderBatch& b, const vec4f& r, float unit, float alpha) {
        float size = number(UP_TEXT_SIZE) * unit;
        if (size < 1 || !default_font.size) return;
        int align = getValue<int>(UP_TEXT_ALIGN, 0);
        // A soft shadow a little below the glyphs keeps text readable over any scene.
        default_font.renderText(b, r, align, ui_fade(color(UP_TEXT_COLOR), alpha), size, text,
                                -1, 0, 0, 4, 0.5f, ui_fade(0xA0000000, alpha));
    }
};

class GuiTextElement : public GuiElement {
  public:
    const char* className() override { return "GuiTextElement"; }
};

// A textured quad; without a texture it draws nothing of its own.
class GuiImageElement : public GuiElement {
  public:
    StdRenderBatchState image;
    vec4f texRect = make4f(0, 0, 1, 1);
    const char* className() override { return "GuiImageElement"; }
    void setTexture(Texture* tex) { init_ui_image_state(image, tex); }
    void drawContent(RenderBatch& b, float unit, float alpha) override {
        if (image.texture)
            render_ui_image(b, &image, rect, ui_fade(0xFFFFFFFF, alpha), texRect);
        GuiElement::drawContent(b, unit, alpha);
    }
};

class GuiButtonElement : public GuiElement {
  public:
    const char* className() override { return "GuiButtonElement"; }
};

// Check boxes and radio buttons: an indicator at the left, the label after it.
class GuiCheckboxElement : public GuiButtonElement {
  public:
    const char* className() override { return "GuiCheckboxElement"; }
    virtual bool round() const { return false; }

    void drawContent(RenderBatch& b, float unit, float alpha) override {
        float h = rect.w - rect.y, s = roundf(h * 0.5f), pad = roundf(h * 0.3f);
        vec4f ind = make4f(rect.x + pad, roundf((rect.y + rect.w - s) * 0.5f), rect.x + pad + s,
                           0);
        ind.w = ind.y + s;
        bool round = this->round();
        float rad = round ? s * 0.5f : s * 0.2f;
        render_rounded_box(b, ind, make4f(rad), ui_fade(0xFF0C121B, alpha), 1, 0, 1, 2,
                           ui_fade(0x60FFFFFF, alpha), 0);
        if (getBool(GUI_PROP_CHECKED)) {
            float in = roundf(s * number(UP_INSET));
            render_rounded_box(b, ui_grow(ind, -in), make4f(round ? (s * 0.5f - in) : rad * 0.6f),
                               ui_fade(color(UP_ACCENT), alpha), 1, 0, 0, 3 * unit,
                               ui_fade(color(UP_ACCENT) & 0x80FFFFFF, alpha), 1 * unit);
        }
        drawText(b, make4f(ind.z + pad, rect.y, rect.z - pad, rect.w), unit, alpha);
    }
};

class GuiRadioElement : public GuiCheckboxElement {
  public:
    const char* className() override { return "GuiRadioElement"; }
    bool round() const override { return true; }
};

// A horizontal bar filled from the left to its value (0..1), its label centred on it.
class GuiSliderElement : public GuiElement {
  public:
    float fill = 0;
    const char* className() override { return "GuiSliderElement"; }
    void drawContent(RenderBatch& b, float unit, float alpha) override {
        float in = 3 * unit, f = fill < 0 ? 0 : fill > 1 ? 1 : fill;
        vec4f r = ui_grow(rect, -in);
        float r_rad = (r.w - r.y) * 0.5f;
        if (f > 0) {
            r.z = r.x + (r.z - r.x) * f;
            if (r.z - r.x < 2 * r_rad) r_rad = (r.z - r.x) * 0.5f;
            render_rounded_box(b, r, make4f(r_rad), ui_fade(color(UP_ACCENT), alpha), 1, 0, 0,
                               6 * unit, ui_fade(color(UP_ACCENT) & 0x60FFFFFF, alpha), 0);
        }
        if (text[0]) drawText(b, rect, unit, alpha);
    }
};

// The states a selector asks for, all of which must hold.
inline bool ui_states_match(GuiElement* u, int states) {
        if ((states & US_HOVER) && !u->getBool(GUI_PROP_HOVER)) return false;
        if ((states & US_PRESSED) && !u->getBool(GUI_PROP_PRESSED)) return false;
        if ((states & US_CHECKED) && !u->getBool(GUI_PROP_CHECKED)) return false;
        if ((states & US_FOCUS) && !u->getBool(UP_FOCUS)) return false;
        if ((states & US_DISABLED) && !u->disabled) return false;
        return true;
}

inline int ui_state_weight(int states) {
    int n = 0;
    for (int s = states; s; s &= s - 1) n += 10;
    return n;
}

// Matches a style class (null: any element) in the given states.
class GuiClassSelector : public GuiSelector {
  public:
    const char* cls = nullptr;
    int states = 0;
    bool matches(NewGuiElement* el) override {
        auto* u = static_cast<GuiElement*>(el);
        return (!cls || strcmp(u->cls, cls) == 0) && ui_states_match(u, states);
    }
    int specificity() override { return (cls ? 1 : 0) + ui_state_weight(states); }
};

// Matches one element by its id (its action) in the given states; beats any class.
class GuiIdSelector : public GuiSelector {
  public:
    int id = 0;
    int states = 0;
    bool matches(NewGuiElement* el) override {
        auto* u = static_cast<GuiElement*>(el);
        return u->id == id && ui_states_match(u, states);
    }
    int specificity() override { return 5 + ui_state_weight(states); }
};

// Property-chain builders for the sheets.
inline BaseGuiProperty* ui_color(int id, D3dColor c) {
    return new GuiProperty<D3dColor>(id, c);
}
inline BaseGuiProperty* ui_number(int id, float v) {
    return new GuiProperty<float>(id, v);
}
inline BaseGuiProperty* ui_int(int id, int v) {
    return new GuiProperty<int>(id, v);
}

inline void add_sheet(GuiStyle& st, const char* cls, int states, BaseGuiProperty* props) {
    auto* sel = new GuiClassSelector;
    sel->cls = cls;
    sel->states = states;
    st.addSheet(sel, props);
}
inline void add_id_sheet(GuiStyle& st, int id, int states, BaseGuiProperty* props) {
    auto* sel = new GuiIdSelector;
    sel->id = id;
    sel->states = states;
    st.addSheet(sel, props);
}

// A screen of GuiElements with keyboard navigation: arrows and Tab move the focus, Enter
// and Space activate, Escape goes back; the mouse moves the focus where it hovers.
class UiScreen : public BaseGuiScreen {
  public:
    WeakRef<GuiElement> focus;
    float shown = 0; // fade-in, 0..1

    const char* className() override { return "UiScreen"; }
    // The tree is built here rather than in the constructor (see GuiElement).
    GuiElement* begin(GuiStyle* s, const char* root_class) {
        style = s;
        auto* r = new GuiElement;
        r->cls = root_class;
        r->addBehavior("solid_box");
        root = r;
        return r;
    }
    GuiElement* top() { return static_cast<GuiElement*>(root); }

    virtual void onAction(GuiElement* el, int value) = 0; // click, or a toggle's new state
    virtual void onBack() = 0;

    // Buttons report clicks, toggles their new state.
    void listen(GuiElement* el) {
        if (el->hasHandler(get_behavior("checkbox")) || el->hasHandler(get_behavior("radio_button")))
            el->changeListeners.push_back({on_change, this});
        else
            el->clickListeners.push_back({on_click, this});
    }
    static void on_click(void* ctx, NewGuiElement* el, int key) {
        static_cast<UiScreen*>(ctx)->onAction(static_cast<GuiElement*>(el), key);
    }
    static void on_change(void* ctx, NewGuiElement* el, int checked) {
        // Radio buttons notify every sibling; only the newly checked one acts.
        bool radio = el->hasHandler(get_behavior("radio_button"));
        if (!radio || checked) static_cast<UiScreen*>(ctx)->onAction(static_cast<GuiElement*>(el), checked);
    }

    static bool focusable(GuiElement* e) {
        return !e->hidden && !e->disabled &&
               (e->hasHandler(get_behavior("button")) || e->hasHandler(get_behavior("checkbox")) ||
                e->hasHandler(get_behavior("radio_button")));
    }
    void collect(GuiElement* e, DynArray<GuiElement*>& out) {
        if (e->hidden) return;
        if (focusable(e)) out.push_back(e);
        for (int i = 0; i < e->children.num; ++i) collect(e->child(i), out);
    }
    void setFocus(GuiElement* e) {
        if (focus.get() == e) return;
        if (focus) focus->setBool(UP_FOCUS, false);
        focus = e;
        if (e) e->setBool(UP_FOCUS, true);
    }
    void moveFocus(int step) {
        DynArray<GuiElement*> all;
        collect(top(), all);
        if (!all.num) return;
        int at = focus ? all.find(focus.get()) : -1;
        at = at < 0 ? (step > 0 ? 0 : all.num - 1) : (at + step + all.num) % all.num;
        setFocus(all[at]);
    }
    void activate(GuiElement* e, const InputEvent& in) {
        NewGuiInputEvent ev(in);
        ev.input.key = VK_LBUTTON;
        for (const char* name : {"radio_button", "checkbox", "button"})
            if (NewGuiEventHandler* h = get_behavior(name); h && e->hasHandler(h)) {
                static_cast<ButtonBehavior*>(h)->onClick(e, &ev);
                return;
            }
    }
    void open() {
        restyle(); // styles attach the behaviours that make elements focusable
        resetPointer();
        shown = 0;
        if (!focus) moveFocus(1);
    }

    int processInputEvent(const InputEvent& e, NewGuiElement* el) override {
        int r = BaseGuiScreen::processInputEvent(e, el);
        if (e.type == INPUT_MOUSE_MOVE && hover && focusable(static_cast<GuiElement*>(hover.get())))
            setFocus(static_cast<GuiElement*>(hover.get()));
        if (e.type == INPUT_KEY_DOWN && !r) onKey(e);
        return r;
    }
    virtual void onKey(const InputEvent& e) {
        switch (e.key) {
        case VK_UP:
            moveFocus(-1);
            break;
        case VK_DOWN:
        case VK_TAB:
            moveFocus((e.flags & INPUT_FLAG_SHIFT) ? -1 : 1);
            break;
        case VK_LEFT:
        case VK_RIGHT:
            stepRadio(e.key == VK_RIGHT ? 1 : -1, e);
            break;
        case VK_RETURN:
        case VK_SPACE:
            if (focus && !(e.flags & INPUT_FLAG_REPEAT)) activate(focus, e);
            break;
        case VK_ESCAPE:
            if (!(e.flags & INPUT_FLAG_REPEAT)) onBack();
            break;
        }
    }
    // Left and right walk a radio group, checking as they go.
    void stepRadio(int step, const InputEvent& e) {
        GuiElement* f = focus;
        if (!f || !f->parent || !f->hasHandler(get_behavior("radio_button"))) return;
        DynArray<NewGuiElement*>& sib = f->parent->children;
        int at = sib.find(f);
        for (int i = at + step; i >= 0 && i < sib.num; i += step) {
            auto* s = static_cast<GuiElement*>(sib[i]);
            if (focusable(s) && s->hasHandler(get_behavior("radio_button"))) {
                setFocus(s);
                activate(s, e);
                return;
            }
        }
    }

    void update(float dt) {
        shown = shown + dt * 6 > 1 ? 1 : shown + dt * 6;
        processInput();
    }
    void draw(float time) {
        restyle();
        float unit = 0.001f * float(d3d_ht);
        top()->draw(gui_batch, unit, shown);
        render_gui_batch();
    }
};
