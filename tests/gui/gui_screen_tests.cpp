// Screens driven by synthetic events through the platform's input queue, without a window.
#include "gui_test_util.h"
#include "platform/input.h"

#include <gtest/gtest.h>

namespace {
class ScreenTest : public ::testing::Test {
  protected:
    BaseGuiScreen screen;
    Notes notes;

    void SetUp() override {
        register_std_behaviors();
        reset_input();
        set_input_clamp_size(200, 200);
        screen.root = add_box(nullptr, 0, 0, 200, 200);
    }
    void TearDown() override {
        release(1); // leave no button held for the next test
        reset_input();
    }
    TestElement* button(float x0, float y0, float x1, float y1, NewGuiEventHandler* b) {
        TestElement* e = add_box(screen.root, x0, y0, x1, y1);
        e->addHandler(b);
        notes.listen(e);
        return e;
    }
    void move(float x, float y) { send(INPUT_MOUSE_MOVE, 0, x, y); }
    void press(int b = VK_LBUTTON) { send(INPUT_BUTTON_DOWN, b, -1, -1); }
    void release(int b = VK_LBUTTON) { send(INPUT_BUTTON_UP, b, -1, -1); }
    void click(float x, float y) {
        move(x, y);
        press();
        release();
    }
    void send(int type, int code, float x, float y) {
        float mx, my;
        getMousePos(&mx, &my);
        queue_input_event(type, code, 0, 0, x < 0 ? mx : x, y < 0 ? my : y);
        screen.processInput();
    }
};

TEST_F(ScreenTest, ClickPressesReleasesAndClicks) {
    TestElement* b = button(10, 10, 50, 30, &button_behavior);
    move(20, 20);
    EXPECT_TRUE(b->getBool(GUI_PROP_HOVER));
    EXPECT_FALSE(b->getBool(GUI_PROP_PRESSED));
    press();
    EXPECT_TRUE(b->getBool(GUI_PROP_PRESSED));
    EXPECT_EQ(screen.captured.get(), b);
    release();
    EXPECT_FALSE(b->getBool(GUI_PROP_PRESSED));
    EXPECT_TRUE(b->getBool(GUI_PROP_HOVER));
    using N = Notes::Note;
    EXPECT_EQ(notes.all,
              (std::vector<N>{{'p', b, 1}, {'c', b, VK_LBUTTON}, {'v', b, 0}, {'r', b, 0}}));
    move(100, 100);
    EXPECT_FALSE(b->getBool(GUI_PROP_HOVER));
    EXPECT_EQ(screen.captured.get(), nullptr);
}

TEST_F(ScreenTest, DragOutAndReleaseDoesNotClick) {
    TestElement* b = button(10, 10, 50, 30, &button_behavior);
    move(20, 20);
    press();
    EXPECT_TRUE(b->getBool(GUI_PROP_PRESSED));
    move(100, 100); // still captured: leaving clears pressed and hover
    EXPECT_FALSE(b->getBool(GUI_PROP_PRESSED));
    EXPECT_FALSE(b->getBool(GUI_PROP_HOVER));
    release();
    EXPECT_EQ(notes.count('c'), 0);
    EXPECT_EQ(notes.count('r'), 1);
    // Back in with the button held: the captured button is pressed again and clicks.
    move(20, 20);
    press();
    move(100, 100);
    move(25, 25);
    EXPECT_TRUE(b->getBool(GUI_PROP_PRESSED));
    EXPECT_TRUE(b->getBool(GUI_PROP_HOVER));
    release();
    EXPECT_EQ(notes.count('c'), 1);
}

TEST_F(ScreenTest, ReleaseOverHitTestingChildDoesNotClickParent) {
    TestElement* b = button(10, 10, 90, 50, &button_behavior);
    add_box(b, 60, 20, 80, 40); // an icon inside the button that hit-tests itself
    move(20, 20);
    press();
    move(70, 30);
    release();
    EXPECT_EQ(notes.count('c'), 0);
    EXPECT_FALSE(b->getBool(GUI_PROP_HOVER));
    click(20, 20);
    EXPECT_EQ(notes.count('c'), 1);
}

TEST_F(ScreenTest, RadioButtonsCheckOneAndNotifyAll) {
    TestElement* r[3];
    for (int i = 0; i < 3; ++i)
        r[i] = button(10, 10 + 30.0f * i, 50, 30 + 30.0f * i, &radio_button_behavior);
    TestElement* check = button(100, 10, 150, 30, &checkbox_behavior); // a sibling, other behaviour
    r[0]->setBool(GUI_PROP_CHECKED, true);
    check->setBool(GUI_PROP_CHECKED, true);
    click(20, 50); // r[1]
    for (int i = 0; i < 3; ++i) EXPECT_EQ(r[i]->getBool(GUI_PROP_CHECKED), i == 1) << i;
    EXPECT_TRUE(check->getBool(GUI_PROP_CHECKED));
    EXPECT_EQ(notes.count('h'), 3);
    for (const Notes::Note& n : notes.all) {
        if (n.kind == 'h') {
            EXPECT_EQ(n.value, n.el == r[1]);
        }
    }
    EXPECT_EQ(notes.count('c'), 1);
    EXPECT_EQ(notes.all[notes.all.size() - 2], (Notes::Note{'v', r[1], 1}));
}

TEST_F(ScreenTest, CheckboxTogglesAndDisabledButtonsIgnoreThePointer) {
    TestElement* c = button(10, 10, 50, 30, &checkbox_behavior);
    click(20, 20);
    EXPECT_TRUE(c->getBool(GUI_PROP_CHECKED));
    click(20, 20);
    EXPECT_FALSE(c->getBool(GUI_PROP_CHECKED));
    EXPECT_EQ(notes.count('h'), 2);
    move(100, 100);
    c->enabled = false;
    click(20, 20);
    EXPECT_FALSE(c->getBool(GUI_PROP_CHECKED));
    EXPECT_FALSE(c->getBool(GUI_PROP_HOVER));
    EXPECT_EQ(notes.count('h'), 2);
}

TEST_F(ScreenTest, ResetForgetsPressedAndHover) {
    TestElement* b = button(10, 10, 50, 30, &button_behavior);
    move(20, 20);
    press();
    screen.resetPointer();
    EXPECT_FALSE(b->getBool(GUI_PROP_PRESSED));
    EXPECT_FALSE(b->getBool(GUI_PROP_HOVER));
    EXPECT_EQ(screen.captured.get(), nullptr);
    EXPECT_EQ(screen.hover.get(), nullptr);
    EXPECT_EQ(notes.count('r'), 1);
}

TEST_F(ScreenTest, DeletedHoverElementIsForgotten) {
    TestElement* b = button(10, 10, 50, 30, &button_behavior);
    move(20, 20);
    press();
    screen.root->children.erase(0);
    delete b;
    EXPECT_EQ(screen.hover.get(), nullptr);
    EXPECT_EQ(screen.captured.get(), nullptr);
    move(30, 30); // no dangling element is touched
}

TEST_F(ScreenTest, UnknownEventKindIsFatal) {
    InputEvent bad = {};
    bad.type = 7;
    EXPECT_EXIT(screen.processInputEvent(bad, nullptr), ::testing::ExitedWithCode(100),
                "guiRuntime\\(275\\): failed ASSERT\\(!\"unknown input event type\"\\)");
}
} // namespace

