#include "script/sqbind.h"

#include "platform/file_stream.h"
#include "platform/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sqbind {

namespace {
// Error texts taken from a VM outlive the VM's own copy: the next error or the VM's
// close would free it while the message is still on screen.
const char* keep_error_text(const char* text) {
    static char ring[8][1024];
    static int next = 0;
    char* slot = ring[next];
    next = (next + 1) % 8;
    snprintf(slot, sizeof(ring[0]), "%s", text);
    return slot;
}
} // namespace

SquirrelError::SquirrelError(HSQUIRRELVM vm) : desc("unknown error") {
    SQInteger top = sq_gettop(vm);
    sq_getlasterror(vm);
    const SQChar* s = nullptr;
    if (SQ_SUCCEEDED(sq_getstring(vm, -1, &s)) && s) desc = keep_error_text(s);
    sq_settop(vm, top);
}

// ---------------------------------------------------------------- handles

SqObject& SqObject::operator=(const SqObject& o) {
    if (this == &o) return *this;
    if (o.vm) {
        HSQOBJECT copy = o.obj;
        sq_addref(o.vm, &copy);
        reset();
        obj = copy;
        vm = o.vm;
    } else {
        reset();
    }
    return *this;
}

void SqObject::reset() {
    if (vm) sq_release(vm, &obj);
    sq_resetobject(&obj);
    vm = nullptr;
}

void SqObject::fromStack(HSQUIRRELVM v, SQInteger idx) {
    HSQOBJECT o;
    if (SQ_FAILED(sq_getstackobj(v, idx, &o))) throw_type_error();
    sq_addref(v, &o);
    reset();
    obj = o;
    vm = v;
}

void SqWeakObject::set(HSQUIRRELVM v, SQInteger idx) {
    if (sq_gettype(v, idx) == OT_WEAKREF) {
        ref.fromStack(v, idx);
        return;
    }
    sq_push(v, idx);
    sq_weakref(v, -1);
    ref.fromStack(v, -1);
    sq_pop(v, 2);
}

bool SqWeakObject::push(HSQUIRRELVM v) const {
    if (ref.isEmpty()) return false;
    ref.push(v);
    if (SQ_FAILED(sq_getweakrefval(v, -1))) {
        sq_poptop(v);
        return false;
    }
    sq_remove(v, -2);
    if (sq_gettype(v, -1) == OT_NULL) { // the referent died
        sq_poptop(v);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- classes and instances

SqObject create_class(HSQUIRRELVM vm, const char* name, const char* base, SQUserPointer tag) {
    SqObject cls;
    sq_pushroottable(vm);
    sq_pushstring(vm, name, -1);
    bool has_base = false;
    if (base) {
        sq_pushstring(vm, base, -1);
        if (SQ_SUCCEEDED(sq_get(vm, -3))) {
            has_base = true;
        } else {
            fatal("no base class '%s' binded for '%s'", base, name);
        }
    }
    if (SQ_FAILED(sq_newclass(vm, has_base))) {
        sq_pop(vm, 2);
        fatal("can't create class '%s'", name);
    }
    cls.fromStack(vm, -1);
    if (SQ_FAILED(sq_settypetag(vm, -1, tag))) {
        sq_pop(vm, 3);
        fatal("can't set type tag for class '%s'", name);
    }
    if (SQ_FAILED(sq_newslot(vm, -3, SQFalse))) {
        sq_poptop(vm);
        fatal("can't register class '%s' in root table", name);
    }
    sq_poptop(vm);
    sq_pushregistrytable(vm);
    sq_pushuserpointer(vm, tag);
    cls.push(vm);
    if (SQ_FAILED(sq_newslot(vm, -3, SQFalse)))
        fatal("can't register class '%s' in registry table", name);
    sq_poptop(vm);
    return cls;
}

bool init_instance(void* object, HSQUIRRELVM vm, SQRELEASEHOOK hook) {
    if (SQ_FAILED(sq_setinstanceup(vm, 1, object))) {
        sq_poptop(vm);
        debug("failed to init scripted object %p", object);
        throw SquirrelError("can't set scripted instance user pointer");
    }
    if (hook) sq_setreleasehook(vm, 1, hook);
    return true;
}

bool push_instance(HSQUIRRELVM vm, void* object, SQUserPointer tag, const char* class_name,
                   SQRELEASEHOOK hook) {
    if (!object) {
        sq_pushnull(vm);
        return true;
    }
    SQInteger top = sq_gettop(vm);
    const char* reason = nullptr;
    sq_pushregistrytable(vm);
    sq_pushuserpointer(vm, tag);
    if (SQ_FAILED(sq_get(vm, -2))) {
        reason = "can't get script class";
    } else {
        sq_remove(vm, -2);
        if (SQ_FAILED(sq_createinstance(vm, -1))) {
            reason = "can't create script instance";
        } else {
            sq_remove(vm, -2);
            if (SQ_FAILED(sq_setinstanceup(vm, -1, object))) {
                reason = "can't set instance user pointer";
            } else if (hook) {
                sq_setreleasehook(vm, -1, hook);
            }
        }
    }
    if (reason) {
        sq_settop(vm, top);
        debug("failed to create %s", class_name);
        throw SquirrelError(reason);
    }
    return true;
}

SQInteger method_prologue(HSQUIRRELVM vm, SQUserPointer tag, SQUserPointer* self, void* stored,
                          size_t size) {
    if (SQ_FAILED(sq_getinstanceup(vm, 1, self, tag)) || !*self)
        return sq_throwerror(vm, "invalid 'this' in C++ method call");
    SQUserPointer block = nullptr, block_tag = nullptr;
    if (SQ_FAILED(sq_getuserdata(vm, -1, &block, &block_tag)) || !block)
        return sq_throwerror(vm, "no method stored for C++ call");
    memcpy(stored, block, size);
    sq_poptop(vm);
    return 0;
}

void ClassBinder::ud_failed() {
    assert_failed(__FILE__, __LINE__, "ud");
}

ClassBinder& ClassBinder::raw(const char* mname, SQFUNCTION fn, bool is_static) {
    cls.push(vm);
    sq_pushstring(vm, mname, -1);
    sq_newclosure(vm, fn, 0);
    sq_setnativeclosurename(vm, -1, mname);
    sq_newslot(vm, -3, is_static ? SQTrue : SQFalse);
    sq_poptop(vm);
    return *this;
}

void register_raw_function(HSQUIRRELVM vm, const char* name, SQFUNCTION fn) {
    sq_pushroottable(vm);
    sq_pushstring(vm, name, -1);
    sq_newclosure(vm, fn, 0);
    sq_setnativeclosurename(vm, -1, name);
    sq_newslot(vm, -3, SQFalse);
    sq_poptop(vm);
}

// ---------------------------------------------------------------- readers

void throw_type_error() {
    throw SquirrelError("sq_get*() failed (type error)");
}

void* get_instance(HSQUIRRELVM vm, SQInteger idx, SQUserPointer tag) {
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(vm, idx, &p, tag)) || !p)
        throw SquirrelError("getInst: invalid argument type");
    return p;
}

