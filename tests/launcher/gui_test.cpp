#include "launcher/gui.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {
// A screen over a memory frame buffer with a 16-pixel font ('A' is 3 pixels wide).
struct ScreenFixture : ::testing::Test {
    std::vector<uint32_t> px;
    SoftwareGuiRenderer r;
    GuiScreen screen{&r, 40, 30};
    std::string dir = make_temp_dir("gui");

    void SetUp() override {
        register_standard_gui_behaviours();
        TestFontImage img(16);
        img.setInk('A', 2, 5);
        r.set_font(r.load_font(img.save(dir).c_str()));
        resize(640, 480);
        reset_input();
        set_input_clamp_size(640, 480);
    }
    void resize(int w, int h) {
        px.assign(size_t(w) * size_t(h), 0);
        r.set_target(px.data(), w * 4, w, h);
    }
    uint32_t at(int x, int y) { return px[size_t(y) * size_t(r.width()) + size_t(x)]; }
};

GuiElement* add(GuiElement* parent, const char* name, float x, float y, float w, float h) {
    GuiElement* e = parent->addChild(new GuiElement(name));
    e->outerSpacing = {gui_px(y), gui_px(x), gui_auto(), gui_auto()};
    e->width = gui_px(w);
    e->height = gui_px(h);
    return e;
}

// Records which elements saw an event, in order.
struct Recorder : GuiEventHandler {
    std::vector<std::string>* log;
    int result;
    Recorder(std::vector<std::string>* l, int mask, int r)
        : GuiEventHandler(mask), log(l), result(r) {}
    int handle(GuiEvent& ev, GuiElement* e, int routing) override {
        log->push_back(std::string(e->name) + ":" + std::to_string(ev.code));
        return result;
    }
};

GuiElement* make_button(GuiElement* parent, const char* name, int id, float x, float y) {
    GuiElement* b = add(parent, name, x, y, 100, 40);
    b->commandId = id;
    for (const char* s : {".normal", ".over", ".pressed"}) {
        GuiElement* st = b->addChild(new GuiElement(s));
        st->width = gui_px(100);
        st->height = gui_px(40);
    }
    EXPECT_TRUE(b->addBehaviour("SOLIDBOX"));
    EXPECT_TRUE(b->addBehaviour("button"));
    return b;
}

const char* shown_state(GuiElement* b) {
    const char* shown = "none";
    int count = 0;
    for (GuiElement* c : b->children)
        if (!c->isHidden()) {
            shown = c->name;
            ++count;
        }
    return count == 1 ? shown : "several";
}

void move(float x, float y, int flags = 0) {
    queue_input_event(INPUT_MOUSE_MOVE, 0, 0, flags, x, y);
}
void press(float x, float y) {
    queue_input_event(INPUT_BUTTON_DOWN, VK_LBUTTON, 0, 0, x, y);
}
void release(float x, float y) {
    // The input layer reports a release at the last known mouse position.
    move(x, y);
    queue_input_event(INPUT_BUTTON_UP, VK_LBUTTON, 0, 0, x, y);
}
} // namespace

TEST_F(ScreenFixture, ScaleFollowsTheFrameBufferInWholeSteps) {
    screen.relayout();
    EXPECT_EQ(screen.scale, 1);
    EXPECT_EQ(screen.unitLength(), 16.0f);
    resize(1280, 960);
    screen.relayout();
    EXPECT_EQ(screen.scale, 2);
    EXPECT_EQ(screen.unitLength(), 32.0f);
    resize(1279, 2000); // the narrower side decides
    screen.relayout();
    EXPECT_EQ(screen.scale, 1);
    resize(100, 50); // never below 1
    screen.relayout();
    EXPECT_EQ(screen.scale, 1);
}