namespace {
int screens_made = 0;
BaseGuiScreen* make_screen() {
    ++screens_made;
    auto* s = new BaseGuiScreen;
    s->root = add_box(nullptr, 0, 0, 10, 10);
    return s;
}

struct ModuleBehavior : ButtonBehavior {};

TEST(GuiScreenSlots, UnbindingDeletesScreensStylesAndModuleBehaviors) {
    register_std_behaviors();
    ModuleBehavior mine;
    register_behavior(&mine, "module_button");
    game_menu_screen.createScreen = make_screen;
    BaseGuiScreen* first = get_gui_screen(game_menu_screen);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(get_gui_screen(game_menu_screen), first);      // made once
    EXPECT_EQ(get_gui_screen(game_options_screen), nullptr); // no factory yet
    WeakRef<BaseGuiScreen> watch(first);
    cur_game_screen = first;
    common_style.addSheet(nullptr, new GuiProperty<bool>(1, true));

    unbind_module_gui();
    EXPECT_EQ(watch.get(), nullptr); // deleted while the module's code is still there
    EXPECT_EQ(cur_game_screen, nullptr);
    EXPECT_EQ(game_menu_screen.createScreen, nullptr);
    EXPECT_EQ(common_style.sheets.num, 0);
    EXPECT_EQ(get_behavior("module_button"), nullptr);
    EXPECT_EQ(get_behavior("button"), &button_behavior);

    // The rebuilt module sets its factory again and the screen comes back.
    game_menu_screen.createScreen = make_screen;
    BaseGuiScreen* again = get_gui_screen(game_menu_screen);
    EXPECT_NE(again, nullptr);
    EXPECT_EQ(screens_made, 2);
    unbind_module_gui();
}
} // namespace
