// The public C API over the interpreter.
#include "sqopcodes.h"
#include "sqvm.h"

#include <algorithm>
#include <cstdio>

#define STK(i) sq_stk(v, i)

static SQRESULT api_error(SQVM* v, const char* msg) {
    v->lasterror = sq_mkstr(v->shared, msg);
    return SQ_ERROR;
}

template <typename F>
static SQRESULT guarded(SQVM* v, F f) {
    try {
        return f();
    } catch (SQException& e) {
        v->lasterror = e.value;
        return SQ_ERROR;
    }
}

extern "C" {

HSQUIRRELVM sq_open(SQInteger initialstacksize) {
    SQSharedState* ss = sq_shared_new();
    SQVM* v = new SQVM();
    v->kind = OT_THREAD;
    v->ss = ss;
    v->refs = 1;
    v->shared = ss;
    v->ownsShared = true;
    (*v->cur).stack.resize(size_t(initialstacksize > 64 ? initialstacksize : 64));
    ss->vms.push_back(v);
    ss->roottable = Value(OT_TABLE, sq_table_new(ss));
    ss->registry = Value(OT_TABLE, sq_table_new(ss));
    ss->consttable = Value(OT_TABLE, sq_table_new(ss));
    sq_init_delegates(v);
    sq_register_baselib(v);
    return v;
}

HSQUIRRELVM sq_newthread(HSQUIRRELVM friendvm, SQInteger initialstacksize) {
    SQSharedState* ss = friendvm->shared;
    SQVM* t = new SQVM();
    t->shared = ss;
    t->es.stack.resize(size_t(initialstacksize > 64 ? initialstacksize : 64));
    t->errorhandler = friendvm->errorhandler;
    sq_gc_link(ss, t, OT_THREAD);
    ss->vms.push_back(t);
    sq_vpush(friendvm, Value(OT_THREAD, t));
    return t;
}

void sq_close(HSQUIRRELVM v) {
    if (!v->ownsShared) return;
    SQSharedState* ss = v->shared;
    for (auto& s : (*v->cur).stack) s.setNull();
    (*v->cur).frames.clear();
    (*v->cur).top = 0;
    v->lasterror.setNull();
    v->errorhandler.setNull();
    ss->closing = true;
    ss->extrefs.clear();
    sq_gc_collect(ss);
    ss->roottable.setNull();
    ss->registry.setNull();
    ss->consttable.setNull();
    for (auto& d : ss->delegates) d.setNull();
    ss->weakrefDelegate.setNull();
    ss->threadDelegate.setNull();
    sq_gc_collect(ss);
    for (auto& m : ss->metanames) m.setNull();
    ss->ctorName.setNull();
    delete v;
    sq_shared_free(ss);
}

void sq_seterrorhandler(HSQUIRRELVM v) {
    v->errorhandler = STK(-1);
    sq_vpop(v, 1);
}
void sq_setforeignptr(HSQUIRRELVM v, SQUserPointer p) {
    v->foreign = p;
}
SQUserPointer sq_getforeignptr(HSQUIRRELVM v) {
    return v->foreign;
}
void sq_setprintfunc(HSQUIRRELVM v, SQPRINTFUNCTION printfunc, SQPRINTFUNCTION errfunc) {
    v->shared->printfn = printfunc;
    v->shared->errfn = errfunc;
}
SQPRINTFUNCTION sq_getprintfunc(HSQUIRRELVM v) {
    return v->shared->printfn;
}
SQPRINTFUNCTION sq_geterrorfunc(HSQUIRRELVM v) {
    return v->shared->errfn;
}
SQInteger sq_getversion() {
    return SQUIRREL_VERSION_NUMBER;
}
SQInteger sq_getvmstate(HSQUIRRELVM v) {
    return v->state == VM_SUSPENDED
               ? SQ_VMSTATE_SUSPENDED
               : (v->state == VM_RUNNING ? SQ_VMSTATE_RUNNING : SQ_VMSTATE_IDLE);
}
SQRESULT sq_suspendvm(HSQUIRRELVM v) {
    if (v->ownsShared) return api_error(v, "cannot suspend the main vm");
    if (v->execDepth > 1) return api_error(v, "cannot suspend through native calls/metamethods");
    v->suspendRequested = true;
    return SQ_SUSPEND_FLAG;
}
SQRESULT sq_wakeupvm(HSQUIRRELVM v, SQBool, SQBool, SQBool, SQBool) {
    return api_error(v, "wakeup through the API is not supported");
}

SQRESULT sq_compilebuffer(HSQUIRRELVM v, const SQChar* s, SQInteger size, const SQChar* sourcename,
                          SQBool raiseerror) {
    try {
        Value c = sq_compile(v, s, size, sourcename, raiseerror != 0);
        sq_vpush(v, c);
        return SQ_OK;
    } catch (SQException& e) {
        v->lasterror = e.value;
        return SQ_ERROR;
    }
}
void sq_enabledebuginfo(HSQUIRRELVM v, SQBool enable) {
    v->shared->debuginfo = enable != 0;
}
void sq_notifyallexceptions(HSQUIRRELVM, SQBool) {}
void sq_setcompilererrorhandler(HSQUIRRELVM v, SQCOMPILERERROR f) {
    v->shared->compilererr = f;
}

// ---------------------------------------------------------------- stack

void sq_push(HSQUIRRELVM v, SQInteger idx) {
    Value val = STK(idx);
    sq_vpush(v, val);
}
void sq_pop(HSQUIRRELVM v, SQInteger n) {
    sq_vpop(v, n);
}
void sq_poptop(HSQUIRRELVM v) {
    sq_vpop(v, 1);
}
void sq_remove(HSQUIRRELVM v, SQInteger idx) {
    SQInteger a = sq_absidx(v, idx);
    ExecState& es = (*v->cur);
    if (a < 0 || a >= es.top) return;
    for (SQInteger i = a; i < es.top - 1; ++i)
        es.stack[size_t(i)] = std::move(es.stack[size_t(i + 1)]);
    es.stack[size_t(--es.top)].setNull();
}
SQInteger sq_gettop(HSQUIRRELVM v) {
    return (*v->cur).top - ((*v->cur).frames.empty() ? 0 : (*v->cur).frames.back().base);
}
void sq_settop(HSQUIRRELVM v, SQInteger newtop) {
    SQInteger top = sq_gettop(v);
    if (top > newtop)
        sq_vpop(v, top - newtop);
    else
        while (top++ < newtop) sq_vpush(v, Value());
}
SQRESULT sq_reservestack(HSQUIRRELVM v, SQInteger nsize) {
    try {
        sq_ensure_stack((*v->cur), (*v->cur).top + nsize);
    } catch (SQException&) {
        return api_error(v, "stack overflow");
    }
    return SQ_OK;
}
SQInteger sq_cmp(HSQUIRRELVM v) {
    try {
        return sq_compare(v, STK(-2), STK(-1));
    } catch (SQException& e) {
        v->lasterror = e.value;
        return 0;
    }
}
void sq_move(HSQUIRRELVM dest, HSQUIRRELVM src, SQInteger idx) {
    sq_vpush(dest, sq_stk(src, idx));
}

// ---------------------------------------------------------------- creation

SQUserPointer sq_newuserdata(HSQUIRRELVM v, SQUnsignedInteger size) {
    SQUserData* u = sq_userdata_new(v->shared, SQInteger(size));
    sq_vpush(v, Value(OT_USERDATA, u));
    return u->data;
}
void sq_newtable(HSQUIRRELVM v) {
    sq_vpush(v, Value(OT_TABLE, sq_table_new(v->shared)));
}
void sq_newtableex(HSQUIRRELVM v, SQInteger) {
    sq_newtable(v);
}
void sq_newarray(HSQUIRRELVM v, SQInteger size) {
    sq_vpush(v, Value(OT_ARRAY, sq_array_new(v->shared, size < 0 ? 0 : size)));
}
void sq_newclosure(HSQUIRRELVM v, SQFUNCTION func, SQUnsignedInteger nfreevars) {
    SQNativeClosure* nc = sq_nclosure_new(v->shared, func, SQInteger(nfreevars));
    Value c(OT_NATIVECLOSURE, nc);
    for (SQUnsignedInteger i = 0; i < nfreevars; ++i)
        nc->outers[size_t(i)] = STK(-SQInteger(nfreevars) + SQInteger(i));
    sq_vpop(v, SQInteger(nfreevars));
    sq_vpush(v, c);
}

static uint32_t mask_of(char c) {
    switch (c) {
    case 'o':
        return _RT_NULL;
    case 'i':
        return _RT_INTEGER;
    case 'f':
        return _RT_FLOAT;
    case 'n':
        return _RT_INTEGER | _RT_FLOAT;
    case 's':
        return _RT_STRING;
    case 't':
        return _RT_TABLE;
    case 'a':
        return _RT_ARRAY;
    case 'u':
        return _RT_USERDATA;
    case 'c':
        return _RT_CLOSURE | _RT_NATIVECLOSURE;
    case 'g':
        return _RT_GENERATOR;
    case 'p':
        return _RT_USERPOINTER;
    case 'v':
        return _RT_THREAD;
    case 'x':
        return _RT_INSTANCE;
    case 'y':
        return _RT_CLASS;
    case 'b':
        return _RT_BOOL;
    case 'w':
        return _RT_WEAKREF;
    case '.':
        return 0xFFFFFFFF;
    default:
        return 0;
    }
}

SQRESULT sq_setparamscheck(HSQUIRRELVM v, SQInteger nparamscheck, const SQChar* typemask) {
    Value& c = STK(-1);
    if (c.type() != OT_NATIVECLOSURE) return api_error(v, "native closure expected");
    SQNativeClosure* nc = c.ncl();
    nc->nparamscheck = nparamscheck;
    nc->typecheck.clear();
    if (typemask) {
        uint32_t cur = 0;
        for (const char* p = typemask;; ++p) {
            if (*p == '|') continue;
            if (*p == 0 || (p != typemask && p[-1] != '|' && cur)) {
                if (cur) nc->typecheck.push_back(cur);
                cur = 0;
                if (*p == 0) break;
            }
            uint32_t m = mask_of(*p);
            if (!m) return api_error(v, "invalid typemask");
            cur = (m == 0xFFFFFFFF) ? m : (cur == 0xFFFFFFFF ? m : cur | m);
        }
    }
    return SQ_OK;
}
SQRESULT sq_bindenv(HSQUIRRELVM v, SQInteger idx) {
    Value f = STK(idx);
    Value env = STK(-1);
    if (f.type() != OT_CLOSURE && f.type() != OT_NATIVECLOSURE)
        return api_error(v, "the target is not a closure");
    if (!sq_rc(env.type())) return api_error(v, "invalid environment");
    SQWeakRef* w = sq_weakref_of(v->shared, env);
    Value keepw(OT_WEAKREF, w);
    Value nf;
    if (f.type() == OT_CLOSURE) {
        SQClosure* src = f.clo();
        SQClosure* c = sq_closure_new(v->shared, src->proto);
        nf = Value(OT_CLOSURE, c);
        for (SQOuter* o : src->outers) {
            sq_incref(o);
            c->outers.push_back(o);
        }
        c->defaults = src->defaults;
        if (src->base) {
            c->base = src->base;
            sq_incref(c->base);
        }
        c->env = w;
        sq_incref(w);
    } else {
        SQNativeClosure* src = f.ncl();
        SQNativeClosure* c = sq_nclosure_new(v->shared, src->func, 0);
        nf = Value(OT_NATIVECLOSURE, c);
        c->outers = src->outers;
        c->typecheck = src->typecheck;
        c->nparamscheck = src->nparamscheck;
        c->name = src->name;
        c->env = w;
        sq_incref(w);
    }
    sq_vpop(v, 1);
    sq_vpush(v, nf);
    return SQ_OK;
}
SQRESULT sq_setclosureroot(HSQUIRRELVM v, SQInteger) {
    return api_error(v, "not supported");
}
void sq_pushstring(HSQUIRRELVM v, const SQChar* s, SQInteger len) {
    if (!s)
        sq_vpush(v, Value());
    else
        sq_vpush(v, sq_mkstr(v->shared, s, len));
}
void sq_pushfloat(HSQUIRRELVM v, SQFloat f) {
    sq_vpush(v, Value(f));
}
void sq_pushinteger(HSQUIRRELVM v, SQInteger n) {
    sq_vpush(v, Value(n));
}
void sq_pushbool(HSQUIRRELVM v, SQBool b) {
    sq_vpush(v, Value(b != 0));
}
void sq_pushuserpointer(HSQUIRRELVM v, SQUserPointer p) {
    Value u;
    u._type = OT_USERPOINTER;
    u._unVal.pUserPointer = p;
    sq_vpush(v, u);
}
void sq_pushnull(HSQUIRRELVM v) {
    sq_vpush(v, Value());
}
void sq_pushthread(HSQUIRRELVM v, HSQUIRRELVM thread) {
    sq_vpush(v, Value(OT_THREAD, thread));
}
SQObjectType sq_gettype(HSQUIRRELVM v, SQInteger idx) {
    return STK(idx).type();
}
SQRESULT sq_typeof(HSQUIRRELVM v, SQInteger idx) {
    try {
        Value o = STK(idx);
        sq_vpush(v, sq_typeof_op(v, o));
        return SQ_OK;
    } catch (SQException& e) {
        v->lasterror = e.value;
        return SQ_ERROR;
    }
}
SQInteger sq_getsize(HSQUIRRELVM v, SQInteger idx) {
    Value& o = STK(idx);
    switch (o.type()) {
    case OT_STRING:
        return o.str()->len;
    case OT_TABLE:
        return o.tab()->count;
    case OT_ARRAY:
        return SQInteger(o.arr()->vals.size());
    case OT_USERDATA:
        return o.ud()->size;
    case OT_INSTANCE:
        return o.ins()->cls->udsize;
    case OT_CLASS:
        return o.cls()->udsize;
    default:
        return api_error(v, "type not supported");
    }
}
SQHash sq_gethash(HSQUIRRELVM v, SQInteger idx) {
    Value& o = STK(idx);
    return o.type() == OT_STRING ? o.str()->hash : SQHash(o._unVal.raw);
}
SQRESULT sq_getbase(HSQUIRRELVM v, SQInteger idx) {
    Value o = STK(idx);
    if (o.type() != OT_CLASS) return api_error(v, "the object is not a class");
    if (o.cls()->base)
        sq_vpush(v, Value(OT_CLASS, o.cls()->base));
    else
        sq_vpush(v, Value());
    return SQ_OK;
}
SQBool sq_instanceof(HSQUIRRELVM v) {
    Value inst = STK(-2), cls = STK(-1);
    if (inst.type() != OT_INSTANCE || cls.type() != OT_CLASS) return SQFalse;
    for (SQClass* c = inst.ins()->cls; c; c = c->base)
        if (c == cls.cls()) return SQTrue;
    return SQFalse;
}
SQRESULT sq_tostring(HSQUIRRELVM v, SQInteger idx) {
    try {
        Value o = STK(idx);
        sq_vpush(v, sq_tostring(v, o));
        return SQ_OK;
    } catch (SQException& e) {
        v->lasterror = e.value;
        return SQ_ERROR;
    }
}
void sq_tobool(HSQUIRRELVM v, SQInteger idx, SQBool* b) {
    *b = is_false(STK(idx)) ? SQFalse : SQTrue;
}
SQRESULT sq_getstring(HSQUIRRELVM v, SQInteger idx, const SQChar** c) {
    Value& o = STK(idx);
    if (o.type() != OT_STRING) return SQ_ERROR;
    *c = o.str()->data;
    return SQ_OK;
}
SQRESULT sq_getinteger(HSQUIRRELVM v, SQInteger idx, SQInteger* i) {
    Value& o = STK(idx);
    if (o.type() == OT_INTEGER || o.type() == OT_FLOAT)
        *i = num_i(o);
    else if (o.type() == OT_BOOL)
        *i = o.b() ? 1 : 0;
    else
        return SQ_ERROR;
    return SQ_OK;
}
SQRESULT sq_getfloat(HSQUIRRELVM v, SQInteger idx, SQFloat* f) {
    Value& o = STK(idx);
    if (!sq_isnumeric(o)) return SQ_ERROR;
    *f = num_f(o);
    return SQ_OK;
}
SQRESULT sq_getbool(HSQUIRRELVM v, SQInteger idx, SQBool* b) {
    Value& o = STK(idx);
    if (o.type() != OT_BOOL) return SQ_ERROR;
    *b = o.b() ? SQTrue : SQFalse;
    return SQ_OK;
}
SQRESULT sq_getthread(HSQUIRRELVM v, SQInteger idx, HSQUIRRELVM* thread) {
    Value& o = STK(idx);
    if (o.type() != OT_THREAD) return SQ_ERROR;
    *thread = o.thr();
    return SQ_OK;
}
SQRESULT sq_getuserpointer(HSQUIRRELVM v, SQInteger idx, SQUserPointer* p) {
    Value& o = STK(idx);
    if (o.type() != OT_USERPOINTER) return SQ_ERROR;
    *p = o._unVal.pUserPointer;
    return SQ_OK;
}
SQRESULT sq_getuserdata(HSQUIRRELVM v, SQInteger idx, SQUserPointer* p, SQUserPointer* typetag) {
    Value& o = STK(idx);
    if (o.type() != OT_USERDATA) return SQ_ERROR;
    *p = o.ud()->data;
    if (typetag) *typetag = o.ud()->typetag;
    return SQ_OK;
}
SQRESULT sq_settypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer typetag) {
    Value& o = STK(idx);
    if (o.type() == OT_CLASS)
        o.cls()->typetag = typetag;
    else if (o.type() == OT_USERDATA)
        o.ud()->typetag = typetag;
    else
        return api_error(v, "invalid object type");
    return SQ_OK;
}
SQRESULT sq_getobjtypetag(const HSQOBJECT* o, SQUserPointer* typetag) {
    switch (o->_type) {
    case OT_CLASS:
        *typetag = reinterpret_cast<SQClass*>(o->_unVal.pRefCounted)->typetag;
        return SQ_OK;
    case OT_INSTANCE:
        *typetag = reinterpret_cast<SQInstance*>(o->_unVal.pRefCounted)->cls->typetag;
        return SQ_OK;
    case OT_USERDATA:
        *typetag = reinterpret_cast<SQUserData*>(o->_unVal.pRefCounted)->typetag;
        return SQ_OK;
    default:
        return SQ_ERROR;
    }
}
SQRESULT sq_gettypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer* typetag) {
    Value o = STK(idx);
    if (SQ_FAILED(sq_getobjtypetag(&o, typetag))) return api_error(v, "invalid object type");
    return SQ_OK;
}
void sq_setreleasehook(HSQUIRRELVM v, SQInteger idx, SQRELEASEHOOK hook) {
    Value& o = STK(idx);
    if (o.type() == OT_INSTANCE)
        o.ins()->hook = hook;
    else if (o.type() == OT_CLASS)
        o.cls()->hook = hook;
    else if (o.type() == OT_USERDATA)
        o.ud()->hook = hook;
}
SQRELEASEHOOK sq_getreleasehook(HSQUIRRELVM v, SQInteger idx) {
    Value& o = STK(idx);
    if (o.type() == OT_INSTANCE) return o.ins()->hook;
    if (o.type() == OT_CLASS) return o.cls()->hook;
    if (o.type() == OT_USERDATA) return o.ud()->hook;
    return nullptr;
}
SQChar* sq_getscratchpad(HSQUIRRELVM v, SQInteger minsize) {
    if (SQInteger(v->scratch.size()) < minsize) v->scratch.resize(size_t(minsize));
    return v->scratch.data();
}
SQRESULT sq_getclosureinfo(HSQUIRRELVM v, SQInteger idx, SQInteger* nparams, SQInteger* nfreevars) {
    Value& o = STK(idx);
    if (o.type() == OT_CLOSURE) {
        *nparams = o.clo()->proto->nparams;
        *nfreevars = SQInteger(o.clo()->outers.size());
        return SQ_OK;
    }
    if (o.type() == OT_NATIVECLOSURE) {
        *nparams = o.ncl()->nparamscheck;
        *nfreevars = SQInteger(o.ncl()->outers.size());
        return SQ_OK;
    }
    return api_error(v, "the object is not a closure");
}
SQRESULT sq_getclosurename(HSQUIRRELVM v, SQInteger idx) {
    Value o = STK(idx);
    if (o.type() == OT_CLOSURE)
        sq_vpush(v, o.clo()->proto->name);
    else if (o.type() == OT_NATIVECLOSURE)
        sq_vpush(v, o.ncl()->name);
    else
        return api_error(v, "the object is not a closure");
    return SQ_OK;
}
SQRESULT sq_setnativeclosurename(HSQUIRRELVM v, SQInteger idx, const SQChar* name) {
    Value& o = STK(idx);
    if (o.type() != OT_NATIVECLOSURE) return api_error(v, "the object is not a nativeclosure");
    o.ncl()->name = sq_mkstr(v->shared, name);
    return SQ_OK;
}
SQRESULT sq_setinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer p) {
    Value& o = STK(idx);
    if (o.type() != OT_INSTANCE) return api_error(v, "the object is not a class instance");
    o.ins()->up = p;
    return SQ_OK;
}
SQRESULT sq_getinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer* p, SQUserPointer typetag) {
    Value& o = STK(idx);
    if (o.type() != OT_INSTANCE) return api_error(v, "the object is not a class instance");
    if (typetag) {
        bool ok = false;
        for (SQClass* c = o.ins()->cls; c; c = c->base)
            if (c->typetag == typetag) ok = true;
        if (!ok) return api_error(v, "invalid type tag");
    }
    *p = o.ins()->up;
    return SQ_OK;
}
SQRESULT sq_setclassudsize(HSQUIRRELVM v, SQInteger idx, SQInteger udsize) {
    Value& o = STK(idx);
    if (o.type() != OT_CLASS) return api_error(v, "the object is not a class");
    o.cls()->udsize = udsize;
    return SQ_OK;
}
SQRESULT sq_newclass(HSQUIRRELVM v, SQBool hasbase) {
    SQClass* base = nullptr;
    Value b;
    if (hasbase) {
        b = STK(-1);
        if (b.type() != OT_CLASS) return api_error(v, "invalid base type");
        base = b.cls();
    }
    Value c(OT_CLASS, sq_class_new(v->shared, base));
    if (hasbase) sq_vpop(v, 1);
    sq_vpush(v, c);
    return SQ_OK;
}
SQRESULT sq_createinstance(HSQUIRRELVM v, SQInteger idx) {
    Value c = STK(idx);
    if (c.type() != OT_CLASS) return api_error(v, "the object is not a class");
    sq_vpush(v, sq_create_instance(v, c.cls()));
    return SQ_OK;
}
// [key value] -> [old attributes]
SQRESULT sq_setattributes(HSQUIRRELVM v, SQInteger idx) {
    Value c = STK(idx);
    if (c.type() != OT_CLASS || sq_gettop(v) < 2) return api_error(v, "the object is not a class");
    Value key = STK(-2), val = STK(-1), old;
    sq_vpop(v, 2);
    if (!sq_class_setattributes(v, c.cls(), key, val, old)) return api_error(v, "wrong index");
    sq_vpush(v, old);
    return SQ_OK;
}
// [key] -> [attributes]
SQRESULT sq_getattributes(HSQUIRRELVM v, SQInteger idx) {
    Value c = STK(idx);
    if (c.type() != OT_CLASS || sq_gettop(v) < 1) return api_error(v, "the object is not a class");
    Value key = STK(-1), out;
    sq_vpop(v, 1);
    if (!sq_class_getattributes(c.cls(), key, out)) return api_error(v, "wrong index");
    sq_vpush(v, out);
    return SQ_OK;
}
SQRESULT sq_getclass(HSQUIRRELVM v, SQInteger idx) {
    Value o = STK(idx);
    if (o.type() != OT_INSTANCE) return api_error(v, "the object is not a class instance");
    sq_vpush(v, Value(OT_CLASS, o.ins()->cls));
    return SQ_OK;
}
void sq_weakref(HSQUIRRELVM v, SQInteger idx) {
    Value o = STK(idx);
    if (sq_rc(o.type()))
        sq_vpush(v, Value(OT_WEAKREF, sq_weakref_of(v->shared, o)));
    else
        sq_vpush(v, o);
}
SQRESULT sq_getdefaultdelegate(HSQUIRRELVM v, SQObjectType) {
    return api_error(v, "not supported");
}

