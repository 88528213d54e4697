// Style sheets: a selector picks elements, its property chain fills their property slots
// and may attach behaviours. Later and more specific sheets win; own properties always do.
#pragma once

#include "gui/gui_element.h"
#include "platform/game_export.h"

class GAME_EXPORT GuiSelector {
  public:
    virtual ~GuiSelector() = default;
    virtual bool matches(NewGuiElement* el) = 0;
    virtual int specificity() = 0;
};

class GAME_EXPORT GuiStyle {
  public:
    // Owns its selector and its property chain.
    struct Sheet {
        GuiSelector* selector;
        BaseGuiProperty* props;
        int specificity;
        Sheet(GuiSelector* s, BaseGuiProperty* p);
        ~Sheet();
        Sheet(const Sheet&) = delete;
        Sheet& operator=(const Sheet&) = delete;
    };

    DynArray<Sheet*> sheets;

    GuiStyle() = default;
    ~GuiStyle() { clear(); }
    GuiStyle(const GuiStyle&) = delete;
    GuiStyle& operator=(const GuiStyle&) = delete;

    void addSheet(GuiSelector* selector, BaseGuiProperty* first_prop);
    void restyle(NewGuiElement* el, bool force);
    void clear(); // deletes every sheet

  private:
    DynArray<int> matched; // scratch, reused by every restyle
};

GAME_EXPORT extern GuiStyle common_style; // the menus
GAME_EXPORT extern GuiStyle spells_style; // the spell selection
