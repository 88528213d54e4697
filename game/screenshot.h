// Saves what the window shows as "shots/shot<date>_<time>.png" next to the game.
#pragma once

void take_screenshot();
// File name for a screenshot taken now ("shots/shot.png" when the clock fails).
void screenshot_name(char* out, int size);
// Writes 32-bit ARGB pixels as an opaque RGBA PNG; false when encoding or writing fails.
bool write_screenshot_png(const char* path, unsigned char* argb, int width, int height, int pitch);
