#include "platform/command_line.h"

#include "platform/config.h"
#include "platform/log.h"

#include <cstdio>
#include <cstring>

namespace {
void print_list(const char* title, const SwitchHelp* items) {
    if (!items || !items->names) return;
    printf("\n%s\n", title);
    for (const SwitchHelp* s = items; s->names; ++s) {
        if (strlen(s->names) < 28)
            printf("  %-28s %s\n", s->names, s->effect);
        else
            printf("  %s\n  %-28s %s\n", s->names, "", s->effect);
    }
}
} // namespace

bool print_help_or_version(int argc, char** argv, const ProgramHelp& help) {
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--version") == 0) {
            printf("%s (Veltmoor) %s\n", help.program, VELTMOOR_VERSION);
            fflush(stdout);
            return true;
        }
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            printf("Usage: %s [switches]\n%s\n", help.program, help.summary);
            print_list("Switches:", help.switches);
            print_list("Environment:", help.environment);
            printf("\nSettings file: %s\n", get_config_file_path());
            if (help.notes) printf("%s\n", help.notes);
            fflush(stdout);
            return true;
        }
    }
    return false;
}

void report_unknown_switch(const char* arg) {
    debug("ignoring unknown switch '%s' (see --help)", arg);
}
