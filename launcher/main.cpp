// Entry point of launchpad: the options window that stores the settings and starts game.
#include "launcher/launcher_window.h"

int main(int argc, char** argv) {
    return launcher_main(argc, argv);
}
