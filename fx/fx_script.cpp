#include "fx/fx_script.h"

#include "fx/particles.h"
#include "platform/log.h"
#include "render/error_text.h"
#include "script/common_script.h"
#include "script/ramps.h"
#include "script/reloadable_vm.h"
#include "script/sqbind.h"

#include <cstdio>
#include <cstring>

using namespace sqbind;

namespace {
SqReloadableVM fx_vm;
SqFunc<void(float)> script_update_fx;

// Ramps that live particles point at stay referenced until the pools are emptied, so a
// ramp the script made in a local variable cannot be collected under a live particle.
DynArray<HSQOBJECT> pinned_ramps;

void release_pinned_ramps() {
    if (fx_vm.vm)
        for (HSQOBJECT& o : pinned_ramps) sq_release(fx_vm.vm, &o);
    pinned_ramps.num = 0;
}

template <typename R>
const R* read_ramp(const SqObject& settings, const char* key) {
    HSQUIRRELVM vm = settings.getVM();
    const SQInteger top = sq_gettop(vm);
    push_slot(settings, key);
    try {
        const R* r = Arg<const R*>::get(vm, -1);
        if (r) {
            bool known = false;
            HSQOBJECT h;
            sq_getstackobj(vm, -1, &h);
            for (const HSQOBJECT& o : pinned_ramps)
                if (o._type == h._type && o._unVal.raw == h._unVal.raw) known = true;
            if (!known) {
                sq_addref(vm, &h);
                pinned_ramps.push_back(h);
            }
        }
        sq_settop(vm, top);
        return r;
    } catch (...) {
        sq_settop(vm, top);
        throw;
    }
}

D3dColor read_color(const SqObject& settings) {
    HSQUIRRELVM vm = settings.getVM();
    const SQInteger top = sq_gettop(vm);
    push_slot(settings, "color");
    try {
        D3dColor c;
        if (sq_gettype(vm, -1) == OT_INTEGER) {
            SQInteger i = 0;
            sq_getinteger(vm, -1, &i);
            c = D3dColor(uint32_t(i));
        } else {
            c = vec4f_to_color(get_loose_vec4f(vm, -1));
        }
        sq_settop(vm, top);
        return c;
    } catch (...) {
        sq_settop(vm, top);
        throw;
    }
}

using AddFn = void (*)(const vec4f&, const vec4f&, const vec4f&, float, float, float, D3dColor,
                       float, float, float, float, float, const ColorRamp*, const FloatRamp*,
                       const FloatRamp*);

template <AddFn add>
SQInteger script_add_particle(HSQUIRRELVM vm) {
    const vec4f pos = Arg<vec4f>::get(vm, 2);
    const vec4f vel = Arg<vec4f>::get(vm, 3);
    const SqObject s = Arg<SqObject>::get(vm, 4);
    const vec4f accel = get_slot<vec4f>(s, "accel");
    const float life = get_slot<float>(s, "life");
    const float delay = get_slot<float>(s, "delay");
    const float size = get_slot<float>(s, "size");
    const float mapU = get_slot<float>(s, "mapU");
    const float mapV = get_slot<float>(s, "mapV");
    const float mapSize = get_slot<float>(s, "mapSize");
    const float startRoll = get_slot<float>(s, "startRoll");
    const float rollScale = get_slot<float>(s, "rollScale");
    const ColorRamp* colorAnim = read_ramp<ColorRamp>(s, "colorAnim");
    const FloatRamp* sizeAnim = read_ramp<FloatRamp>(s, "sizeAnim");
    const FloatRamp* rollAnim = read_ramp<FloatRamp>(s, "rollAnim");
    const D3dColor color = read_color(s);
    add(pos, vel, accel, life, delay, size, color, mapU, mapV, mapSize, startRoll, rollScale,
        colorAnim, sizeAnim, rollAnim);
    return 0;
}

// Trails for the script's own sparks.
int script_add_trail(vec4f pos, vec4f vel, vec4f side, float width, AnyColor color) {
    return add_trail_fx(pos, vel, side, width, vec4f_to_color(color.v));
}
void script_add_trail_point(int index, vec4f pos, vec4f vel, vec4f side) {
    add_trail_point(index, pos, vel, side);
}
void script_set_trail_color(int index, AnyColor color) {
    set_trail_color(index, vec4f_to_color(color.v));
}
int script_reset_count() {
    return fx_reset_count;
}

void show_fx_error(const char* desc) {
    char text[1100];
    snprintf(text, sizeof(text), "Error in fx script:\n%s", desc ? desc : "unknown error");
    debug("%s", text);
    set_error_message(text);
}

// A failed script call only says so; what went wrong is the VM's last error.
void show_call_error(const SquirrelError& e) {
    const bool generic = e.desc && strcmp(e.desc, "SqFunc<> call failed") == 0;
    show_fx_error(generic && fx_vm.vm ? SquirrelError(fx_vm.vm).desc : e.desc);
}

void bind_update() {
    script_update_fx.bind(fx_vm.vm, "update_fx");
}
} // namespace

