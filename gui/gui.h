// The in-game GUI runtime, everything the module's screens build on.
#pragma once

#include "gui/gui_behavior.h"
#include "gui/gui_element.h"
#include "gui/gui_event.h"
#include "gui/gui_render.h"
#include "gui/gui_screen.h"
#include "gui/gui_style.h"
#include "gui/weak_ref.h"

void init_gui();  // standard behaviours and the drawing states; after the device opens
void close_gui(); // before the device closes
