// Executable location, absolute paths under the game's folder, file times.
#pragma once

#include "platform/temp_string.h"

#include <cstdint>

extern char app_path[260]; // the executable's folder with a trailing '/'

bool get_exe_filename(char* out, int size); // false when cut or unavailable
bool get_exe_path(char* out, int size);     // folder with trailing separator

// Relative paths (also with '\') are taken from app_path; "." and ".." are folded.
TempString<260> make_full_path(const char* path);

int64_t get_file_time(const char* path); // modification time in seconds, 0 if none

// The last separator-terminated prefix of a path ("" when it has none).
void cut_after_last_separator(char* path);
