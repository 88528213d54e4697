// The settings store shared by game and launchpad: typed values (32-bit integers
// and strings) in one text file, "settings" in $VELTMOOR_CONFIG_DIR or
// $XDG_CONFIG_HOME/Quillfen Games/Veltmoor (default ~/.config/...).
// Every write rewrites the file atomically; a corrupt line never stops a read.
#pragma once

#include "platform/game_export.h"

bool set_config_int(const char* name, int value);
bool set_config_str(const char* name, const char* str, int length); // length < 0: strlen
// True only when the value exists with the asked type; outputs are untouched otherwise.
bool get_config_int(const char* name, int& out);
// Also false when the text does not fit in size - 1 bytes.
GAME_EXPORT bool get_config_str(const char* name, char* buffer, int size);

// The settings file in use (for logs and tests).
const char* get_config_file_path();