// ---------------------------------------------------------------- object manipulation

void sq_pushroottable(HSQUIRRELVM v) {
    sq_vpush(v, v->shared->roottable);
}
void sq_pushregistrytable(HSQUIRRELVM v) {
    sq_vpush(v, v->shared->registry);
}
void sq_pushconsttable(HSQUIRRELVM v) {
    sq_vpush(v, v->shared->consttable);
}
SQRESULT sq_setroottable(HSQUIRRELVM v) {
    Value t = STK(-1);
    if (t.type() != OT_TABLE) return api_error(v, "invalid type");
    v->shared->roottable = t;
    sq_vpop(v, 1);
    return SQ_OK;
}
SQRESULT sq_setconsttable(HSQUIRRELVM v) {
    Value t = STK(-1);
    if (t.type() != OT_TABLE) return api_error(v, "invalid type, expected table");
    v->shared->consttable = t;
    sq_vpop(v, 1);
    return SQ_OK;
}

SQRESULT sq_newslot(HSQUIRRELVM v, SQInteger idx, SQBool bstatic) {
    Value obj = STK(idx), key = STK(-2), val = STK(-1);
    sq_vpop(v, 2);
    return guarded(v, [&] {
        sq_newslot_op(v, obj, key, val, bstatic != 0);
        return SQRESULT(SQ_OK);
    });
}
SQRESULT sq_newmember(HSQUIRRELVM v, SQInteger idx, SQBool bstatic) {
    Value obj = STK(idx), key = STK(-3), val = STK(-2);
    sq_vpop(v, 3);
    return guarded(v, [&] {
        sq_newslot_op(v, obj, key, val, bstatic != 0);
        return SQRESULT(SQ_OK);
    });
}
SQRESULT sq_deleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval) {
    Value obj = STK(idx), key = STK(-1);
    sq_vpop(v, 1);
    return guarded(v, [&] {
        Value r = sq_delete_op(v, obj, key);
        if (pushval) sq_vpush(v, r);
        return SQRESULT(SQ_OK);
    });
}
SQRESULT sq_rawdeleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval) {
    Value obj = STK(idx), key = STK(-1);
    sq_vpop(v, 1);
    return guarded(v, [&] {
        Value r = sq_delete_op(v, obj, key, true);
        if (pushval) sq_vpush(v, r);
        return SQRESULT(SQ_OK);
    });
}
SQRESULT sq_set(HSQUIRRELVM v, SQInteger idx) {
    Value obj = STK(idx), key = STK(-2), val = STK(-1);
    sq_vpop(v, 2);
    return guarded(v, [&] {
        sq_set(v, obj, key, val);
        return SQRESULT(SQ_OK);
    });
}
SQRESULT sq_rawset(HSQUIRRELVM v, SQInteger idx) {
    Value obj = STK(idx), key = STK(-2), val = STK(-1);
    sq_vpop(v, 2);
    return guarded(v, [&] {
        if (obj.type() == OT_TABLE)
            sq_set(v, obj, key, val, true);
        else
            sq_set(v, obj, key, val, true);
        return SQRESULT(SQ_OK);
    });
}
static SQRESULT get_impl(SQVM* v, SQInteger idx, bool raw) {
    Value obj = STK(idx), key = STK(-1);
    sq_vpop(v, 1);
    return guarded(v, [&] {
        Value out;
        if (!sq_get(v, obj, key, out, raw)) {
            v->lasterror =
                sq_mkstr(v->shared, "the index '" + sq_print_val(key) + "' does not exist");
            return SQRESULT(SQ_ERROR);
        }
        sq_vpush(v, out);
        return SQRESULT(SQ_OK);
    });
}
SQRESULT sq_get(HSQUIRRELVM v, SQInteger idx) {
    return get_impl(v, idx, false);
}
SQRESULT sq_rawget(HSQUIRRELVM v, SQInteger idx) {
    return get_impl(v, idx, true);
}
SQRESULT sq_arrayappend(HSQUIRRELVM v, SQInteger idx) {
    Value a = STK(idx), val = STK(-1);
    if (a.type() != OT_ARRAY) return api_error(v, "the object is not an array");
    a.arr()->vals.push_back(val);
    sq_vpop(v, 1);
    return SQ_OK;
}
SQRESULT sq_arraypop(HSQUIRRELVM v, SQInteger idx, SQBool pushval) {
    Value a = STK(idx);
    if (a.type() != OT_ARRAY) return api_error(v, "the object is not an array");
    auto& vals = a.arr()->vals;
    if (vals.empty()) return api_error(v, "empty array");
    Value last = vals.back();
    vals.pop_back();
    if (pushval) sq_vpush(v, last);
    return SQ_OK;
}
SQRESULT sq_arrayresize(HSQUIRRELVM v, SQInteger idx, SQInteger newsize) {
    Value a = STK(idx);
    if (a.type() != OT_ARRAY || newsize < 0) return api_error(v, "invalid resize");
    a.arr()->vals.resize(size_t(newsize));
    return SQ_OK;
}
SQRESULT sq_arrayreverse(HSQUIRRELVM v, SQInteger idx) {
    Value a = STK(idx);
    if (a.type() != OT_ARRAY) return api_error(v, "the object is not an array");
    std::reverse(a.arr()->vals.begin(), a.arr()->vals.end());
    return SQ_OK;
}
SQRESULT sq_arrayremove(HSQUIRRELVM v, SQInteger idx, SQInteger itemidx) {
    Value a = STK(idx);
    if (a.type() != OT_ARRAY) return api_error(v, "the object is not an array");
    auto& vals = a.arr()->vals;
    if (itemidx < 0 || itemidx >= SQInteger(vals.size())) return api_error(v, "index out of range");
    vals.erase(vals.begin() + long(itemidx));
    return SQ_OK;
}
SQRESULT sq_arrayinsert(HSQUIRRELVM v, SQInteger idx, SQInteger destpos) {
    Value a = STK(idx), val = STK(-1);
    if (a.type() != OT_ARRAY) return api_error(v, "the object is not an array");
    auto& vals = a.arr()->vals;
    if (destpos < 0 || destpos > SQInteger(vals.size())) return api_error(v, "index out of range");
    vals.insert(vals.begin() + long(destpos), val);
    sq_vpop(v, 1);
    return SQ_OK;
}
SQRESULT sq_setdelegate(HSQUIRRELVM v, SQInteger idx) {
    Value o = STK(idx), d = STK(-1);
    if (o.type() != OT_TABLE && o.type() != OT_USERDATA) return api_error(v, "invalid type");
    if (d.type() != OT_TABLE && d.type() != OT_NULL) return api_error(v, "invalid type");
    SQTable*& slot = o.type() == OT_TABLE ? o.tab()->delegate : o.ud()->delegate;
    if (d.type() == OT_TABLE)
        for (SQTable* t = d.tab(); t; t = t->delegate)
            if (o.type() == OT_TABLE && t == o.tab()) return api_error(v, "delegate cycle");
    SQTable* old = slot;
    slot = d.type() == OT_TABLE ? d.tab() : nullptr;
    if (slot) sq_incref(slot);
    if (old) sq_decref(old);
    sq_vpop(v, 1);
    return SQ_OK;
}
SQRESULT sq_getdelegate(HSQUIRRELVM v, SQInteger idx) {
    Value o = STK(idx);
    SQTable* d = nullptr;
    if (o.type() == OT_TABLE)
        d = o.tab()->delegate;
    else if (o.type() == OT_USERDATA)
        d = o.ud()->delegate;
    else
        return api_error(v, "wrong type");
    if (d)
        sq_vpush(v, Value(OT_TABLE, d));
    else
        sq_vpush(v, Value());
    return SQ_OK;
}
SQRESULT sq_clone(HSQUIRRELVM v, SQInteger idx) {
    Value o = STK(idx);
    return guarded(v, [&] {
        sq_vpush(v, sq_clone_op(v, o));
        return SQRESULT(SQ_OK);
    });
}
SQRESULT sq_setfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval) {
    Value f = STK(idx), val = STK(-1);
    if (f.type() == OT_NATIVECLOSURE && nval < f.ncl()->outers.size()) {
        f.ncl()->outers[size_t(nval)] = val;
        sq_vpop(v, 1);
        return SQ_OK;
    }
    return api_error(v, "invalid free var index");
}
SQRESULT sq_next(HSQUIRRELVM v, SQInteger idx) {
    Value o = STK(idx);
    Value& it = STK(-1);
    SQInteger pos = it.type() == OT_INTEGER ? it.i() : 0;
    if (o.type() == OT_TABLE) {
        Value k, val;
        if (!sq_table_next(o.tab(), pos, k, val)) return SQ_ERROR;
        it = Value(pos);
        sq_vpush(v, k);
        sq_vpush(v, val);
        return SQ_OK;
    }
    if (o.type() == OT_ARRAY) {
        auto& vals = o.arr()->vals;
        if (pos >= SQInteger(vals.size())) return SQ_ERROR;
        Value val = vals[size_t(pos)];
        it = Value(pos + 1);
        sq_vpush(v, Value(pos));
        sq_vpush(v, val);
        return SQ_OK;
    }
    return api_error(v, "cannot iterate");
}
SQRESULT sq_getweakrefval(HSQUIRRELVM v, SQInteger idx) {
    Value o = STK(idx);
    if (o.type() != OT_WEAKREF) return api_error(v, "the object must be a weakref");
    sq_vpush(v, Value(o.wr()->obj));
    return SQ_OK;
}
SQRESULT sq_clear(HSQUIRRELVM v, SQInteger idx) {
    Value o = STK(idx);
    if (o.type() == OT_TABLE)
        sq_table_clear(o.tab());
    else if (o.type() == OT_ARRAY)
        o.arr()->vals.clear();
    else
        return api_error(v, "clear only works on table and array");
    return SQ_OK;
}