vec4f get_loose_vec4f(HSQUIRRELVM vm, SQInteger idx) {
    SQObjectType t = sq_gettype(vm, idx);
    if (t == OT_INTEGER || t == OT_FLOAT) return make4f(Arg<float>::get(vm, idx));
    if (t == OT_ARRAY) {
        float lanes[4];
        if (idx < 0) idx = sq_gettop(vm) + idx + 1;
        for (int i = 0; i < 4; ++i) {
            sq_pushinteger(vm, i);
            if (SQ_FAILED(sq_get(vm, idx))) throw SquirrelError(vm);
            try {
                lanes[i] = Arg<float>::get(vm, -1);
            } catch (...) {
                sq_poptop(vm);
                throw;
            }
            sq_poptop(vm);
        }
        return make4f(lanes[0], lanes[1], lanes[2], lanes[3]);
    }
    return Arg<vec4f>::get(vm, idx);
}

vec4f get_loose_color(HSQUIRRELVM vm, SQInteger idx) {
    if (sq_gettype(vm, idx) == OT_INTEGER) {
        SQInteger c = 0;
        sq_getinteger(vm, idx, &c);
        return color_to_vec4f(uint32_t(c));
    }
    return get_loose_vec4f(vm, idx);
}

void push_slot(const SqObject& obj, const char* name) {
    HSQUIRRELVM vm = obj.getVM();
    obj.push(vm);
    sq_pushstring(vm, name, -1);
    if (SQ_FAILED(sq_get(vm, -2))) {
        sq_poptop(vm);
        debug("getSlot '%s' failed", name);
        throw SquirrelError(vm);
    }
}

// ---------------------------------------------------------------- VM set-up and error output

void script_print(HSQUIRRELVM, const SQChar* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vdebug(fmt, args);
    va_end(args);
    fflush(stdout);
}