TEST_F(ScreenFixture, LayoutCentresPushesAndConvertsLengths) {
    resize(800, 600);
    GuiElement* root = screen.root = new GuiElement("root");
    root->outerSpacing = {gui_auto(), gui_auto(), gui_auto(), gui_auto()};
    root->width = gui_units(40);
    root->height = gui_units(30);
    // Borders and inner spacing: box inside the border, content inside the inner spacing.
    GuiElement* a = add(root, "a", 10, 20, 50, 30);
    a->borders = {gui_px(2), gui_px(3), gui_px(4), gui_px(5)};
    a->innerSpacing = {gui_px(1), gui_units(0.5f), gui_px(6), gui_px(7)};
    a->offsetX = 1;
    a->offsetY = -1;
    // One auto outer spacing pushes to the far side.
    GuiElement* b = root->addChild(new GuiElement("b"));
    b->outerSpacing = {gui_auto(), gui_auto(), gui_px(10), gui_px(20)};
    b->width = {10, GUI_LEN_PERCENT_WIDTH};
    b->height = {50, GUI_LEN_PERCENT_HEIGHT};
    // Auto size is the text at its size code times the screen scale.
    GuiElement* c = add(root, "c", 0, 0, 0, 0);
    c->width = c->height = gui_auto();
    c->setText("AA\nA");
    c->textSize = 2;
    screen.relayout();

    EXPECT_EQ(root->box.left, 80.0f);
    EXPECT_EQ(root->box.top, 60.0f);
    EXPECT_EQ(root->box.right, 720.0f);
    EXPECT_EQ(root->box.bottom, 540.0f);
    EXPECT_EQ(a->box.left, 80 + 10 + 3 + 1.0f);
    EXPECT_EQ(a->box.top, 60 + 20 + 2 - 1.0f);
    EXPECT_EQ(a->content.left, a->box.left + 8);
    EXPECT_EQ(a->content.top, a->box.top + 1);
    EXPECT_EQ(a->content.right, a->content.left + 50);
    EXPECT_EQ(a->content.bottom, a->content.top + 30);
    EXPECT_EQ(a->box.right, a->content.right + 6);
    EXPECT_EQ(a->box.bottom, a->content.bottom + 7);
    EXPECT_EQ(a->borderWidths.top, 2.0f);
    EXPECT_EQ(a->borderWidths.left, 3.0f);
    EXPECT_EQ(a->borderWidths.right, 4.0f);
    EXPECT_EQ(a->borderWidths.bottom, 5.0f);
    EXPECT_EQ(b->box.right, 720.0f - 10);
    EXPECT_EQ(b->box.left, 720.0f - 10 - 64);
    EXPECT_EQ(b->box.bottom, 540.0f - 20);
    EXPECT_EQ(b->box.top, 540.0f - 20 - 240);
    EXPECT_EQ(c->content.right - c->content.left, 2.0f * 8);
    EXPECT_EQ(c->content.bottom - c->content.top, 2.0f * 32);

    // A bigger frame buffer doubles every unit length on re-layout.
    resize(1600, 1200);
    screen.relayout();
    EXPECT_EQ(root->box.left, 160.0f);
    EXPECT_EQ(a->content.left, 160 + 10 + 3 + 1 + 16.0f);
}

TEST_F(ScreenFixture, RenderOwnsEachBorderCornerByOneBand) {
    GuiElement* root = screen.root = new GuiElement("root");
    root->width = gui_px(640);
    root->height = gui_px(480);
    GuiElement* e = add(root, "e", 10, 10, 6, 4);
    e->borders = {gui_px(2), gui_px(2), gui_px(2), gui_px(2)};
    e->fillColor = 0xFF808080;
    e->borderColors[0] = 0xFF0000FF; // top
    e->borderColors[1] = 0xFF00FF00; // left
    e->borderColors[2] = 0xFFFF0000; // right
    e->borderColors[3] = 0xFFFFFF00; // bottom
    screen.relayout();
    ASSERT_EQ(e->box.left, 12.0f);
    ASSERT_EQ(e->box.top, 12.0f);
    screen.render();
    EXPECT_EQ(at(10, 10), 0x0000FFu); // top-left corner: top band
    EXPECT_EQ(at(18, 10), 0xFF0000u); // top-right corner: right band
    EXPECT_EQ(at(18, 17), 0xFFFF00u); // bottom-right corner: bottom band
    EXPECT_EQ(at(10, 17), 0x00FF00u); // bottom-left corner: left band
    EXPECT_EQ(at(14, 11), 0x0000FFu);
    EXPECT_EQ(at(19, 14), 0xFF0000u);
    EXPECT_EQ(at(14, 16), 0xFFFF00u);
    EXPECT_EQ(at(11, 14), 0x00FF00u);
    EXPECT_EQ(at(12, 12), 0x808080u);
    EXPECT_EQ(at(17, 15), 0x808080u);
    EXPECT_EQ(at(20, 14), 0u);
    EXPECT_EQ(at(14, 18), 0u);

    // A colour of 0 or a width of 0 leaves the band out; hidden subtrees draw nothing.
    std::fill(px.begin(), px.end(), 0);
    e->borderColors[0] = 0;
    e->borders.right = gui_px(0);
    screen.relayout();
    screen.render();
    EXPECT_EQ(at(12, 10), 0u);
    EXPECT_EQ(at(18, 12), 0u);
    EXPECT_EQ(at(10, 10), 0u);
    std::fill(px.begin(), px.end(), 0);
    root->setHidden(true);
    screen.render();
    EXPECT_EQ(at(12, 12), 0u);
}