// ---------------------------------------------------------------- calls

SQRESULT sq_call(HSQUIRRELVM v, SQInteger params, SQBool retval, SQBool raiseerror) {
    ExecState& es = (*v->cur);
    SQInteger ci = es.top - params - 1;
    if (ci < (es.frames.empty() ? 0 : es.frames.back().base))
        return api_error(v, "not enough parameters in the stack");
    Value callee = es.stack[size_t(ci)];
    bool saved = v->raiseerror;
    v->raiseerror = raiseerror != 0;
    auto restore = [&] {
        for (SQInteger i = es.top - 1; i > ci; --i) es.stack[size_t(i)].setNull();
        es.stack[size_t(ci)] = callee;
        es.top = ci + 1;
        v->raiseerror = saved;
    };
    try {
        sq_call_at(v, ci, params);
    } catch (SQException& e) {
        restore();
        v->lasterror = e.value;
        if (!e.reported && raiseerror && v->catchers == 0) sq_call_errorhandler(v, e.value);
        return SQ_ERROR;
    } catch (...) {
        restore();
        throw;
    }
    Value r = std::move(es.stack[size_t(ci)]);
    es.stack[size_t(ci)] = callee;
    es.top = ci + 1;
    v->raiseerror = saved;
    if (retval) sq_vpush(v, r);
    return SQ_OK;
}
SQRESULT sq_resume(HSQUIRRELVM v, SQBool retval, SQBool raiseerror) {
    Value g = STK(-1);
    if (g.type() != OT_GENERATOR) return api_error(v, "only generators can be resumed");
    bool saved = v->raiseerror;
    v->raiseerror = raiseerror != 0;
    Value out;
    try {
        sq_resume_generator(v, g.gen(), out);
    } catch (SQException& e) {
        v->raiseerror = saved;
        v->lasterror = e.value;
        return SQ_ERROR;
    }
    v->raiseerror = saved;
    if (retval) sq_vpush(v, out);
    return SQ_OK;
}

