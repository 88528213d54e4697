// Executable location, absolute paths under the game's folder, file times.
#pragma once

#include "platform/temp_string.h"

#include <cstdint>

extern char app_path[260]; // the game's data folder with a trailing '/' (see below)

// Where the programs and their files are. In a build tree everything sits in the
// executable's folder. An installed game (bin/game with <prefix>/share/veltmoor/) reads its
// data from that read-only share folder and writes its shader cache under
// $XDG_CACHE_HOME/veltmoor/ and its screenshots and log under $XDG_DATA_HOME/veltmoor/.
// The game-object module (actor.so) of an installed game lives in <prefix>/lib/veltmoor/ or
// next to the executable, and has no sources to track. All folders end in '/'.
struct AppFolders {
    bool installed = false;
    char exe[260] = "";    // the executable's folder (launchpad starts game from here)
    char cache[260] = "";  // root of "cache/..." files
    char user[260] = "";   // root of "shots/..." and the log
    char module[260] = ""; // folder of actor.so
};
extern AppFolders app_folders;

// Fills app_folders and app_path from the running executable, creating the writable
// folders; false when the executable's path is unknown (app_path is then "").
bool locate_app_folders();
// The same for an executable folder given by the caller (tests).
bool locate_app_folders_from(const char* exe_folder);
TempString<260> cache_file_path(const char* rel); // "cache/x" -> the cache root + "cache/x"
TempString<260> user_file_path(const char* rel);  // "shots/x" -> the user root + "shots/x"

bool get_exe_filename(char* out, int size); // false when cut or unavailable
bool get_exe_path(char* out, int size);     // folder with trailing separator

// Relative paths (also with '\') are taken from app_path; "." and ".." are folded.
TempString<260> make_full_path(const char* path);
// The same against another folder (with its trailing '/').
TempString<260> make_full_path_from(const char* base, const char* path);

int64_t get_file_time(const char* path); // modification time in seconds, 0 if none

// The last separator-terminated prefix of a path ("" when it has none).
void cut_after_last_separator(char* path);