HSQUIRRELVM fx_script_vm() {
    return fx_vm.vm;
}

void init_fx_script() {
    if (!fx_vm.init(1024)) fatal("error creating fx script VM");
    register_ramp_classes(fx_vm.vm);
    register_common_script(fx_vm.vm);
    register_raw_function(fx_vm.vm, "add_blend_particle", script_add_particle<add_blend_particle>);
    register_raw_function(fx_vm.vm, "add_glow_particle", script_add_particle<add_glow_particle>);
    register_function(fx_vm.vm, "add_trail_fx", script_add_trail);
    register_function(fx_vm.vm, "add_trail_point", script_add_trail_point);
    register_function(fx_vm.vm, "set_trail_color", script_set_trail_color);
    register_function(fx_vm.vm, "stop_trail_fx", stop_trail_fx);
    register_function(fx_vm.vm, "kill_trail_fx", kill_trail_fx);
    register_function(fx_vm.vm, "fx_reset_count", script_reset_count);
    fx_reset_hook = release_pinned_ramps;
    bool ok = false;
    try {
        ok = fx_vm.include("test/fx.nut");
        if (!ok) throw SquirrelError(fx_vm.vm);
    } catch (const SquirrelError& e) {
        show_fx_error(e.desc);
    }
    if (ok) bind_update();
}

void close_fx_script() {
    script_update_fx.release();
    release_pinned_ramps();
    if (fx_reset_hook == release_pinned_ramps) fx_reset_hook = nullptr;
    fx_vm.close();
    fx_vm.files.clear();
}

void update_fx_script(float dt) {
    if (script_update_fx.isNull()) return;
    try {
        script_update_fx(dt);
    } catch (const SquirrelError& e) {
        // Once is enough: a broken update_fx rests until the script is edited.
        script_update_fx.release();
        show_call_error(e);
    }
}

void reload_fx_script() {
    if (!fx_vm.vm || !fx_vm.changed()) return;
    set_error_message(nullptr);
    reset_common_fx();
    try {
        if (!fx_vm.reload(true)) throw SquirrelError(fx_vm.vm);
        bind_update();
    } catch (const SquirrelError& e) {
        show_fx_error(e.desc);
    }
}

void call_fx_script(const char* name, const vec4f& a, const vec4f& b, const vec4f& c, float value) {
    if (!fx_vm.vm) return;
    try {
        SqFunc<void(vec4f, vec4f, vec4f, float)> fn;
        fn.bind(fx_vm.vm, name ? name : "");
        if (fn.isNull()) {
            static char msg[512]; // outlives the throw
            snprintf(msg, sizeof(msg), "No '%s' function in script", name ? name : "");
            throw SquirrelError(msg);
        }
        fn(a, b, c, value);
    } catch (const SquirrelError& e) {
        show_call_error(e);
    }
}