// A script frame waiting on a tail call (marked on its call instruction) to a script function
// is not seen: the callee stands in its place, as if it had replaced it.
static bool in_tail_call(const ExecState& es, size_t i) {
    const Frame& f = es.frames[i];
    if (i + 1 >= es.frames.size() || (f.flags & FRAME_NATIVE)) return false;
    const Frame& callee = es.frames[i + 1];
    if (callee.flags & (FRAME_NATIVE | FRAME_CTOR)) return false;
    const Instr& call = f.ip[-1];
    if (call.op != OP_CALL || call.c != 1) return false;
    const Value& fn = es.stack[size_t(callee.target)];
    return fn.type() == OT_CLOSURE && fn.clo() == callee.callee;
}

static const Frame* frame_at(SQVM* v, SQUnsignedInteger level) {
    auto& es = *v->cur;
    for (size_t i = es.frames.size(); i-- > 0;) {
        if (in_tail_call(es, i)) continue;
        if (level-- == 0) return &es.frames[i];
    }
    return nullptr;
}

const SQChar* sq_getlocal(HSQUIRRELVM v, SQUnsignedInteger level, SQUnsignedInteger idx) {
    const Frame* f = frame_at(v, level);
    if (!f || (f->flags & FRAME_NATIVE)) return nullptr;
    SQFunctionProto* p = static_cast<SQClosure*>(f->callee)->proto;
    SQInteger pc = SQInteger(f->ip - p->code.data()) - 1;
    std::vector<const LocalInfo*> live;
    for (auto& l : p->locals)
        if (l.start_pc <= pc && pc < l.end_pc && l.name.type() == OT_STRING &&
            l.name.str()->data[0] != '@')
            live.push_back(&l);
    std::sort(live.begin(), live.end(),
              [](const LocalInfo* a, const LocalInfo* b) { return a->slot < b->slot; });
    if (idx >= live.size()) return nullptr;
    const LocalInfo* l = live[size_t(idx)];
    SQInteger at = f->base + l->slot;
    Value val = at < (*v->cur).top ? (*v->cur).stack[size_t(at)] : Value();
    sq_vpush(v, val);
    return l->name.str()->data;
}
SQRESULT sq_getcallee(HSQUIRRELVM v) {
    if ((*v->cur).frames.empty()) return api_error(v, "no closure in the calls stack");
    const Frame& f = (*v->cur).frames.back();
    sq_vpush(v, Value(f.callee->kind, f.callee));
    return SQ_OK;
}
const SQChar* sq_getfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval) {
    Value f = STK(idx);
    if (f.type() == OT_NATIVECLOSURE && nval < f.ncl()->outers.size()) {
        sq_vpush(v, f.ncl()->outers[size_t(nval)]);
        return "@NATIVE";
    }
    if (f.type() == OT_CLOSURE && nval < f.clo()->proto->outers.size()) {
        SQOuter* o = f.clo()->outers[size_t(nval)];
        sq_vpush(v, *o->ptr);
        return f.clo()->proto->outers[size_t(nval)].name.str()->data;
    }
    return nullptr;
}
SQRESULT sq_throwerror(HSQUIRRELVM v, const SQChar* err) {
    v->lasterror = sq_mkstr(v->shared, err ? err : "");
    return SQ_ERROR;
}
SQRESULT sq_throwobject(HSQUIRRELVM v) {
    v->lasterror = STK(-1);
    sq_vpop(v, 1);
    return SQ_ERROR;
}
void sq_reseterror(HSQUIRRELVM v) {
    v->lasterror.setNull();
}
void sq_getlasterror(HSQUIRRELVM v) {
    sq_vpush(v, v->lasterror);
}

