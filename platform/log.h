// Logging, fatal errors and invariant checks shared by both programs.
#pragma once

#include "platform/game_export.h"

#include <cstdarg>

GAME_EXPORT void debug(const char* fmt, ...) __attribute__((format(printf, 1, 2)));  // line + flush
GAME_EXPORT void debug_(const char* fmt, ...) __attribute__((format(printf, 1, 2))); // no newline
void vdebug(const char* fmt, va_list args);
// From now on the log also goes to this file (replaced each run), for programs started from
// a menu, whose standard output nobody sees. False when it cannot be created.
bool start_log_file(const char* path);

// Logs "ERROR: <text>" and shows a modal box titled "<window title> - FATAL ERROR"
// unless dialogs are off (VELTMOOR_NO_DIALOGS or no display).
void error_message(const char* text);
// As error_message for errors the program survives: the box is titled "<window title> - Error".
void report_error(const char* text);
// The message box title of fatal and of survivable errors.
void error_box_title(bool is_fatal, char* out, int size);

// Message to stderr and a box, then the program's shutdown sequence, then exit(100).
[[noreturn]] GAME_EXPORT void fatal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Each program names its window title and its orderly shutdown once at start.
void set_fatal_context(const char* window_title, void (*shutdown)());
bool dialogs_enabled();

[[noreturn]] GAME_EXPORT void assert_failed(const char* file, int line, const char* expr);

// Invariant checks: a failure is a bug, reported as "<file stem>(<line>): failed ASSERT(<expr>)".
#define ASSERT(expr) ((expr) ? (void)0 : assert_failed(__FILE__, __LINE__, #expr))
// As ASSERT, with the report's expression text given exactly (formatting must not change it).
#define ASSERT_TEXT(expr, text) ((expr) ? (void)0 : assert_failed(__FILE__, __LINE__, text))