TEST_F(ScreenFixture, TextIsAnchoredInTheContentRectangle) {
    GuiElement* root = screen.root = new GuiElement("root");
    root->width = gui_px(640);
    root->height = gui_px(480);
    GuiElement* e = add(root, "e", 100, 100, 40, 40);
    e->setText("A");
    e->textColor = 0xFFFFFFFF;
    e->textAlignH = 1;
    e->textAlignV = 1;
    screen.relayout();
    screen.render();
    // Right and bottom aligned: the 4-pixel-wide block ends at 140, its 16 rows at 140.
    EXPECT_EQ(at(136, 124), 0xFFFFFFu);
    EXPECT_EQ(at(138, 139), 0xFFFFFFu);
    EXPECT_EQ(at(135, 124), 0u);
    EXPECT_EQ(at(136, 123), 0u);
    // A text colour of 0 draws no text.
    std::fill(px.begin(), px.end(), 0);
    e->textColor = 0;
    screen.render();
    EXPECT_EQ(at(136, 124), 0u);
}

TEST_F(ScreenFixture, RoutingModesVisitElementsInOrder) {
    std::vector<std::string> log;
    GuiElement* root = screen.root = new GuiElement("root");
    GuiElement* a = root->addChild(new GuiElement("a"));
    GuiElement* a1 = a->addChild(new GuiElement("a1"));
    GuiElement* b = root->addChild(new GuiElement("b"));
    for (GuiElement* e : {root, a, a1, b}) e->addHandler(new Recorder(&log, GUI_EV_KEY, 0));
    GuiEvent ev(GUI_EV_KEY);
    EXPECT_EQ(send_event(ev, a1, GUI_ROUTE_DOWN), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"root:4", "a:4", "a1:4"}));
    log.clear();
    send_event(ev, a1, GUI_ROUTE_UP, root); // the stop element is not reached
    EXPECT_EQ(log, (std::vector<std::string>{"a1:4", "a:4"}));
    log.clear();
    send_event(ev, a, GUI_ROUTE_ELEMENT);
    EXPECT_EQ(log, (std::vector<std::string>{"a:4"}));
    log.clear();
    send_event(ev, root, GUI_ROUTE_SUBTREE);
    EXPECT_EQ(log, (std::vector<std::string>{"root:4", "a:4", "a1:4", "b:4"}));
    log.clear();
    // Events outside a handler's mask never reach it.
    GuiEvent other(GUI_EV_MOUSE_WHEEL);
    send_event(other, root, GUI_ROUTE_SUBTREE);
    EXPECT_TRUE(log.empty());

    // A handled result stops the walk; 2 also stops the descent from the root.
    a->addHandler(new Recorder(&log, GUI_EV_COMMAND, 1));
    root->addHandler(new Recorder(&log, GUI_EV_COMMAND, 2));
    GuiEvent cmd(GUI_EV_COMMAND);
    EXPECT_EQ(send_event(cmd, root, GUI_ROUTE_SUBTREE), 2);
    EXPECT_EQ(log, (std::vector<std::string>{"root:1"}));
    log.clear();
    EXPECT_EQ(send_event(cmd, a1, GUI_ROUTE_UP), 1);
    EXPECT_EQ(log, (std::vector<std::string>{"a:1"}));
    log.clear();
    EXPECT_EQ(send_event(cmd, a1, GUI_ROUTE_DOWN), 2);
    EXPECT_EQ(log, (std::vector<std::string>{"root:1"}));
}

