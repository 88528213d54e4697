// --help and --version of both programs, and the report of switches they do not know.
#pragma once

constexpr const char* VELTMOOR_VERSION = "0.10";

struct SwitchHelp {
    const char* names;  // "-vs, -novs"
    const char* effect; // "vertical sync on or off"
};

struct ProgramHelp {
    const char* program; // "game"
    const char* summary; // one line under the usage
    const SwitchHelp* switches;
    const SwitchHelp* environment;
    const char* notes; // after the lists, or null
};

// Prints the help (with the settings file in use) or the version when the arguments ask for
// either, and answers true: the program then exits 0 without opening a window.
bool print_help_or_version(int argc, char** argv, const ProgramHelp& help);

// A switch the program does not know is logged and otherwise ignored.
void report_unknown_switch(const char* arg);
