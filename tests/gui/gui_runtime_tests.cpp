#include "gui_test_util.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {
// [SECTION] weak references and destruction

struct Counted : BaseObject {
    int* destroyed;
    explicit Counted(int* d) : destroyed(d) {}
    void onDestroy() override { ++*destroyed; }
};

TEST(GuiObjects, WeakReferencesReadNullAfterDeletion) {
    auto* a = new TestElement;
    auto* b = new TestElement;
    WeakRef<NewGuiElement> r1(a), r2(a), r3(a), other(b);
    {
        WeakRef<NewGuiElement> gone(a); // unlinks itself from the middle of the ring
    }
    r2 = b; // moves to another ring
    EXPECT_EQ(r1.get(), a);
    delete a;
    EXPECT_EQ(r1.get(), nullptr);
    EXPECT_EQ(r3.get(), nullptr);
    EXPECT_EQ(r2.get(), b);
    r1 = b; // a cleared reference can be reused
    delete b;
    EXPECT_EQ(r1.get(), nullptr);
    EXPECT_EQ(r2.get(), nullptr);
    EXPECT_EQ(other.get(), nullptr);
}

TEST(GuiObjects, DestroyQueuesOnce) {
    int calls = 0;
    Counted obj(&calls);
    deleted_actors.num = 0;
    obj.destroy();
    obj.destroy();
    EXPECT_TRUE(obj.isDestroyed());
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(deleted_actors.num, 1);
    EXPECT_EQ(deleted_actors[0], &obj);
    deleted_actors.num = 0;
}

// [SECTION] registry, hit testing, dispatch

struct TagHandler : NewGuiEventHandler {
    std::vector<int>* log;
    int tag, result;
    TagHandler(std::vector<int>* l, int t, int r)
        : NewGuiEventHandler(GUI_EV_KEY), log(l), tag(t), result(r) {}
    int handleEvent(NewGuiEvent*, NewGuiElement*, int) override {
        log->push_back(tag);
        return result;
    }
};

TEST(GuiBehaviors, FirstRegistrationWins) {
    register_std_behaviors();
    ButtonBehavior other;
    register_behavior(&other, "button");
    EXPECT_EQ(get_behavior("button"), &button_behavior);
    EXPECT_EQ(get_behavior("solid_box"), &gui_hittest_box_handler);
    EXPECT_EQ(get_behavior("Button"), nullptr);
    TestElement e;
    EXPECT_FALSE(e.addBehavior("no_such"));
    EXPECT_TRUE(e.addBehavior("checkbox"));
    EXPECT_TRUE(e.addBehavior("checkbox")); // already there: not added twice
    EXPECT_EQ(e.handlers.num, 1);
    EXPECT_EQ(e.handlerMask, checkbox_behavior.mask);
    register_behavior(&other, "module_thing");
    drop_module_behaviors();
    EXPECT_EQ(get_behavior("module_thing"), nullptr);
    EXPECT_NE(get_behavior("radio_button"), nullptr);
}

TEST(GuiHitTest, EdgesChildrenAndHiddenElements) {
    std::unique_ptr<TestElement> root(add_box(nullptr, 0, 0, 100, 100));
    TestElement* a = add_box(root.get(), 10, 10, 50, 50);
    TestElement* b = add_box(root.get(), 30, 30, 70, 70); // overlaps a
    TestElement* inner = add_box(b, 60, 60, 70, 70);
    EXPECT_EQ(hit_test(root.get(), 10, 20), root.get()); // left edge is outside a
    EXPECT_EQ(hit_test(root.get(), 50, 20), a);          // right edge is inside
    EXPECT_EQ(hit_test(root.get(), 20, 10), root.get()); // top edge outside
    EXPECT_EQ(hit_test(root.get(), 20, 50), a);          // bottom edge inside
    EXPECT_EQ(hit_test(root.get(), 40, 40), a);          // earlier child wins
    EXPECT_EQ(hit_test(root.get(), 65, 65), inner);      // a child wins over its parent
    inner->hidden = true;
    EXPECT_EQ(hit_test(root.get(), 65, 65), b);
    EXPECT_EQ(hit_test(root.get(), 0, 0), nullptr);
    EXPECT_EQ(hit_test(root.get(), 101, 5), nullptr);
    EXPECT_EQ(hit_test(nullptr, 1, 1), nullptr);
}