TEST_F(ScreenFixture, HitTestFindsTheFirstSolidElementIncludingBorders) {
    GuiElement* root = screen.root = new GuiElement("root");
    root->width = gui_px(640);
    root->height = gui_px(480);
    GuiElement* a = add(root, "a", 10, 10, 20, 20);
    a->borders = {gui_px(1), gui_px(1), gui_px(1), gui_px(1)};
    GuiElement* inner = add(a, "inner", 0, 0, 5, 5);
    GuiElement* b = add(root, "b", 15, 15, 100, 100); // overlaps a, comes later
    for (GuiElement* e : {a, inner, b}) ASSERT_TRUE(e->addBehaviour("solidBox"));
    screen.relayout();
    // a's box is 11..31; with its border 10..32 (right and bottom exclusive).
    EXPECT_EQ(hit_test(root, 10, 10), a);
    EXPECT_EQ(hit_test(root, 31.9f, 20), a);
    EXPECT_EQ(hit_test(root, 9.9f, 10), nullptr);
    EXPECT_EQ(hit_test(root, 12, 12), a); // the parent is asked before its child
    EXPECT_EQ(hit_test(root, 20, 20), a); // and before later siblings
    EXPECT_EQ(hit_test(root, 32, 20), b);
    EXPECT_EQ(hit_test(root, 115, 115), nullptr);
    a->setHidden(true);
    EXPECT_EQ(hit_test(root, 20, 20), b);
    EXPECT_EQ(hit_test(root, 12, 12), nullptr); // nor its children
}

TEST_F(ScreenFixture, ButtonStatesFollowTheMouse) {
    std::vector<std::string> log;
    GuiElement* root = screen.root = new GuiElement("root");
    root->width = gui_px(640);
    root->height = gui_px(480);
    root->addHandler(new Recorder(&log, GUI_EV_COMMAND, 1));
    GuiElement* a = make_button(root, "a", 7, 100, 100);
    GuiElement* b = make_button(root, "b", 8, 300, 100);
    screen.relayout();
    EXPECT_STREQ(shown_state(a), ".normal");

    move(150, 120);
    screen.processInput(0.03f);
    EXPECT_STREQ(shown_state(a), ".over");
    EXPECT_EQ(screen.hovered, a);
    press(150, 120);
    screen.processInput(0.03f);
    EXPECT_STREQ(shown_state(a), ".pressed");
    EXPECT_EQ(screen.captured, a);
    // Off the button with the button held, and released elsewhere: no command.
    move(50, 50, INPUT_FLAG_LBUTTON);
    screen.processInput(0.03f);
    EXPECT_STREQ(shown_state(a), ".normal");
    EXPECT_EQ(screen.hovered, nullptr);
    release(50, 50);
    screen.processInput(0.03f);
    EXPECT_STREQ(shown_state(a), ".normal");
    EXPECT_EQ(screen.captured, nullptr);
    EXPECT_TRUE(log.empty());

    // Back on it while held shows pressed; a release on it sends the command upwards.
    press(150, 120);
    move(50, 50, INPUT_FLAG_LBUTTON);
    move(150, 120, INPUT_FLAG_LBUTTON);
    screen.processInput(0.03f);
    EXPECT_STREQ(shown_state(a), ".pressed");
    release(150, 120);
    screen.processInput(0.03f);
    EXPECT_STREQ(shown_state(a), ".over");
    EXPECT_EQ(log, (std::vector<std::string>{"root:1"}));
    log.clear();

    // Pressed on one button and released on another: neither fires.
    press(150, 120);
    move(350, 120, INPUT_FLAG_LBUTTON);
    release(350, 120);
    screen.processInput(0.03f);
    EXPECT_TRUE(log.empty());
    EXPECT_STREQ(shown_state(a), ".normal");
    EXPECT_STREQ(shown_state(b), ".normal");
    move(351, 120);
    screen.processInput(0.03f);
    EXPECT_STREQ(shown_state(b), ".over");

    // Hiding and showing a button notifies it back to normal; hidden buttons ignore input.
    b->setHidden(true);
    b->setHidden(false);
    EXPECT_STREQ(shown_state(b), ".normal");
    root->setHidden(true);
    press(350, 120);
    release(350, 120);
    screen.processInput(0.03f);
    EXPECT_TRUE(log.empty());
}