namespace {
SQPRINTFUNCTION printer(HSQUIRRELVM vm) {
    return sq_getprintfunc(vm);
}

const char* or_unknown(const char* s) {
    return s ? s : "unknown";
}

void print_local(SQPRINTFUNCTION pf, HSQUIRRELVM vm, const char* name) {
    switch (sq_gettype(vm, -1)) {
    case OT_NULL:
        pf(vm, "[%s] NULL\n", name);
        break;
    case OT_INTEGER: {
        SQInteger i = 0;
        sq_getinteger(vm, -1, &i);
        pf(vm, "[%s] %lld\n", name, (long long)i);
        break;
    }
    case OT_FLOAT: {
        SQFloat f = 0;
        sq_getfloat(vm, -1, &f);
        pf(vm, "[%s] %.14g\n", name, double(f));
        break;
    }
    case OT_USERPOINTER:
        pf(vm, "[%s] USERPOINTER\n", name);
        break;
    case OT_STRING: {
        const SQChar* s = "";
        sq_getstring(vm, -1, &s);
        pf(vm, "[%s] \"%s\"\n", name, s);
        break;
    }
    case OT_TABLE:
        pf(vm, "[%s] TABLE\n", name);
        break;
    case OT_ARRAY:
        pf(vm, "[%s] ARRAY\n", name);
        break;
    case OT_CLOSURE:
        pf(vm, "[%s] CLOSURE\n", name);
        break;
    case OT_NATIVECLOSURE:
        pf(vm, "[%s] NATIVECLOSURE\n", name);
        break;
    case OT_GENERATOR:
        pf(vm, "[%s] GENERATOR\n", name);
        break;
    case OT_USERDATA:
        pf(vm, "[%s] USERDATA\n", name);
        break;
    case OT_CLASS:
        pf(vm, "[%s] CLASS\n", name);
        break;
    case OT_INSTANCE:
        pf(vm, "[%s] INSTANCE\n", name);
        break;
    case OT_WEAKREF:
        pf(vm, "[%s] WEAKREF\n", name);
        break;
    case OT_THREAD:
        pf(vm, "[%s] THREAD\n", name);
        break;
    case OT_BOOL: {
        SQBool b = 0;
        sq_getbool(vm, -1, &b);
        pf(vm, "[%s] %s\n", name, b ? "true" : "false");
        break;
    }
    default:
        pf(vm, "[%s] ?\n", name);
        break;
    }
}
} // namespace

void compile_error_handler(HSQUIRRELVM vm, const SQChar* desc, const SQChar* source, SQInteger line,
                           SQInteger column) {
    if (SQPRINTFUNCTION pf = printer(vm))
        pf(vm, "bin/%s(%d,%d): error: %s\n", or_unknown(source), int(line), int(column),
           or_unknown(desc));
}

SQInteger runtime_error_handler(HSQUIRRELVM vm) {
    SQPRINTFUNCTION pf = printer(vm);
    if (!pf) return 0;
    const SQChar* msg = "unknown";
    if (sq_gettop(vm) >= 2) {
        const SQChar* s = nullptr;
        if (sq_gettype(vm, 2) == OT_STRING && SQ_SUCCEEDED(sq_getstring(vm, 2, &s))) msg = s;
    }
    pf(vm, "\nCALLSTACK\n");
    SQStackInfos si;
    for (SQInteger level = 1; SQ_SUCCEEDED(sq_stackinfos(vm, level, &si)); ++level) {
        if (level == 1)
            pf(vm, "bin/%s(%d): ERROR: %s (in %s())\n", or_unknown(si.source), int(si.line), msg,
               or_unknown(si.funcname));
        else
            pf(vm, "bin/%s(%d): function %s() (CALLSTACK)\n", or_unknown(si.source), int(si.line),
               or_unknown(si.funcname));
    }
    pf(vm, "\nLOCALS\n");
    for (SQUnsignedInteger level = 0; level < 20; ++level) {
        for (SQUnsignedInteger seq = 0;; ++seq) {
            const SQChar* name = sq_getlocal(vm, level, seq);
            if (!name) break;
            print_local(pf, vm, name);
            sq_poptop(vm);
        }
    }
    return 0;
}

HSQUIRRELVM open_vm(SQInteger initial_stack) {
    HSQUIRRELVM vm = sq_open(initial_stack);
    if (!vm) return nullptr;
    sq_setprintfunc(vm, script_print, script_print);
    sq_setcompilererrorhandler(vm, compile_error_handler);
    sq_newclosure(vm, runtime_error_handler, 0);
    sq_seterrorhandler(vm);
    return vm;
}

void close_vm(HSQUIRRELVM vm) {
    if (!vm) return;
    sq_collectgarbage(vm);
    sq_close(vm);
}

bool compile_file(HSQUIRRELVM vm, const char* path) {
    FILE* f = open_regular_file(path);
    if (!f) return false;
    bool ok = fseek(f, 0, SEEK_END) == 0;
    long size = ok ? ftell(f) : -1;
    ok = ok && size >= 0 && fseek(f, 0, SEEK_SET) == 0;
    char* buf = ok ? static_cast<char*>(malloc(size_t(size) + 1)) : nullptr;
    ok = buf && fread(buf, 1, size_t(size), f) == size_t(size);
    fclose(f);
    if (ok) ok = SQ_SUCCEEDED(sq_compilebuffer(vm, buf, size, path, SQTrue));
    free(buf);
    return ok;
}

bool run_file(HSQUIRRELVM vm, const char* path) {
    if (!compile_file(vm, path)) return false;
    sq_pushroottable(vm);
    bool ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue));
    sq_poptop(vm);
    return ok;
}

} // namespace sqbind
