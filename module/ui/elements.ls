// Elements, selectors and the screen base of the module's menus. Sizes are thousandths of
// the screen height, so every screen scales with the window; an element's box is its centre
// offset from its parent's centre plus its width and height.

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

class UiElement : public NewGuiElement {
  public:
    const char* cls;     // style class
    char text[64] = "";  // label
    vec4f box;           // centre offset x, y, width, height (0 x 0: the parent's area)
    int id = 0;          // what the screen does with it
    bool hidden = false, disabled = false;
    float fill = 0;      // bars: 0..1

    UiElement(const char* c, float x, float y, float w, float h, const char* label = "",
              int action = 0)
        : cls(c), box(make4f(x, y, w, h)), id(action) {
        snprintf(text, sizeof(text), "%s", label);
    }
    const char* className() const override { return "UiElement"; }
    bool isHidden() const override { return hidden; }
    bool isEnabled() const override { return !disabled; }

    UiElement* add(UiElement* e) {
        addChild(e);
        return e;
    }
    UiElement* child(int i) { return static_cast<UiElement*>(children[i]); }
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

// Check boxes and radio buttons: an indicator at the left, the label after it.
class UiToggle : public UiElement {
  public:
    bool round; // radio buttons are round
    UiToggle(const char* c, float x, float y, float w, float h, const char* label, int action,
             bool is_round)
        : UiElement(c, x, y, w, h, label, action), round(is_round) {}

    void drawContent(RenderBatch& b, float unit, float alpha) override {
        float h = rect.w - rect.y, s = roundf(h * 0.5f), pad = roundf(h * 0.3f);
        vec4f ind = make4f(rect.x + pad, roundf((rect.y + rect.w - s) * 0.5f), rect.x + pad + s,
                           0);
        ind.w = ind.y + s;
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

// A bar filled from the left by `fill`, with its label centred.
class UiBar : public UiElement {
  public:
    using UiElement::UiElement;
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

class UiSelector : public GuiSelector {
  public:
    const char* cls; // null: any element
    int states;      // US_ bits that must all hold
    UiSelector(const char* c, int s) : cls(c), states(s) {}
    bool matches(NewGuiElement* el) override {
        auto* u = static_cast<UiElement*>(el);
        if (cls && strcmp(u->cls, cls) != 0) return false;
        if ((states & US_HOVER) && !u->getBool(GUI_PROP_HOVER)) return false;
        if ((states & US_PRESSED) && !u->getBool(GUI_PROP_PRESSED)) return false;
        if ((states & US_CHECKED) && !u->getBool(GUI_PROP_CHECKED)) return false;
        if ((states & US_FOCUS) && !u->getBool(UP_FOCUS)) return false;
        if ((states & US_DISABLED) && !u->disabled) return false;
        return true;
    }
    int specificity() override {
        int n = cls ? 1 : 0;
        for (int s = states; s; s &= s - 1) n += 10;
        return n;
    }
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
    st.addSheet(new UiSelector(cls, states), props);
}

// A screen of UiElements with keyboard navigation: arrows and Tab move the focus, Enter
// and Space activate, Escape goes back; the mouse moves the focus where it hovers.
class UiScreen : public BaseGuiScreen {
  public:
    WeakRef<UiElement> focus;
    float shown = 0; // fade-in, 0..1

    UiScreen(GuiStyle* s) {
        style = s;
        root = new UiElement("backdrop", 0, 0, 0, 0);
        root->addBehavior("solid_box");
    }
    const char* className() const override { return "UiScreen"; }
    UiElement* top() { return static_cast<UiElement*>(root); }

    virtual void onAction(UiElement* el, int value) = 0; // click, or a toggle's new state
    virtual void onBack() = 0;

    // Buttons report clicks, toggles their new state.
    void listen(UiElement* el) {
        if (el->hasHandler(get_behavior("checkbox")) || el->hasHandler(get_behavior("radio_button")))
            el->changeListeners.push_back({on_change, this});
        else
            el->clickListeners.push_back({on_click, this});
    }
    static void on_click(void* ctx, NewGuiElement* el, int key) {
        static_cast<UiScreen*>(ctx)->onAction(static_cast<UiElement*>(el), key);
    }
    static void on_change(void* ctx, NewGuiElement* el, int checked) {
        // Radio buttons notify every sibling; only the newly checked one acts.
        bool radio = el->hasHandler(get_behavior("radio_button"));
        if (!radio || checked) static_cast<UiScreen*>(ctx)->onAction(static_cast<UiElement*>(el), checked);
    }

    static bool focusable(UiElement* e) {
        return !e->hidden && !e->disabled &&
               (e->hasHandler(get_behavior("button")) || e->hasHandler(get_behavior("checkbox")) ||
                e->hasHandler(get_behavior("radio_button")));
    }
    void collect(UiElement* e, DynArray<UiElement*>& out) {
        if (e->hidden) return;
        if (focusable(e)) out.push_back(e);
        for (int i = 0; i < e->children.num; ++i) collect(e->child(i), out);
    }
    void setFocus(UiElement* e) {
        if (focus.get() == e) return;
        if (focus) focus->setBool(UP_FOCUS, false);
        focus = e;
        if (e) e->setBool(UP_FOCUS, true);
    }
    void moveFocus(int step) {
        DynArray<UiElement*> all;
        collect(top(), all);
        if (!all.num) return;
        int at = focus ? all.find(focus.get()) : -1;
        at = at < 0 ? (step > 0 ? 0 : all.num - 1) : (at + step + all.num) % all.num;
        setFocus(all[at]);
    }
    void activate(UiElement* e, const InputEvent& in) {
        NewGuiInputEvent ev(in);
        ev.input.key = VK_LBUTTON;
        for (const char* name : {"radio_button", "checkbox", "button"})
            if (NewGuiEventHandler* h = get_behavior(name); h && e->hasHandler(h)) {
                static_cast<ButtonBehavior*>(h)->onClick(e, &ev);
                return;
            }
    }
    void open() {
        resetPointer();
        shown = 0;
        if (!focus) moveFocus(1);
    }

    int processInputEvent(const InputEvent& e, NewGuiElement* el) override {
        int r = BaseGuiScreen::processInputEvent(e, el);
        if (e.type == INPUT_MOUSE_MOVE && hover && focusable(static_cast<UiElement*>(hover.get())))
            setFocus(static_cast<UiElement*>(hover.get()));
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
        UiElement* f = focus;
        if (!f || !f->parent || !f->hasHandler(get_behavior("radio_button"))) return;
        DynArray<NewGuiElement*>& sib = f->parent->children;
        int at = sib.find(f);
        for (int i = at + step; i >= 0 && i < sib.num; i += step) {
            auto* s = static_cast<UiElement*>(sib[i]);
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
