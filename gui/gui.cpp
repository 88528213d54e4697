#include "gui/gui.h"

void init_gui() {
    register_std_behaviors();
    init_rounded_box_render();
    init_ui_image_render();
}

void close_gui() {
    unbind_module_gui();
    close_gui_render();
}
