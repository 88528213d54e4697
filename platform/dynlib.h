// Shared libraries loaded at run time (the game-object module).
#pragma once

void* open_library(const char* path); // null on failure; library_error() says why
void* find_library_symbol(void* lib, const char* name);
void close_library(void* lib);
bool is_library_loaded(const char* path); // still mapped after close_library?
const char* library_error();              // "" when none
