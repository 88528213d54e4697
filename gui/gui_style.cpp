#include "gui/gui_style.h"

#include "gui/gui_behavior.h"

#include <cstring>

GuiStyle common_style;
GuiStyle spells_style;

GuiStyle::Sheet::Sheet(GuiSelector* s, BaseGuiProperty* p)
    : selector(s), props(p), specificity(s ? s->specificity() : 0) {}

GuiStyle::Sheet::~Sheet() {
    delete selector;
    delete props;
}

void GuiStyle::addSheet(GuiSelector* selector, BaseGuiProperty* first_prop) {
    sheets.push_back(new Sheet(selector, first_prop));
}

void GuiStyle::clear() {
    for (Sheet* s : sheets) delete s;
    sheets.clear();
    matched.clear();
}

namespace {
void attach_named(NewGuiElement* el, const char* names) {
    for (const char* n = names; n && *n; n += strlen(n) + 1)
        if (NewGuiEventHandler* h = get_behavior(n)) el->addHandler(h);
}
} // namespace

void GuiStyle::restyle(NewGuiElement* el, bool force) {
    if (!el) return;
    if (!force && !el->needsRestyle) {
        for (int i = 0; i < el->children.num; ++i) restyle(el->children[i], false);
        return;
    }
    matched.num = 0;
    for (int i = 0; i < sheets.num; ++i)
        if (sheets[i]->selector && sheets[i]->selector->matches(el)) {
            // Insertion keeps equal specificities in sheet order: later sheets apply last.
            int at = matched.num;
            while (at > 0 && sheets[matched[at - 1]]->specificity > sheets[i]->specificity) --at;
            matched.insert(at, i);
        }
    for (uintptr_t& slot : el->props)
        if (!(slot & 1)) slot = 0;
    el->needsRestyle = false;
    for (int m = 0; m < matched.num; ++m)
        for (BaseGuiProperty* p = sheets[matched[m]]->props; p; p = p->next) {
            if (p->id == GUI_PROP_BEHAVIORS) {
                attach_named(el, static_cast<GuiProperty<const char*>*>(p)->value);
            } else if (p->id >= 0 && p->id < GUI_PROP_SLOTS && !el->isOwnProp(p->id)) {
                el->props[p->id] = reinterpret_cast<uintptr_t>(p);
            }
        }
    for (int i = 0; i < el->children.num; ++i) restyle(el->children[i], true);
}
