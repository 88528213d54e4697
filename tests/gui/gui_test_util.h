// Elements and a screen for driving the GUI runtime without a window.
#pragma once

#include "actors/object_lists.h"
#include "gui/gui.h"

#include <vector>

struct TestElement : NewGuiElement {
    bool hidden = false, enabled = true;
    bool isHidden() const override { return hidden; }
    bool isEnabled() const override { return enabled; }
};

inline TestElement* add_box(NewGuiElement* parent, float x0, float y0, float x1, float y1) {
    auto* e = new TestElement;
    e->rect = make4f(x0, y0, x1, y1);
    e->addHandler(&gui_hittest_box_handler);
    if (parent) parent->addChild(e);
    return e;
}

// Records every notification as (kind, element, value).
struct Notes {
    struct Note {
        char kind;
        NewGuiElement* el;
        int value;
        bool operator==(const Note&) const = default;
    };
    std::vector<Note> all;
    template <char K>
    static void rec(void* ctx, NewGuiElement* el, int v) {
        static_cast<Notes*>(ctx)->all.push_back({K, el, v});
    }
    void listen(NewGuiElement* e) {
        e->pressListeners.push_back({rec<'p'>, this});
        e->releaseListeners.push_back({rec<'r'>, this});
        e->clickListeners.push_back({rec<'c'>, this});
        e->valueListeners.push_back({rec<'v'>, this});
        e->changeListeners.push_back({rec<'h'>, this});
    }
    int count(char k) const {
        int n = 0;
        for (const Note& x : all) n += x.kind == k;
        return n;
    }
};