TEST(GuiDispatch, FourModes) {
    std::vector<int> log;
    TagHandler h1(&log, 1, 0), h2(&log, 2, 0), h3(&log, 3, 0), h3b(&log, 30, 0);
    TestElement root;
    auto* mid = new TestElement;
    auto* leaf = new TestElement;
    root.addChild(mid)->addChild(leaf);
    root.addHandler(&h1);
    mid->addHandler(&h2);
    leaf->addHandler(&h3);
    leaf->addHandler(&h3b);
    InputEvent in = {};
    NewGuiInputEvent ev(in);

    EXPECT_EQ(send_event(&ev, leaf, GUI_SEND_DOWN), 0);
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3, 30}));
    log.clear();
    send_event(&ev, leaf, GUI_SEND_DOWN, mid);
    EXPECT_EQ(log, (std::vector<int>{2, 3, 30}));
    log.clear();
    send_event(&ev, leaf, GUI_SEND_BUBBLE, mid);
    EXPECT_EQ(log, (std::vector<int>{3, 30, 2}));
    log.clear();
    h3.result = 5; // consumes: the second handler and the parents never see it
    EXPECT_EQ(send_event(&ev, leaf, GUI_SEND_BUBBLE), 5);
    EXPECT_EQ(log, (std::vector<int>{3}));
    log.clear();
    h3.result = 0;
    EXPECT_EQ(send_event(&ev, &root, GUI_SEND_TREE), 0);
    EXPECT_EQ(log, (std::vector<int>{1, 2, 3, 30}));
    log.clear();
    h2.result = 2; // "not here": the subtree is skipped and the search answers 0
    EXPECT_EQ(send_event(&ev, &root, GUI_SEND_TREE), 0);
    EXPECT_EQ(log, (std::vector<int>{1, 2}));
    log.clear();
    ev.mask = GUI_EV_WHEEL; // nobody's mask: nothing runs
    EXPECT_EQ(send_event(&ev, leaf, GUI_SEND_DOWN), 0);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(send_event(&ev, nullptr, GUI_SEND_ONLY), 0);
}

// [SECTION] styles

enum { PROP_COLOR = 3 };

struct AllSelector : GuiSelector {
    int weight;
    explicit AllSelector(int s) : weight(s) {}
    bool matches(NewGuiElement*) override { return true; }
    int specificity() override { return weight; }
};

struct HoverSelector : GuiSelector {
    bool matches(NewGuiElement* e) override { return e->getBool(GUI_PROP_HOVER); }
    int specificity() override { return 10; }
};

unsigned color_of(const NewGuiElement& e) {
    return e.getValue<unsigned>(PROP_COLOR, 0);
}

TEST(GuiStyles, LaterAndMoreSpecificSheetsWinOwnPropertiesSurvive) {
    register_std_behaviors();
    GuiStyle style;
    style.addSheet(new HoverSelector, new GuiProperty<unsigned>(PROP_COLOR, 3));
    style.addSheet(new AllSelector(1), gui_props(new GuiProperty<unsigned>(PROP_COLOR, 1),
                                                 gui_behaviors("button\0unknown\0")));
    style.addSheet(new AllSelector(1), new GuiProperty<unsigned>(PROP_COLOR, 2));
    TestElement root;
    auto* e = new TestElement;
    root.addChild(e);
    style.restyle(&root, false);
    EXPECT_EQ(color_of(*e), 2u);                  // equal specificity: the later sheet
    EXPECT_TRUE(e->hasHandler(&button_behavior)); // attached by name, unknown skipped
    EXPECT_EQ(e->handlers.num, 1);

    e->setBool(GUI_PROP_HOVER, true); // marks e and its parent
    style.restyle(&root, false);
    EXPECT_EQ(color_of(*e), 3u); // more specific beats later
    EXPECT_TRUE(e->getBool(GUI_PROP_HOVER));

    e->setOwnValue<unsigned>(PROP_COLOR, 7);
    style.restyle(&root, true);
    EXPECT_EQ(color_of(*e), 7u);
    e->setBool(GUI_PROP_HOVER, false);
    style.restyle(&root, false);
    EXPECT_EQ(color_of(*e), 7u);
    EXPECT_FALSE(e->getBool(GUI_PROP_HOVER));
    EXPECT_FALSE(e->needsRestyle);

    // A child added later is styled by the next lazy restyle.
    auto* plain = root.addChild(new TestElement);
    style.restyle(&root, false);
    EXPECT_EQ(color_of(*plain), 2u);
}
} // namespace
