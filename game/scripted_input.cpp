#include "game/scripted_input.h"

#include "game/main_loop.h"
#include "platform/dyn_array.h"
#include "platform/input.h"
#include "platform/log.h"

#include <cstdio>
#include <cstring>

namespace {
struct ScriptedEvent {
    int step;
    char action;
    int a, b;
};
DynArray<ScriptedEvent> script;

bool parse_item(const char* item, ScriptedEvent& e) {
    int used = 0;
    e = ScriptedEvent{};
    if (sscanf(item, "%d:%c%n", &e.step, &e.action, &used) != 2 || e.step < 1) return false;
    const char* rest = item + used;
    switch (e.action) {
    case 'k':
    case 'd':
    case 'u':
        return sscanf(rest, "%d%n", &e.a, &used) == 1 && !rest[used] && e.a > 0 && e.a < 256;
    case 'm':
    case 'c':
    case 'r':
        return sscanf(rest, "%d;%d%n", &e.a, &e.b, &used) == 2 && !rest[used];
    case 'q':
        return !*rest;
    default:
        return false;
    }
}

void click(int button, float x, float y) {
    queue_input_event(INPUT_MOUSE_MOVE, 0, 0, 0, x, y);
    queue_input_event(INPUT_BUTTON_DOWN, button, 0, 0, x, y);
    queue_input_event(INPUT_BUTTON_UP, button, 0, 0, x, y);
}
} // namespace

bool set_scripted_input(const char* events) {
    script.clear();
    bool ok = true;
    char item[64];
    for (const char* p = events; p && *p;) {
        size_t n = strcspn(p, ",");
        snprintf(item, sizeof(item), "%.*s", int(n < sizeof(item) ? n : sizeof(item) - 1), p);
        ScriptedEvent e;
        if (n < sizeof(item) && parse_item(item, e)) {
            script.push_back(e);
        } else {
            debug("--input: ignoring '%s'", item);
            ok = false;
        }
        p += n + (p[n] == ',');
    }
    return ok;
}

void run_scripted_input(int step) {
    for (const ScriptedEvent& e : script) {
        if (e.step != step) continue;
        float x = float(e.a), y = float(e.b);
        switch (e.action) {
        case 'k':
            queue_input_event(INPUT_KEY_DOWN, e.a, 0, 0, -1, -1);
            queue_input_event(INPUT_KEY_UP, e.a, 0, 0, -1, -1);
            break;
        case 'd':
            queue_input_event(INPUT_KEY_DOWN, e.a, 0, 0, -1, -1);
            break;
        case 'u':
            queue_input_event(INPUT_KEY_UP, e.a, 0, 0, -1, -1);
            break;
        case 'm':
            queue_input_event(INPUT_MOUSE_MOVE, 0, 0, 0, x, y);
            break;
        case 'c':
            click(VK_LBUTTON, x, y);
            break;
        case 'r':
            click(VK_RBUTTON, x, y);
            break;
        case 'q':
            request_quit();
            break;
        }
    }
}