// ---------------------------------------------------------------- raw objects

SQRESULT sq_getstackobj(HSQUIRRELVM v, SQInteger idx, HSQOBJECT* po) {
    *po = STK(idx);
    return SQ_OK;
}
void sq_pushobject(HSQUIRRELVM v, HSQOBJECT obj) {
    sq_vpush(v, Value(obj));
}
void sq_addref(HSQUIRRELVM v, HSQOBJECT* po) {
    if (!sq_rc(po->_type)) return;
    sq_incref(po->_unVal.pRefCounted);
    v->shared->extrefs[po->_unVal.pRefCounted]++;
}
SQBool sq_release(HSQUIRRELVM v, HSQOBJECT* po) {
    if (!sq_rc(po->_type)) return SQTrue;
    SQRefCounted* r = po->_unVal.pRefCounted;
    auto& ext = v->shared->extrefs;
    auto it = ext.find(r);
    if (it == ext.end()) return SQFalse;
    if (--it->second == 0) ext.erase(it);
    bool last = r->refs == 1;
    sq_decref(r);
    return last ? SQTrue : SQFalse;
}
SQUnsignedInteger sq_getrefcount(HSQUIRRELVM v, HSQOBJECT* po) {
    if (!sq_rc(po->_type)) return 0;
    auto it = v->shared->extrefs.find(po->_unVal.pRefCounted);
    return it == v->shared->extrefs.end() ? 0 : it->second;
}
void sq_resetobject(HSQOBJECT* po) {
    po->_type = OT_NULL;
    po->_unVal.raw = 0;
}
const SQChar* sq_objtostring(const HSQOBJECT* o) {
    return o->_type == OT_STRING ? reinterpret_cast<SQString*>(o->_unVal.pRefCounted)->data
                                 : nullptr;
}
SQBool sq_objtobool(const HSQOBJECT* o) {
    return is_false(*o) ? SQFalse : SQTrue;
}
SQInteger sq_objtointeger(const HSQOBJECT* o) {
    return sq_isnumeric(*o) ? num_i(*o) : 0;
}
SQFloat sq_objtofloat(const HSQOBJECT* o) {
    return sq_isnumeric(*o) ? num_f(*o) : 0;
}
SQUserPointer sq_objtouserpointer(const HSQOBJECT* o) {
    return o->_type == OT_USERPOINTER ? o->_unVal.pUserPointer : nullptr;
}

