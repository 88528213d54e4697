// Input for automated runs (--input=EVENTS): events injected at given simulation steps, so a
// test can drive the game's screens without a person. EVENTS is a comma-separated list of
// STEP:ACTION with ACTION one of
//   kVK     press and release the virtual key VK (decimal)
//   dVK     key down          uVK   key up
//   mX;Y    move the mouse to pixel X, Y
//   cX;Y    left click at X, Y (move, press, release)
//   rX;Y    right click at X, Y
//   q       quit
// Steps count from 1, the first update of the main loop. Malformed items are logged and
// skipped.
#pragma once

bool set_scripted_input(const char* events); // false when an item was malformed
void run_scripted_input(int step);           // injects the events of this step