TEST_F(ScreenFixture, CommandCarriesIdSourceAndFlags) {
    struct Catch : GuiEventHandler {
        GuiCommandEvent got{0, nullptr, 0};
        Catch() : GuiEventHandler(GUI_EV_COMMAND) {}
        int handle(GuiEvent& ev, GuiElement*, int) override {
            got = static_cast<GuiCommandEvent&>(ev);
            return 1;
        }
    };
    GuiElement* root = screen.root = new GuiElement("root");
    root->width = gui_px(640);
    root->height = gui_px(480);
    Catch* c = new Catch;
    root->addHandler(c);
    GuiElement* a = make_button(root, "a", 42, 0, 0);
    screen.relayout();
    queue_input_event(INPUT_KEY_DOWN, VK_SHIFT, 0, 0, 0, 0);
    press(10, 10);
    release(10, 10);
    screen.processInput(0.03f);
    EXPECT_EQ(c->got.commandId, 42);
    EXPECT_EQ(c->got.source, a);
    EXPECT_EQ(c->got.flags & INPUT_FLAG_SHIFT, INPUT_FLAG_SHIFT);
}

TEST(GuiBehaviours, RegistryFindsByNameWithoutCaseAndKeepsOneOfEach) {
    register_standard_gui_behaviours();
    register_standard_gui_behaviours();
    GuiBehaviour* b = find_gui_behaviour("Button");
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b->name(), "button");
    EXPECT_STREQ(find_gui_behaviour("solidbox")->name(), "solidBox");
    EXPECT_EQ(find_gui_behaviour("slider"), nullptr);
    GuiElement e("e");
    EXPECT_FALSE(e.addBehaviour("slider"));
    EXPECT_TRUE(e.handlers.num == 0);
}

TEST(GuiElementTest, HiddenNotifiesOnlyOnChangeAndVisibilityLooksUp) {
    std::vector<std::string> log;
    GuiElement root("root");
    GuiElement* child = root.addChild(new GuiElement("child"));
    child->addHandler(new Recorder(&log, GUI_EV_NOTIFY, 1));
    EXPECT_TRUE(child->isVisible());
    child->setHidden(false);
    EXPECT_TRUE(log.empty());
    child->setHidden(true);
    child->setHidden(true);
    EXPECT_EQ(log.size(), 1u);
    child->setHidden(false);
    EXPECT_EQ(log.size(), 2u);
    root.setHidden(true);
    EXPECT_FALSE(child->isVisible());
    EXPECT_EQ(log.size(), 2u); // only the element itself is notified
    EXPECT_EQ(root.findChild("child"), child);
    EXPECT_EQ(root.findChild("none"), nullptr);
}

using GuiDeathTest = ScreenFixture;

TEST_F(GuiDeathTest, UnknownLengthModeAndInputTypeAreFatal) {
    GuiElement* root = screen.root = new GuiElement("root");
    root->width = {1, 9};
    EXPECT_EXIT(screen.relayout(), ::testing::ExitedWithCode(100),
                "failed ASSERT\\(!\"unknown GuiLen mode\"\\)");
    root->width = gui_px(10);
    InputEvent bad = {42, 0, 0, 0, 0, 0, 0};
    EXPECT_EXIT(screen.dispatchInputEvent(bad, root), ::testing::ExitedWithCode(100),
                "failed ASSERT\\(!\"unknown input event type\"\\)");
}