void sq_setinstructionlimit(HSQUIRRELVM v, SQInteger limit) {
    v->budget = limit < 0 ? INT64_MAX : limit;
}

SQInteger sq_collectgarbage(HSQUIRRELVM v) {
    return sq_gc_collect(v->shared);
}
SQRESULT sq_resurrectunreachable(HSQUIRRELVM v) {
    return api_error(v, "not supported");
}

SQRESULT sq_stackinfos(HSQUIRRELVM v, SQInteger level, SQStackInfos* si) {
    if (level < 0) return SQ_ERROR;
    const Frame* f = frame_at(v, SQUnsignedInteger(level));
    if (!f) return SQ_ERROR;
    if (f->flags & FRAME_NATIVE) {
        SQNativeClosure* nc = static_cast<SQNativeClosure*>(f->callee);
        si->funcname = nc->name.type() == OT_STRING ? nc->name.str()->data : "unknown";
        si->source = "NATIVE";
        si->line = -1;
        return SQ_OK;
    }
    SQFunctionProto* p = static_cast<SQClosure*>(f->callee)->proto;
    si->funcname = p->name.type() == OT_STRING ? p->name.str()->data : "unknown";
    si->source = p->source.type() == OT_STRING ? p->source.str()->data : "unknown";
    si->line = sq_frame_line(*f);
    return SQ_OK;
}

} // extern "C"
