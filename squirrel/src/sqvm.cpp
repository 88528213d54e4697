// The interpreter: calls, frames, exceptions, generators and the object protocol.
#include "sqvm.h"

#include "sqopcodes.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

static const SQInteger MAX_STACK = 1 << 21;
static const SQInteger MAX_NATIVE_DEPTH = 100;
static const SQInteger MIN_NATIVE_STACK = 32;

// ---------------------------------------------------------------- errors and texts

void sq_raise(SQVM* v, const char* fmt, ...) {
    char buf[600];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    throw SQException{sq_mkstr(v->shared, buf), false};
}

void sq_raise_value(SQVM* v, const Value& e) {
    (void)v;
    throw SQException{e, false};
}

const char* sq_type_name(SQObjectType t) {
    switch (t) {
    case OT_NULL:
        return "null";
    case OT_INTEGER:
        return "integer";
    case OT_FLOAT:
        return "float";
    case OT_BOOL:
        return "bool";
    case OT_STRING:
        return "string";
    case OT_TABLE:
        return "table";
    case OT_ARRAY:
        return "array";
    case OT_USERDATA:
        return "userdata";
    case OT_CLOSURE:
        return "function";
    case OT_NATIVECLOSURE:
        return "function";
    case OT_GENERATOR:
        return "generator";
    case OT_USERPOINTER:
        return "userpointer";
    case OT_THREAD:
        return "thread";
    case OT_FUNCPROTO:
        return "function";
    case OT_CLASS:
        return "class";
    case OT_INSTANCE:
        return "instance";
    case OT_WEAKREF:
        return "weakref";
    case OT_OUTER:
        return "outer";
    }
    return "unknown";
}

std::string sq_float_str(SQFloat f) {
    char buf[64];
    snprintf(buf, sizeof buf, "%g", double(f));
    return buf;
}

std::string sq_raw_str(const Value& v) {
    char buf[80];
    switch (v.type()) {
    case OT_NULL:
        return "null";
    case OT_INTEGER:
        snprintf(buf, sizeof buf, "%lld", v.i());
        return buf;
    case OT_FLOAT:
        return sq_float_str(v.f());
    case OT_BOOL:
        return v.b() ? "true" : "false";
    case OT_STRING:
        return std::string(v.str()->data, size_t(v.str()->len));
    case OT_USERPOINTER:
        snprintf(buf, sizeof buf, "(userpointer : 0x%p)", v._unVal.pUserPointer);
        return buf;
    default:
        snprintf(buf, sizeof buf, "(%s : 0x%p)", sq_type_name(v.type()), (void*)v.p());
        return buf;
    }
}

std::string sq_print_val(const Value& v) {
    switch (v.type()) {
    case OT_INTEGER:
    case OT_FLOAT:
    case OT_STRING:
        return sq_raw_str(v);
    default:
        return sq_type_name(v.type());
    }
}

// ---------------------------------------------------------------- stack helpers

void sq_ensure_stack(ExecState& es, SQInteger need) {
    if (need <= SQInteger(es.stack.size())) return;
    if (need > MAX_STACK) throw SQException{Value(), false};
    SQInteger n = SQInteger(es.stack.size()) * 2;
    if (n < need) n = need;
    if (n > MAX_STACK) n = MAX_STACK;
    es.stack.resize(size_t(n));
    for (SQOuter* o = es.openOuters; o; o = o->nextOpen) o->ptr = &es.stack[size_t(o->index)];
}

static SQInteger api_base(SQVM* v) {
    return v->cur->frames.empty() ? 0 : v->cur->frames.back().base;
}

Value& sq_stk_invalid() {
    static Value dummy;
    dummy.setNull();
    return dummy;
}

void sq_vpush_grow(SQVM* v, const Value& val) {
    ExecState& es = *v->cur;
    try {
        sq_ensure_stack(es, es.top + 16);
    } catch (SQException&) {
        sq_raise(v, "stack overflow");
    }
    es.stack[size_t(es.top++)] = val;
}

void sq_vpop(SQVM* v, SQInteger n) {
    ExecState& es = *v->cur;
    SQInteger lim = api_base(v);
    while (n-- > 0 && es.top > lim) es.stack[size_t(--es.top)].setNull();
}

// ---------------------------------------------------------------- outers

static Value& outer_val(SQOuter* o) {
    return *o->ptr;
}

static SQOuter* find_outer(SQSharedState* ss, ExecState& es, SQInteger idx) {
    SQOuter** pp = &es.openOuters;
    while (*pp && (*pp)->index > idx) pp = &(*pp)->nextOpen;
    if (*pp && (*pp)->index == idx) return *pp;
    SQOuter* o = new SQOuter; // every field is set below
    sq_gc_link(ss, o, OT_OUTER);
    o->index = idx;
    o->owner = &es;
    o->ptr = &es.stack[size_t(idx)];
    o->nextOpen = *pp;
    *pp = o;
    return o;
}

static void close_outers(ExecState& es, SQInteger from) {
    while (es.openOuters && es.openOuters->index >= from) {
        SQOuter* o = es.openOuters;
        es.openOuters = o->nextOpen;
        o->closed = std::move(es.stack[size_t(o->index)]);
        es.stack[size_t(o->index)] = o->closed;
        o->owner = nullptr;
        o->ptr = &o->closed;
        o->nextOpen = nullptr;
    }
}

// ---------------------------------------------------------------- object protocol

static SQTable* default_delegate(SQSharedState* ss, SQObjectType t) {
    int k;
    switch (t) {
    case OT_TABLE:
        k = 0;
        break;
    case OT_ARRAY:
        k = 1;
        break;
    case OT_STRING:
        k = 2;
        break;
    case OT_INTEGER:
    case OT_FLOAT:
    case OT_BOOL:
        k = 3;
        break;
    case OT_CLOSURE:
    case OT_NATIVECLOSURE:
        k = 4;
        break;
    case OT_GENERATOR:
        k = 5;
        break;
    case OT_CLASS:
        k = 6;
        break;
    case OT_INSTANCE:
        k = 7;
        break;
    case OT_WEAKREF:
        return ss->weakrefDelegate.isNull() ? nullptr : ss->weakrefDelegate.tab();
    case OT_THREAD:
        return ss->threadDelegate.isNull() ? nullptr : ss->threadDelegate.tab();
    default:
        return nullptr;
    }
    return ss->delegates[k].isNull() ? nullptr : ss->delegates[k].tab();
}

// A table's (or userdata's) metamethods come from its direct delegate; only _get and _set are
// also found further up the chain, as a missing key is looked for there.
bool sq_get_meta(SQVM* v, const Value& obj, MetaMethod m, Value& out) {
    SQSharedState* ss = v->shared;
    bool chain = m == MT_GET || m == MT_SET;
    switch (obj.type()) {
    case OT_TABLE:
        for (SQTable* d = obj.tab()->delegate; d; d = chain ? d->delegate : nullptr)
            if (Value* p = sq_table_find(d, ss->metanames[m])) {
                out = *p;
                return true;
            }
        return false;
    case OT_INSTANCE:
        if (obj.ins()->cls->meta[m].isNull()) return false;
        out = obj.ins()->cls->meta[m];
        return true;
    case OT_USERDATA:
        for (SQTable* d = obj.ud()->delegate; d; d = chain ? d->delegate : nullptr)
            if (Value* p = sq_table_find(d, ss->metanames[m])) {
                out = *p;
                return true;
            }
        return false;
    default:
        return false;
    }
}

struct CatchGuard {
    SQVM* v;
    explicit CatchGuard(SQVM* vm) : v(vm) { ++v->catchers; }
    ~CatchGuard() { --v->catchers; }
};

// _get: a `throw null` inside it means "not found"
static bool call_get_meta(SQVM* v, const Value& mm, const Value& obj, const Value& key,
                          Value& out) {
    CatchGuard g(v);
    try {
        out = sq_call_value(v, mm, obj, &key, 1);
        return true;
    } catch (SQException& e) {
        if (e.value.isNull()) return false;
        throw;
    }
}

static bool array_index(const Value& key, SQInteger& idx) {
    if (key.type() == OT_INTEGER)
        idx = key.i();
    else if (key.type() == OT_FLOAT)
        idx = sq_f2i(key.f());
    else
        return false;
    return true;
}

bool sq_get(SQVM* v, const Value& obj, const Value& key, Value& out, bool raw) {
    switch (obj.type()) {
    case OT_TABLE: {
        SQTable* t = obj.tab();
        if (Value* p = sq_table_find(t, key)) {
            out = sq_deref(*p);
            return true;
        }
        if (raw) return false;
        for (SQTable* d = t->delegate; d; d = d->delegate)
            if (Value* p = sq_table_find(d, key)) {
                out = sq_deref(*p);
                return true;
            }
        if (!t->delegate) break;
        if (key.type() == OT_STRING)
            if (SQTable* dd = default_delegate(v->shared, OT_TABLE))
                if (Value* p = sq_table_find(dd, key)) {
                    out = *p;
                    return true;
                }
        Value mm;
        if (sq_get_meta(v, obj, MT_GET, mm) && call_get_meta(v, mm, obj, key, out)) return true;
        return false;
    }
    case OT_ARRAY: {
        SQInteger idx;
        if (array_index(key, idx)) {
            auto& vals = obj.arr()->vals;
            if (idx >= 0 && idx < SQInteger(vals.size())) {
                out = sq_deref(vals[size_t(idx)]);
                return true;
            }
            return false;
        }
        break;
    }
    case OT_STRING: {
        SQInteger idx;
        if (array_index(key, idx)) {
            SQString* s = obj.str();
            if (idx < 0) idx += s->len;
            if (idx >= 0 && idx < s->len) {
                out = Value(SQInteger((signed char)s->data[idx]));
                return true;
            }
            return false;
        }
        break;
    }
    case OT_INSTANCE: {
        SQInstance* in = obj.ins();
        if (Value* p = sq_table_find(in->cls->members, key)) {
            if (p->type() == OT_USERPOINTER)
                out = sq_deref(in->vals[size_t(p->i())]);
            else
                out = sq_deref(*p);
            return true;
        }
        if (raw) return false;
        Value mm = in->cls->meta[MT_GET];
        if (!mm.isNull() && call_get_meta(v, mm, obj, key, out)) return true;
        break;
    }
    case OT_CLASS: {
        SQClass* c = obj.cls();
        if (Value* p = sq_table_find(c->members, key)) {
            if (p->type() == OT_USERPOINTER)
                out = sq_deref(c->defaults[size_t(p->i())]);
            else
                out = sq_deref(*p);
            return true;
        }
        if (raw) return false;
        break;
    }
    case OT_USERDATA: {
        if (raw) return false;
        for (SQTable* d = obj.ud()->delegate; d; d = d->delegate)
            if (Value* p = sq_table_find(d, key)) {
                out = *p;
                return true;
            }
        Value mm;
        if (sq_get_meta(v, obj, MT_GET, mm) && call_get_meta(v, mm, obj, key, out)) return true;
        break;
    }
    default:
        break;
    }
    if (raw) return false;
    if (SQTable* dd = default_delegate(v->shared, obj.type()))
        if (key.type() == OT_STRING)
            if (Value* p = sq_table_find(dd, key)) {
                out = *p;
                return true;
            }
    return false;
}

[[noreturn]] static void raise_noindex(SQVM* v, const Value& key) {
    sq_raise(v, "the index '%s' does not exist", sq_print_val(key).c_str());
}

// _set: a `throw null` inside it means "no such slot"
static void call_set_meta(SQVM* v, const Value& mm, const Value& obj, const Value& key,
                          const Value& val) {
    bool missing = false;
    {
        CatchGuard g(v);
        try {
            Value args[2] = {key, val};
            sq_call_value(v, mm, obj, args, 2);
        } catch (SQException& e) {
            if (!e.value.isNull()) throw;
            missing = true;
        }
    }
    if (missing) raise_noindex(v, key);
}

void sq_set(SQVM* v, const Value& obj, const Value& key, const Value& val, bool raw) {
    switch (obj.type()) {
    case OT_TABLE: {
        SQTable* t = obj.tab();
        if (Value* p = sq_table_find(t, key)) {
            *p = val;
            return;
        }
        if (raw) {
            if (key.isNull()) sq_raise(v, "null key");
            sq_table_set(t, key, val);
            return;
        }
        for (SQTable* d = t->delegate; d; d = d->delegate)
            if (Value* p = sq_table_find(d, key)) {
                *p = val;
                return;
            }
        Value mm;
        if (sq_get_meta(v, obj, MT_SET, mm)) {
            call_set_meta(v, mm, obj, key, val);
            return;
        }
        raise_noindex(v, key);
    }
    case OT_ARRAY: {
        SQInteger idx;
        if (array_index(key, idx)) {
            auto& vals = obj.arr()->vals;
            if (idx >= 0 && idx < SQInteger(vals.size())) {
                vals[size_t(idx)] = val;
                return;
            }
            raise_noindex(v, key);
        }
        sq_raise(v, "indexing array with %s", sq_type_name(key.type()));
    }
    case OT_INSTANCE: {
        SQInstance* in = obj.ins();
        if (Value* p = sq_table_find(in->cls->members, key)) {
            if (p->type() == OT_USERPOINTER) {
                in->vals[size_t(p->i())] = val;
                return;
            }
        }
        Value mm = in->cls->meta[MT_SET];
        if (!mm.isNull() && !raw) {
            call_set_meta(v, mm, obj, key, val);
            return;
        }
        raise_noindex(v, key);
    }
    case OT_CLASS: {
        // classes change only through `<-`, which knows about statics and instances
        if (!raw) sq_raise(v, "trying to set 'class'");
        SQClass* c = obj.cls();
        if (Value* p = sq_table_find(c->members, key)) {
            if (p->type() == OT_USERPOINTER)
                c->defaults[size_t(p->i())] = val;
            else
                *p = val;
            return;
        }
        raise_noindex(v, key);
    }
    case OT_USERDATA: {
        Value mm;
        if (!raw && sq_get_meta(v, obj, MT_SET, mm)) {
            call_set_meta(v, mm, obj, key, val);
            return;
        }
        raise_noindex(v, key);
    }
    default:
        sq_raise(v, "trying to set '%s'", sq_type_name(obj.type()));
    }
}

// [cls attributes key value] of a class body's member declaration; out of line to keep the
// interpreter loop small
[[gnu::noinline]] static void class_member_op(SQVM* v, const Value* sp, bool isStatic) {
    Value cls = sp[-4], attrs = sp[-3], key = sp[-2], val = sp[-1];
    sq_class_newmember(v, cls, key, val, attrs, isStatic, false);
}

// A member declared in a class body or added by newmember: the class's _newmember takes it over
// when there is one (unless raw); otherwise it is added, with its attributes.
void sq_class_newmember(SQVM* v, const Value& cls, const Value& key, const Value& val,
                        const Value& attrs, bool bstatic, bool raw) {
    SQClass* c = cls.cls();
    if (!raw && !c->meta[MT_NEWMEMBER].isNull()) {
        Value fn = c->meta[MT_NEWMEMBER];
        Value args[4] = {key, val, attrs, Value(bstatic)};
        sq_call_value(v, fn, cls, args, 4);
        return;
    }
    sq_newslot_op(v, cls, key, val, bstatic);
    Value old;
    if (!attrs.isNull()) sq_class_setattributes(v, c, key, attrs, old);
}

bool sq_class_getattributes(SQClass* c, const Value& name, Value& out) {
    if (name.isNull()) {
        out = c->attributes;
        return true;
    }
    if (!sq_table_find(c->members, name)) return false;
    Value* p =
        c->memberAttrs.type() == OT_TABLE ? sq_table_find(c->memberAttrs.tab(), name) : nullptr;
    out = p ? *p : Value();
    return true;
}
bool sq_class_setattributes(SQVM* v, SQClass* c, const Value& name, const Value& val, Value& old) {
    if (!sq_class_getattributes(c, name, old)) return false;
    if (name.isNull()) {
        c->attributes = val;
        return true;
    }
    if (c->memberAttrs.type() != OT_TABLE)
        c->memberAttrs = Value(OT_TABLE, sq_table_new(v->shared));
    sq_table_set(c->memberAttrs.tab(), name, val);
    return true;
}

void sq_newslot_op(SQVM* v, const Value& obj, const Value& key, const Value& val, bool bstatic) {
    if (key.isNull()) sq_raise(v, "null cannot be used as index");
    switch (obj.type()) {
    case OT_TABLE: {
        Value mm;
        if (obj.tab()->delegate && !sq_table_find(obj.tab(), key) &&
            sq_get_meta(v, obj, MT_NEWSLOT, mm)) {
            Value args[2] = {key, val};
            sq_call_value(v, mm, obj, args, 2);
            return;
        }
        sq_table_set(obj.tab(), key, val);
        return;
    }
    case OT_CLASS: {
        SQClass* c = obj.cls();
        // instances copy the fields when created: only methods and statics may still change
        bool shared = bstatic || val.type() == OT_CLOSURE || val.type() == OT_NATIVECLOSURE;
        if (c->locked && !shared)
            sq_raise(v, "trying to modify a class that has already been instantiated");
        sq_class_add(v, c, key, val, bstatic);
        return;
    }
    case OT_INSTANCE: {
        Value mm = obj.ins()->cls->meta[MT_NEWSLOT];
        if (!mm.isNull()) {
            Value args[2] = {key, val};
            sq_call_value(v, mm, obj, args, 2);
            return;
        }
        sq_raise(v, "class instances do not support the new slot operator");
    }
    default:
        sq_raise(v, "indexing %s with %s", sq_type_name(obj.type()), sq_type_name(key.type()));
    }
}

Value sq_delete_op(SQVM* v, const Value& obj, const Value& key, bool raw) {
    switch (obj.type()) {
    case OT_TABLE: {
        Value mm;
        if (!raw && sq_get_meta(v, obj, MT_DELSLOT, mm)) return sq_call_value(v, mm, obj, &key, 1);
        Value out;
        if (!sq_table_remove(obj.tab(), key, &out)) {
            if (raw) sq_raise(v, "the index doesn't exist");
            raise_noindex(v, key);
        }
        return out;
    }
    case OT_INSTANCE: {
        Value mm = obj.ins()->cls->meta[MT_DELSLOT];
        if (!mm.isNull()) return sq_call_value(v, mm, obj, &key, 1);
        sq_raise(v, "cannot delete a slot from instance");
    }
    case OT_CLASS:
        sq_raise(v, "attempt to delete a slot from a class");
    default:
        sq_raise(v, "attempt to delete a slot from a %s", sq_type_name(obj.type()));
    }
}

bool sq_equals(const Value& a, const Value& b) {
    if (a.type() == b.type()) {
        if (a.type() == OT_FLOAT) return a.f() == b.f();
        if (a.type() == OT_BOOL) return a.b() == b.b();
        return a._unVal.raw == b._unVal.raw;
    }
    if (sq_isnumeric(a) && sq_isnumeric(b)) return num_f(a) == num_f(b);
    return false;
}

SQInteger sq_compare(SQVM* v, const Value& a, const Value& b) {
    SQObjectType ta = a.type(), tb = b.type();
    if (ta == tb) {
        switch (ta) {
        case OT_INTEGER:
            return a.i() < b.i() ? -1 : (a.i() > b.i() ? 1 : 0);
        case OT_FLOAT:
            return a.f() < b.f() ? -1 : (a.f() > b.f() ? 1 : 0);
        case OT_BOOL:
            return SQInteger(a.b()) - SQInteger(b.b());
        case OT_STRING: {
            int r = strcmp(a.str()->data, b.str()->data);
            return r < 0 ? -1 : (r > 0 ? 1 : 0);
        }
        case OT_NULL:
            return 0;
        case OT_INSTANCE:
        case OT_TABLE:
        case OT_USERDATA: {
            Value mm;
            if (sq_get_meta(v, a, MT_CMP, mm)) {
                Value r = sq_call_value(v, mm, a, &b, 1);
                if (r.type() != OT_INTEGER) sq_raise(v, "_cmp must return an integer");
                return r.i();
            }
            [[fallthrough]];
        }
        default: {
            uintptr_t pa = uintptr_t(a.p()), pb = uintptr_t(b.p());
            return pa < pb ? -1 : (pa > pb ? 1 : 0);
        }
        }
    }
    if (sq_isnumeric(a) && sq_isnumeric(b)) {
        SQFloat fa = num_f(a), fb = num_f(b);
        return fa < fb ? -1 : (fa > fb ? 1 : 0);
    }
    if (ta == OT_NULL) return -1;
    if (tb == OT_NULL) return 1;
    sq_raise(v, "comparison between '%s' and '%s'", sq_print_val(a).c_str(),
             sq_print_val(b).c_str());
}

Value sq_tostring(SQVM* v, const Value& o) {
    if (o.type() == OT_STRING) return o;
    if (o.type() == OT_INSTANCE || o.type() == OT_TABLE || o.type() == OT_USERDATA) {
        Value mm;
        if (sq_get_meta(v, o, MT_TOSTRING, mm)) {
            Value r = sq_call_value(v, mm, o, nullptr, 0);
            if (r.type() == OT_STRING) return r;
        }
    }
    return sq_mkstr(v->shared, sq_raw_str(o));
}

Value sq_typeof_op(SQVM* v, const Value& o) {
    Value mm;
    // a table's _typeof comes from its direct delegate only
    if (o.type() == OT_TABLE) {
        SQTable* d = o.tab()->delegate;
        if (Value* p = d ? sq_table_find(d, v->shared->metanames[MT_TYPEOF]) : nullptr)
            return sq_call_value(v, *p, o, nullptr, 0);
    } else if ((o.type() == OT_INSTANCE || o.type() == OT_USERDATA) &&
               sq_get_meta(v, o, MT_TYPEOF, mm)) {
        return sq_call_value(v, mm, o, nullptr, 0);
    }
    return sq_mkstr(v->shared, sq_type_name(o.type()));
}

Value sq_clone_op(SQVM* v, const Value& o) {
    switch (o.type()) {
    case OT_TABLE: {
        Value r(OT_TABLE, sq_table_clone(o.tab()));
        Value mm;
        if (sq_get_meta(v, r, MT_CLONED, mm)) sq_call_value(v, mm, r, &o, 1);
        return r;
    }
    case OT_ARRAY: {
        SQArray* a = sq_array_new(v->shared, 0);
        Value r(OT_ARRAY, a);
        a->vals = o.arr()->vals;
        return r;
    }
    case OT_INSTANCE: {
        SQInstance* src = o.ins();
        SQInstance* in = sq_instance_new(v->shared, src->cls);
        Value r(OT_INSTANCE, in);
        in->vals = src->vals;
        Value mm = src->cls->meta[MT_CLONED];
        if (!mm.isNull()) sq_call_value(v, mm, r, &o, 1);
        return r;
    }
    default:
        sq_raise(v, "cloning a %s", sq_type_name(o.type()));
    }
}

Value sq_create_instance(SQVM* v, SQClass* c) {
    return Value(OT_INSTANCE, sq_instance_new(v->shared, c));
}

// ---------------------------------------------------------------- arithmetic

static const char* op_name(int op) {
    switch (op) {
    case OP_ADD:
        return "+";
    case OP_SUB:
        return "-";
    case OP_MUL:
        return "*";
    case OP_DIV:
        return "/";
    default:
        return "%";
    }
}

static Value concat(SQVM* v, const Value& a, const Value& b) {
    Value sa = sq_tostring(v, a), sb = sq_tostring(v, b);
    SQString* x = sa.str();
    SQString* y = sb.str();
    const SQInteger len = x->len + y->len;
    if (len > (SQInteger(1) << 28)) sq_raise(v, "out of memory");
    // Copying counts against the instruction limit too, a unit per KiB: otherwise a script
    // within its limit could spend it on ever longer strings, quadratic in time and memory.
    if (len >= 1024 && (v->budget -= len >> 10) <= 0) {
        v->budget = 0;
        sq_raise(v, "instruction limit exceeded");
    }
    return Value(OT_STRING, sq_str_concat(v->shared, x->data, x->len, y->data, y->len));
}

static Value arith(SQVM* v, int op, const Value& a, const Value& b) {
    SQObjectType ta = a.type(), tb = b.type();
    if (ta == OT_INTEGER && tb == OT_INTEGER) {
        SQUnsignedInteger x = SQUnsignedInteger(a.i()), y = SQUnsignedInteger(b.i());
        switch (op) {
        case OP_ADD:
            return Value(SQInteger(x + y));
        case OP_SUB:
            return Value(SQInteger(x - y));
        case OP_MUL:
            return Value(SQInteger(x * y));
        case OP_DIV:
            if (b.i() == 0) sq_raise(v, "division by zero");
            if (b.i() == -1) return Value(SQInteger(0 - x));
            return Value(a.i() / b.i());
        default:
            if (b.i() == 0) sq_raise(v, "modulo by zero");
            if (b.i() == -1) return Value(SQInteger(0));
            return Value(a.i() % b.i());
        }
    }
    if (sq_isnumeric(a) && sq_isnumeric(b)) {
        SQFloat x = num_f(a), y = num_f(b);
        switch (op) {
        case OP_ADD:
            return Value(x + y);
        case OP_SUB:
            return Value(x - y);
        case OP_MUL:
            return Value(x * y);
        case OP_DIV:
            return Value(x / y);
        default:
            return Value(fmodf(x, y));
        }
    }
    if (op == OP_ADD && (ta == OT_STRING || tb == OT_STRING)) return concat(v, a, b);
    if (ta == OT_INSTANCE || ta == OT_TABLE || ta == OT_USERDATA) {
        static const MetaMethod mm_of[] = {MT_ADD, MT_SUB, MT_MUL, MT_DIV, MT_MODULO};
        Value mm;
        if (sq_get_meta(v, a, mm_of[op - OP_ADD], mm)) return sq_call_value(v, mm, a, &b, 1);
    }
    sq_raise(v, "arith op %s on between '%s' and '%s'", op_name(op), sq_type_name(ta),
             sq_type_name(tb));
}

// integer and float arithmetic without metamethods or errors; false leaves a untouched
static SQ_INLINE bool arith_fast(int op, Value& a, const Value& b) {
    if (a._type == OT_INTEGER && b._type == OT_INTEGER) {
        if (op == OP_DIV) return false; // division by zero and -1 are checked there
        SQUnsignedInteger x = SQUnsignedInteger(a._unVal.nInteger),
                          y = SQUnsignedInteger(b._unVal.nInteger);
        a._unVal.nInteger = SQInteger(op == OP_ADD ? x + y : op == OP_SUB ? x - y : x * y);
        return true;
    }
    if (sq_isnumeric(a) && sq_isnumeric(b)) {
        SQFloat x = num_f(a), y = num_f(b);
        a._type = OT_FLOAT;
        a._unVal.raw = 0;
        a._unVal.fFloat = op == OP_ADD   ? x + y
                          : op == OP_SUB ? x - y
                          : op == OP_MUL ? x * y
                                         : x / y;
        return true;
    }
    return false;
}

static SQ_INLINE bool int_cmp(int op, SQInteger a, SQInteger b) {
    switch (op) {
    case OP_LT:
        return a < b;
    case OP_LE:
        return a <= b;
    case OP_GT:
        return a > b;
    case OP_GE:
        return a >= b;
    case OP_EQ:
        return a == b;
    default:
        return a != b;
    }
}

static SQ_INLINE SQInteger bit_int(int op, SQInteger x, SQInteger y) {
    switch (op) {
    case OP_BAND:
        return x & y;
    case OP_BOR:
        return x | y;
    case OP_BXOR:
        return x ^ y;
    case OP_SHL:
        return SQInteger(SQUnsignedInteger(x) << (y & 63));
    case OP_SHR:
        return x >> (y & 63);
    default:
        return SQInteger(SQUnsignedInteger(x) >> (y & 63));
    }
}

static Value bitop(SQVM* v, int op, const Value& a, const Value& b) {
    if (a.type() != OT_INTEGER || b.type() != OT_INTEGER)
        sq_raise(v, "bitwise op between '%s' and '%s'", sq_type_name(a.type()),
                 sq_type_name(b.type()));
    SQInteger x = a.i(), y = b.i();
    switch (op) {
    case OP_BAND:
        return Value(x & y);
    case OP_BOR:
        return Value(x | y);
    case OP_BXOR:
        return Value(x ^ y);
    case OP_SHL:
        return Value(SQInteger(SQUnsignedInteger(x) << (y & 63)));
    case OP_SHR:
        return Value(x >> (y & 63));
    default:
        return Value(SQInteger(SQUnsignedInteger(x) >> (y & 63)));
    }
}

static Value unm(SQVM* v, const Value& a) {
    if (a.type() == OT_INTEGER) return Value(SQInteger(0 - SQUnsignedInteger(a.i())));
    if (a.type() == OT_FLOAT) return Value(-a.f());
    Value mm;
    if (sq_get_meta(v, a, MT_UNM, mm)) return sq_call_value(v, mm, a, nullptr, 0);
    sq_raise(v, "attempt to negate a %s", sq_type_name(a.type()));
}

static bool in_op(SQVM* v, const Value& key, const Value& obj) {
    Value tmp;
    switch (obj.type()) {
    case OT_TABLE:
        return sq_table_find(obj.tab(), key) != nullptr;
    case OT_CLASS:
        return sq_table_find(obj.cls()->members, key) != nullptr;
    case OT_INSTANCE:
        return sq_table_find(obj.ins()->cls->members, key) != nullptr;
    case OT_ARRAY:
    case OT_STRING:
        return sq_get(v, obj, key, tmp, true);
    default:
        return false;
    }
}

// ---------------------------------------------------------------- calls

static const char* typemask_names(uint32_t mask, std::string& out) {
    static const SQObjectType order[] = {OT_NULL,    OT_INTEGER,       OT_FLOAT,     OT_BOOL,
                                         OT_STRING,  OT_TABLE,         OT_ARRAY,     OT_USERDATA,
                                         OT_CLOSURE, OT_NATIVECLOSURE, OT_GENERATOR, OT_USERPOINTER,
                                         OT_THREAD,  OT_CLASS,         OT_INSTANCE};
    out.clear();
    for (SQObjectType t : order)
        if (mask & (uint32_t(t) & 0xFFFFFF)) {
            if (!out.empty()) out += "|";
            out += sq_type_name(t);
        }
    return out.c_str();
}

static void call_native(SQVM* v, ExecState& es, SQNativeClosure* nc, SQInteger ci,
                        SQInteger nargs) {
    SQInteger npc = nc->nparamscheck;
    if ((npc > 0 && nargs != npc) || (npc < 0 && nargs < -npc))
        sq_raise(v, "wrong number of parameters");
    for (size_t i = 0; i < nc->typecheck.size() && SQInteger(i) < nargs; ++i) {
        uint32_t m = nc->typecheck[i];
        if (m == 0xFFFFFFFF) continue;
        const Value& a = es.stack[size_t(ci + 1 + SQInteger(i))];
        if (!(m & (uint32_t(a.type()) & 0xFFFFFF))) {
            std::string names;
            sq_raise(v, "parameter %d has an invalid type '%s' ; expected: '%s'", int(i),
                     sq_type_name(a.type()), typemask_names(m, names));
        }
    }
    if (nc->env && nc->env->obj._type != OT_NULL) es.stack[size_t(ci + 1)] = Value(nc->env->obj);
    SQInteger need = ci + 1 + nargs + SQInteger(nc->outers.size()) + MIN_NATIVE_STACK;
    if (need > SQInteger(es.stack.size())) sq_ensure_stack(es, need);
    for (size_t i = 0; i < nc->outers.size(); ++i)
        es.stack[size_t(ci + 1 + nargs + SQInteger(i))] = nc->outers[i];
    Frame& f = es.frames.emplace_back();
    f.callee = nc;
    f.ip = nullptr;
    f.base = ci + 1;
    f.top = 0;
    f.flags = FRAME_NATIVE;
    f.ntries = 0;
    f.target = ci;
    es.top = ci + 1 + nargs + SQInteger(nc->outers.size());
    SQInteger r = nc->func(v);
    if (v->suspendRequested) return; // result arrives with the wakeup
    if (r < 0) {
        Value e = v->lasterror;
        throw SQException{e, false};
    }
    Value res;
    if (r > 0 && es.top > ci + 1) res = std::move(es.stack[size_t(es.top - 1)]);
    for (SQInteger i = es.top - 1; i > ci; --i) es.stack[size_t(i)].setNull();
    es.stack[size_t(ci)] = std::move(res);
    es.top = ci + 1;
    es.frames.pop_back();
}

static void push_closure_frame(SQVM* v, ExecState& es, SQClosure* cl, SQInteger ci, SQInteger nargs,
                               int flags) {
    SQFunctionProto* p = cl->proto;
    SQInteger np = p->nparams;
    SQInteger base = ci + 1;
    if (SQInteger(es.frames.size()) > 200000) sq_raise(v, "stack overflow");
    if (--v->budget <= 0) {
        v->budget = 0;
        sq_raise(v, "instruction limit exceeded");
    }
    if (base + p->stacksize + nargs + 8 > SQInteger(es.stack.size())) {
        try {
            sq_ensure_stack(es, base + p->stacksize + nargs + 8);
        } catch (SQException&) {
            sq_raise(v, "stack overflow");
        }
    }
    Value* s = es.stack.data();
    if (p->varargs) {
        if (nargs < np)
            sq_raise(v, "wrong number of parameters (%d passed, at least %d required)", int(nargs),
                     int(np));
        SQArray* va = sq_array_new(v->shared, nargs - np);
        for (SQInteger i = np; i < nargs; ++i) va->vals[size_t(i - np)] = std::move(s[base + i]);
        s[base + np] = Value(OT_ARRAY, va);
        es.top = base + np + 1;
    } else {
        if (nargs != np) {
            SQInteger nd = p->ndefaults;
            if (nargs < np && nargs >= np - nd) {
                for (SQInteger i = nargs; i < np; ++i)
                    s[base + i] = cl->defaults[size_t(nd - (np - i))];
            } else {
                sq_raise(v, "wrong number of parameters (%d passed, %d required)", int(nargs),
                         int(np));
            }
        }
        es.top = base + np;
    }
    // the environment is held weakly: once it is gone, this is null
    if (cl->env) s[base] = Value(cl->env->obj);
    // filled in place: a frame built on the C stack and copied stalls on store forwarding
    Frame& f = es.frames.emplace_back();
    f.callee = cl;
    f.ip = p->code.data();
    f.base = base;
    f.top = 0;
    f.flags = flags;
    f.ntries = 0;
    f.target = ci;
}

// A generator that has yielded holds its this weakly (as Squirrel does), so a generator method of
// a temporary object does not keep the object alive past the first value; until then the object
// is still held, as Squirrel's caller stack does. Slot 1 is this, under the generator's closure.
static void weaken_generator_this(SQVM* v, SQGenerator* g) {
    Value& self = g->es.stack[1];
    if (sq_rc(self.type()) && self.type() != OT_STRING && self.type() != OT_WEAKREF)
        self = Value(OT_WEAKREF, sq_weakref_of(v->shared, self));
}

static Value make_generator(SQVM* v, SQClosure* cl, ExecState& es, SQInteger ci, SQInteger nargs) {
    SQGenerator* g = sq_generator_new(v->shared);
    Value gv(OT_GENERATOR, g);
    g->closure = Value(OT_CLOSURE, cl);
    g->es.stack.resize(size_t(nargs + 1 + cl->proto->stacksize + 16));
    for (SQInteger i = 0; i <= nargs; ++i) g->es.stack[size_t(i)] = es.stack[size_t(ci + i)];
    g->es.top = nargs + 1;
    push_closure_frame(v, g->es, cl, 0, nargs, 0);
    return gv;
}

static void execute(SQVM* v, ExecState& es, SQInteger entry);

// An instance's arithmetic metamethod written in script, for the operands at stack[at] and
// stack[at + 1] (the top): pushes its frame so the running loop executes it, the result landing
// in stack[at]. False when the generic path must run (no such metamethod, a native or generator,
// string concatenation, or the nesting limit, which that path reports).
static bool push_meta_frame(SQVM* v, ExecState& es, SQInteger at, int op) {
    static const MetaMethod mm_of[] = {MT_ADD, MT_SUB, MT_MUL, MT_DIV, MT_MODULO};
    const Value& a = es.stack[size_t(at)];
    const Value& b = es.stack[size_t(at + 1)];
    if (a._type != OT_INSTANCE || (op == OP_ADD && b._type == OT_STRING)) return false;
    const Value& mm = a.ins()->cls->meta[mm_of[op - OP_ADD]];
    if (mm._type != OT_CLOSURE) return false;
    SQClosure* c = mm.clo();
    SQFunctionProto* p = c->proto;
    if (p->nparams != 2 || p->varargs || p->generator || c->env) return false;
    if (v->shared->nativeDepth + 1 > MAX_NATIVE_DEPTH) return false;
    if (at + 3 > SQInteger(es.stack.size())) {
        try {
            sq_ensure_stack(es, at + 3);
        } catch (SQException&) {
            sq_raise(v, "stack overflow");
        }
    }
    Value* s = es.stack.data();
    s[at + 2] = std::move(s[at + 1]);
    s[at + 1] = std::move(s[at]);
    s[at] = Value(OT_CLOSURE, c);
    es.top = at + 3;
    push_closure_frame(v, es, c, at, 2, FRAME_META);
    ++v->shared->nativeDepth;
    ++v->execDepth;
    return true;
}

// Starts a call of stack[ci]; returns true when a script frame was pushed and must be run.
static bool prep_call(SQVM* v, ExecState& es, SQInteger ci, SQInteger nargs) {
    Value& callee = es.stack[size_t(ci)];
    switch (callee.type()) {
    case OT_CLOSURE: {
        SQClosure* cl = callee.clo();
        if (cl->proto->generator) {
            Value g = make_generator(v, cl, es, ci, nargs);
            for (SQInteger i = es.top - 1; i > ci; --i) es.stack[size_t(i)].setNull();
            es.stack[size_t(ci)] = std::move(g);
            es.top = ci + 1;
            return false;
        }
        push_closure_frame(v, es, cl, ci, nargs, 0);
        return true;
    }
    case OT_NATIVECLOSURE:
        call_native(v, es, callee.ncl(), ci, nargs);
        return false;
    case OT_CLASS: {
        SQClass* c = callee.cls();
        Value inst = sq_create_instance(v, c);
        es.stack[size_t(ci + 1)] = inst;
        Value ctor = c->ctor;
        if (ctor.type() == OT_CLOSURE && ctor.clo()->proto->generator) {
            // a constructor that yields only makes a generator: the call gives null
            for (SQInteger i = es.top - 1; i >= ci; --i) es.stack[size_t(i)].setNull();
            es.top = ci + 1;
            return false;
        }
        if (ctor.type() == OT_CLOSURE) {
            es.stack[size_t(ci)] = ctor;
            push_closure_frame(v, es, ctor.clo(), ci, nargs, FRAME_CTOR);
            return true;
        }
        if (ctor.type() == OT_NATIVECLOSURE) {
            es.stack[size_t(ci)] = ctor;
            call_native(v, es, ctor.ncl(), ci, nargs);
        }
        for (SQInteger i = es.top - 1; i > ci; --i) es.stack[size_t(i)].setNull();
        es.stack[size_t(ci)] = std::move(inst);
        es.top = ci + 1;
        return false;
    }
    case OT_INSTANCE:
    case OT_TABLE:
    case OT_USERDATA: {
        Value mm;
        if (!sq_get_meta(v, callee, MT_CALL, mm))
            sq_raise(v, "attempt to call '%s'", sq_type_name(callee.type()));
        // a delegate's _call that is not a function is called anyway, and fails as such
        if (!sq_iscallable(mm)) sq_raise(v, "attempt to call '%s'", sq_type_name(mm.type()));
        Value self = callee;
        sq_ensure_stack(es, es.top + 2);
        for (SQInteger i = es.top; i > ci + 1; --i)
            es.stack[size_t(i)] = std::move(es.stack[size_t(i - 1)]);
        es.stack[size_t(ci + 1)] = self;
        es.stack[size_t(ci)] = mm;
        es.top++;
        return prep_call(v, es, ci, nargs + 1);
    }
    default:
        sq_raise(v, "attempt to call '%s'", sq_type_name(callee.type()));
    }
}

void sq_continue(SQVM* t) {
    execute(t, t->es, 0);
}

void sq_call_at(SQVM* v, SQInteger ci, SQInteger nargs) {
    ExecState& es = *v->cur;
    if (prep_call(v, es, ci, nargs)) execute(v, es, SQInteger(es.frames.size()) - 1);
}

Value sq_call_value(SQVM* v, const Value& fn, const Value& thisv, const Value* args, int nargs) {
    ExecState& es = *v->cur;
    SQInteger ci = es.top;
    sq_vpush(v, fn);
    sq_vpush(v, thisv);
    for (int i = 0; i < nargs; ++i) sq_vpush(v, args[i]);
    try {
        sq_call_at(v, ci, nargs + 1);
    } catch (...) {
        for (SQInteger i = es.top - 1; i >= ci; --i) es.stack[size_t(i)].setNull();
        es.top = ci;
        throw;
    }
    Value r = std::move(es.stack[size_t(ci)]);
    es.top = ci;
    return r;
}

SQInteger sq_frame_line(const Frame& f) {
    if (f.flags & FRAME_NATIVE) return -1;
    SQFunctionProto* p = static_cast<SQClosure*>(f.callee)->proto;
    SQInteger pc = SQInteger(f.ip - p->code.data()) - 1;
    if (pc < 0) pc = 0;
    if (pc >= SQInteger(p->lines.size())) return p->line;
    return p->lines[size_t(pc)];
}

void sq_call_errorhandler(SQVM* v, const Value& err) {
    if (v->errorhandler.isNull()) return;
    SQSharedState* ss = v->shared;
    Value eh = v->errorhandler;
    v->errorhandler.setNull(); // an error inside the handler does not recurse
    try {
        sq_call_value(v, eh, ss->roottable, &err, 1);
    } catch (SQException&) {
    }
    v->errorhandler = eh;
}

// ---------------------------------------------------------------- generators

static bool handle_exception(SQVM* v, ExecState& es, SQInteger entry, SQException& e);

void sq_resume_generator(SQVM* v, SQGenerator* g, Value& out, bool fromScript) {
    if (g->state == GEN_DEAD) sq_raise(v, "resuming dead generator");
    // a generator the thread suspended in goes on only once the wakeup completed its call
    if (g->state == GEN_RUNNING &&
        (g->heldBy != v || g->es.frames.empty() || (g->es.frames.back().flags & FRAME_NATIVE)))
        sq_raise(v, "resuming active generator");
    Value keep(OT_GENERATOR, g);
    g->state = GEN_RUNNING;
    g->heldBy = nullptr;
    ExecState* saved = v->cur;
    v->cur = &g->es;
    // the weak reference outlives the run, so the next yield reuses it instead of making another
    Value weakThis = g->es.stack[1];
    g->es.stack[1] = sq_deref(weakThis);
    // counted so that a thread may suspend through generators resumed straight from script
    if (fromScript) ++v->genResumes;
    try {
        if (v->raiseIn == &g->es) {
            // the thread was woken with an error while suspended in here
            v->raiseIn = nullptr;
            SQException e{v->wakeupError, false};
            v->wakeupError.setNull();
            if (!handle_exception(v, g->es, 0, e)) throw e;
        }
        execute(v, g->es, 0);
    } catch (...) {
        if (fromScript) --v->genResumes;
        v->cur = saved;
        g->state = GEN_DEAD;
        throw;
    }
    if (fromScript) --v->genResumes;
    v->cur = saved;
    if (v->suspendRequested) {
        g->heldBy = v; // still running: the thread resumes it when woken
        return;
    }
    if (g->es.frames.empty()) {
        g->state = GEN_DEAD;
        out = std::move(g->es.stack[0]);
        for (auto& s : g->es.stack) s.setNull();
        g->es.top = 0;
    } else {
        g->state = GEN_SUSPENDED;
        out = std::move(g->es.yielded);
        weaken_generator_this(v, g);
    }
}

// ---------------------------------------------------------------- the interpreter loop

static void unwind_frame(SQVM* v, ExecState& es) {
    Frame& f = es.frames.back();
    if (f.flags & FRAME_META) {
        --v->shared->nativeDepth;
        --v->execDepth;
    }
    close_outers(es, f.base - 1);
    v->catchers -= f.ntries;
    for (int i = 0; i < f.ntries; ++i) es.tries.pop_back();
    for (SQInteger i = es.top - 1; i > f.target; --i) es.stack[size_t(i)].setNull();
    es.top = f.target + 1;
    es.frames.pop_back();
}

static bool handle_exception(SQVM* v, ExecState& es, SQInteger entry, SQException& e) {
    // the innermost try of this execute level
    SQInteger hf = -1;
    for (SQInteger fi = SQInteger(es.frames.size()) - 1; fi >= entry; --fi)
        if (es.frames[size_t(fi)].ntries > 0) {
            hf = fi;
            break;
        }
    if (hf < 0) {
        if (!e.reported && v->catchers == 0 && v->raiseerror) {
            e.reported = true;
            v->lasterror = e.value;
            ExecState& saved = es;
            (void)saved;
            if (&es == v->cur) sq_call_errorhandler(v, e.value);
        }
        while (SQInteger(es.frames.size()) > entry) unwind_frame(v, es);
        return false;
    }
    while (SQInteger(es.frames.size()) - 1 > hf) unwind_frame(v, es);
    Frame& f = es.frames.back();
    TryHandler th = es.tries.back();
    es.tries.pop_back();
    f.ntries--;
    v->catchers--;
    close_outers(es, th.stackTop);
    for (SQInteger i = es.top - 1; i >= th.stackTop; --i) es.stack[size_t(i)].setNull();
    es.top = th.stackTop;
    es.stack[size_t(es.top++)] = e.value;
    f.ip = th.catchIp;
    return true;
}

static void run(SQVM* v, ExecState& es, SQInteger entry);

void sq_continue_throw(SQVM* t, const Value& err) {
    SQException e{err, false};
    if (!handle_exception(t, t->es, 0, e)) throw e;
    execute(t, t->es, 0);
}

// the root table a closure's globals resolve in: its own (setroot) or the VM's
static inline const Value& closure_root(SQSharedState* ss, const SQClosure* cl) {
    return cl->root.type() == OT_TABLE ? cl->root : ss->roottable;
}

static void execute(SQVM* v, ExecState& es, SQInteger entry) {
    // counted per shared state: threads calling threads all nest on the same C stack
    SQSharedState* ss = v->shared;
    if (++ss->nativeDepth > MAX_NATIVE_DEPTH) {
        --ss->nativeDepth;
        while (SQInteger(es.frames.size()) > entry) unwind_frame(v, es);
        sq_raise(v, "Native stack overflow");
    }
    ++v->execDepth;
    struct DepthGuard {
        SQVM* v;
        ~DepthGuard() {
            --v->shared->nativeDepth;
            --v->execDepth;
        }
    } dg{v};
    for (;;) {
        try {
            run(v, es, entry);
            return;
        } catch (SQException& e) {
            if (!handle_exception(v, es, entry, e)) throw;
        } catch (...) {
            while (SQInteger(es.frames.size()) > entry) unwind_frame(v, es);
            throw;
        }
    }
}

#define SYNC()                                                                                     \
    do {                                                                                           \
        es.top = sp - es.stack.data();                                                             \
        fr->ip = ip;                                                                               \
    } while (0)
#define RELOAD()                                                                                   \
    do {                                                                                           \
        fr = &es.frames.back();                                                                    \
        cl = static_cast<SQClosure*>(fr->callee);                                                  \
        proto = cl->proto;                                                                         \
        consts = proto->consts.data();                                                             \
        stk = es.stack.data() + fr->base;                                                          \
        sp = es.stack.data() + es.top;                                                             \
        ip = fr->ip;                                                                               \
    } while (0)
#define POP() (--sp)->setNull()

[[noreturn]] static void budget_exceeded(SQVM* v) {
    v->budget = 0;
    sq_raise(v, "instruction limit exceeded");
}

// A key missing from an object: a field of `this` is read from the root table instead, as a
// plain name would be; otherwise an error. Out of line to keep the interpreter loop small.
[[gnu::noinline]] static void get_missed(SQVM* v, SQClosure* cl, const Value& key, Value& out,
                                         bool onThis) {
    if (!onThis || !sq_get(v, closure_root(v->shared, cl), key, out, true)) raise_noindex(v, key);
}
// [base? attributes] -> class, for a class expression
[[gnu::noinline]] static Value new_class_op(SQVM* v, Value* sp, bool hasBase) {
    SQClass* base = nullptr;
    if (hasBase) {
        if (sp[-2].type() != OT_CLASS)
            sq_raise(v, "trying to inherit from a %s", sq_type_name(sp[-2].type()));
        base = sp[-2].cls();
    }
    Value c(OT_CLASS, sq_class_new(v->shared, base));
    c.cls()->attributes = sp[-1];
    return c;
}

// Lookup of a constant key that first tries the slot where the same instruction found its key
// last time (kept in the instruction's c). The slot is checked, never trusted, so the hint
// needs no invalidation when tables grow, shrink or differ between calls.
static SQ_INLINE Value* find_hinted(SQTable* t, const SQObject& k, const Instr& in) {
    if (in.c < t->cap) {
        TableNode& n = t->nodes[in.c];
        if (n.key._unVal.raw == k._unVal.raw && n.key._type == k._type) return &n.val;
    }
    Value* p = sq_table_find(t, k);
    if (p) {
        SQInteger at =
            reinterpret_cast<TableNode*>(reinterpret_cast<char*>(p) - offsetof(TableNode, val)) -
            t->nodes;
        if (at <= 0xFFFF) const_cast<Instr&>(in).c = uint16_t(at);
    }
    return p;
}

static void run(SQVM* v, ExecState& es, SQInteger entry) {
    // the fast paths' temporary: a local with a destructor may not span a computed jump, and
    // it is left null after each use
    Value scratch;
    Frame* fr;
    SQClosure* cl;
    SQFunctionProto* proto;
    Value* consts;
    Value* stk;
    Value* sp;
    const Instr* ip;
    RELOAD();
    SQSharedState* ss = v->shared;
    static void* const jt[OP_LAST] = {
        &&L_OP_LOADNULL,  &&L_OP_LOADTRUE,  &&L_OP_LOADFALSE, &&L_OP_LOADINT,  &&L_OP_LOADK,
        &&L_OP_GETLOCAL,  &&L_OP_SETLOCAL,  &&L_OP_SETLOCALP, &&L_OP_GETOUTER, &&L_OP_SETOUTER,
        &&L_OP_LOADROOT,  &&L_OP_GETK,      &&L_OP_GET,       &&L_OP_GETVAR,   &&L_OP_SETVAR,
        &&L_OP_SET,       &&L_OP_NEWSLOT,   &&L_OP_NEWSLOTT,  &&L_OP_NEWSLOTC, &&L_OP_DELETE,
        &&L_OP_ADD,       &&L_OP_SUB,       &&L_OP_MUL,       &&L_OP_DIV,      &&L_OP_MOD,
        &&L_OP_BAND,      &&L_OP_BOR,       &&L_OP_BXOR,      &&L_OP_SHL,      &&L_OP_SHR,
        &&L_OP_USHR,      &&L_OP_EQ,        &&L_OP_NE,        &&L_OP_LT,       &&L_OP_LE,
        &&L_OP_GT,        &&L_OP_GE,        &&L_OP_CMP3,      &&L_OP_IN,       &&L_OP_INSTANCEOF,
        &&L_OP_UNM,       &&L_OP_NOT,       &&L_OP_BNOT,      &&L_OP_TYPEOF,   &&L_OP_CLONE,
        &&L_OP_JMP,       &&L_OP_JZ,        &&L_OP_JNZ,       &&L_OP_ANDJ,     &&L_OP_ORJ,
        &&L_OP_CALL,      &&L_OP_PREPCALLK, &&L_OP_PREPCALL,  &&L_OP_RETURN,   &&L_OP_NEWTABLE,
        &&L_OP_NEWARRAY,  &&L_OP_APPEND,    &&L_OP_CLOSURE,   &&L_OP_CLOSE,    &&L_OP_POP,
        &&L_OP_DUP,       &&L_OP_DUP2,      &&L_OP_SETTOP,    &&L_OP_FOREACH,  &&L_OP_TRY,
        &&L_OP_POPTRY,    &&L_OP_THROW,     &&L_OP_YIELD,     &&L_OP_RESUME,   &&L_OP_NEWCLASS,
        &&L_OP_CLASSDONE, &&L_OP_GETBASE,   &&L_OP_CALLEE,    &&L_OP_INCL,     &&L_OP_INC,
        &&L_OP_POSTINCF,  &&L_OP_SWAPUNDER, &&L_OP_JCMPF,     &&L_OP_JCMPT,    &&L_OP_ADDI,
        &&L_OP_ADDL,      &&L_OP_SUBL,      &&L_OP_MULL,      &&L_OP_DIVL,     &&L_OP_ADDK,
        &&L_OP_SUBK,      &&L_OP_MULK,      &&L_OP_DIVK,      &&L_OP_BITL,     &&L_OP_BITK,
        &&L_OP_JCMPFL,    &&L_OP_JCMPTL,    &&L_OP_JCMPFK,    &&L_OP_JCMPTK,   &&L_OP_GETVART,
        &&L_OP_GETLOCALT};
    // the current instruction is read in place: a copy of it would live on the C stack
    const Instr* cur;
#define in (*cur)
#define NEXT()                                                                                     \
    do {                                                                                           \
        cur = ip++;                                                                                \
        goto* jt[cur->op];                                                                         \
    } while (0)
    for (;;) {
        cur = ip++;
        switch (in.op) {
        case OP_LOADNULL:
        L_OP_LOADNULL:
            (sp++)->setNull();
            NEXT();
        case OP_LOADTRUE:
        L_OP_LOADTRUE:
            *sp++ = Value(true);
            NEXT();
        case OP_LOADFALSE:
        L_OP_LOADFALSE:
            *sp++ = Value(false);
            NEXT();
        case OP_LOADINT:
        L_OP_LOADINT:
            (sp++)->setInt(in.b);
            NEXT();
        case OP_LOADK:
        L_OP_LOADK:
            *sp++ = consts[in.b];
            NEXT();
        case OP_GETLOCAL:
        L_OP_GETLOCAL:
            *sp++ = stk[in.b];
            NEXT();
        case OP_GETLOCALT:
        L_OP_GETLOCALT:
            sp[0] = stk[in.b];
            sp[1] = stk[0];
            sp += 2;
            NEXT();
        case OP_SETLOCAL:
        L_OP_SETLOCAL:
            stk[in.b] = sp[-1];
            NEXT();
        case OP_SETLOCALP:
        L_OP_SETLOCALP:
            stk[in.b] = std::move(sp[-1]);
            --sp;
            NEXT();
        case OP_GETOUTER:
        L_OP_GETOUTER:
            *sp++ = outer_val(cl->outers[size_t(in.b)]);
            NEXT();
        case OP_SETOUTER:
        L_OP_SETOUTER:
            outer_val(cl->outers[size_t(in.b)]) = sp[-1];
            NEXT();
        case OP_LOADROOT:
        L_OP_LOADROOT:
            *sp++ = closure_root(ss, cl);
            NEXT();
        case OP_GETK:
        L_OP_GETK : {
            Value& o = sp[-1];
            const Value& k = consts[in.b];
            if (o.type() == OT_TABLE) {
                if (Value* p = find_hinted(o.tab(), k, in)) {
                    if (p->type() != OT_WEAKREF) {
                        o = *p;
                        NEXT();
                    }
                }
            } else if (o.type() == OT_INSTANCE) {
                SQInstance* ins = o.ins();
                if (Value* p = find_hinted(ins->cls->members, k, in)) {
                    Value r = p->type() == OT_USERPOINTER ? sq_deref(ins->vals[size_t(p->i())])
                                                          : sq_deref(*p);
                    o = std::move(r);
                    break;
                }
            }
            SYNC();
            Value r;
            Value obj = o;
            if (!sq_get(v, obj, k, r)) get_missed(v, cl, k, r, in.a);
            RELOAD();
            sp[-1] = std::move(r);
            break;
        }
        case OP_GET:
        L_OP_GET : {
            // array elements by integer and table slots, copied out before the container's
            // stack slot is overwritten (it may hold the last reference)
            if (sp[-2]._type == OT_ARRAY && sp[-1]._type == OT_INTEGER) {
                auto& vals = sp[-2].arr()->vals;
                SQInteger idx = sp[-1]._unVal.nInteger;
                if (idx >= 0 && idx < SQInteger(vals.size()) &&
                    vals[size_t(idx)]._type != OT_WEAKREF) {
                    scratch = vals[size_t(idx)];
                    POP();
                    sp[-1] = std::move(scratch);
                    NEXT();
                }
            } else if (sp[-2]._type == OT_TABLE) {
                Value* p = sq_table_find(sp[-2].tab(), sp[-1]);
                if (p && p->_type != OT_WEAKREF) {
                    scratch = *p;
                    POP();
                    sp[-1] = std::move(scratch);
                    NEXT();
                }
            }
            SYNC();
            Value r;
            Value obj = sp[-2], key = sp[-1];
            if (!sq_get(v, obj, key, r)) get_missed(v, cl, key, r, in.a);
            RELOAD();
            POP();
            sp[-1] = std::move(r);
            break;
        }
        case OP_GETVAR:
        L_OP_GETVAR:
        case OP_GETVART:
        L_OP_GETVART : {
            const Value& k = consts[in.b];
            Value& self = stk[0];
            {
                // a miss in this falls back to this's default delegate, then the root table;
                // straight there when nothing in between (delegates, _get) could answer
                bool toRoot = false;
                if (self.type() == OT_TABLE) {
                    if (Value* p = find_hinted(self.tab(), k, in)) {
                        *sp++ = sq_deref(*p);
                        goto getvar_this;
                    }
                    toRoot = !self.tab()->delegate;
                } else if (self.type() == OT_INSTANCE) {
                    SQInstance* ins = self.ins();
                    if (Value* p = find_hinted(ins->cls->members, k, in)) {
                        *sp++ = p->type() == OT_USERPOINTER ? sq_deref(ins->vals[size_t(p->i())])
                                                            : sq_deref(*p);
                        goto getvar_this;
                    }
                    toRoot = ins->cls->meta[MT_GET].isNull();
                }
                if (toRoot) {
                    SQTable* dd = default_delegate(ss, self.type());
                    const Value& root = closure_root(ss, cl);
                    if ((!dd || !sq_table_find(dd, k)) && root._type == OT_TABLE)
                        if (Value* p = find_hinted(root.tab(), k, in)) {
                            *sp++ = sq_deref(*p);
                            goto getvar_this;
                        }
                }
            }
            SYNC();
            Value r;
            Value selfv = self;
            bool found = sq_get(v, selfv, k, r);
            if (!found) found = sq_get(v, closure_root(ss, cl), k, r, true);
            if (!found) raise_noindex(v, k);
            RELOAD();
            *sp++ = std::move(r);
            if (in.op == OP_GETVART) *sp++ = stk[0];
            break;
        }
        getvar_this:
            if (in.op == OP_GETVART) *sp++ = stk[0];
            NEXT();
        case OP_SETVAR:
        L_OP_SETVAR : {
            const Value& k = consts[in.b];
            Value& self = stk[0];
            if (self.type() == OT_TABLE) {
                if (Value* p = find_hinted(self.tab(), k, in)) {
                    *p = sp[-1];
                    NEXT();
                }
            } else if (self.type() == OT_INSTANCE) {
                SQInstance* ins = self.ins();
                Value* p = find_hinted(ins->cls->members, k, in);
                if (p && p->type() == OT_USERPOINTER) {
                    ins->vals[size_t(p->i())] = sp[-1];
                    NEXT();
                }
            }
            SYNC();
            Value selfv = self, val = sp[-1], tmp, root = closure_root(ss, cl);
            if (!sq_get(v, selfv, k, tmp, true) && root.tab() != selfv.tab() &&
                sq_table_find(root.tab(), k))
                sq_set(v, root, k, val);
            else
                sq_set(v, selfv, k, val);
            RELOAD();
            break;
        }
        case OP_SET:
        L_OP_SET : {
            {
                Value* slot = nullptr;
                if (sp[-3]._type == OT_ARRAY && sp[-2]._type == OT_INTEGER) {
                    auto& vals = sp[-3].arr()->vals;
                    SQInteger idx = sp[-2]._unVal.nInteger;
                    if (idx >= 0 && idx < SQInteger(vals.size())) slot = &vals[size_t(idx)];
                } else if (sp[-3]._type == OT_TABLE) {
                    slot = sq_table_find(sp[-3].tab(), sp[-2]);
                }
                if (slot) {
                    *slot = sp[-1];
                    sp[-3] = std::move(sp[-1]);
                    sp[-2].setNull();
                    sp -= 2;
                    NEXT();
                }
            }
            SYNC();
            Value obj = sp[-3], key = sp[-2], val = sp[-1];
            sq_set(v, obj, key, val);
            RELOAD();
            POP();
            POP();
            sp[-1] = std::move(val);
            break;
        }
        case OP_NEWSLOT:
        L_OP_NEWSLOT:
        case OP_NEWSLOTT:
        L_OP_NEWSLOTT : {
            if (in.op == OP_NEWSLOTT && sp[-3].type() == OT_TABLE && !sp[-2].isNull()) {
                sq_table_set(sp[-3].tab(), sp[-2], sp[-1]);
                POP();
                POP();
                NEXT();
            }
            // a table without delegates has no _newslot to ask
            if (in.op == OP_NEWSLOT && sp[-3]._type == OT_TABLE && !sp[-3].tab()->delegate &&
                !sp[-2].isNull()) {
                sq_table_set(sp[-3].tab(), sp[-2], sp[-1]);
                sp[-3] = std::move(sp[-1]);
                sp[-2].setNull();
                sp -= 2;
                NEXT();
            }
            SYNC();
            Value obj = sp[-3], key = sp[-2], val = sp[-1];
            sq_newslot_op(v, obj, key, val, in.a != 0);
            RELOAD();
            POP();
            POP();
            if (in.op == OP_NEWSLOT) sp[-1] = std::move(val);
            break;
        }
        case OP_NEWSLOTC:
        L_OP_NEWSLOTC : {
            SYNC();
            class_member_op(v, sp, in.a != 0);
            RELOAD();
            POP();
            POP();
            POP();
            break;
        }
        case OP_DELETE:
        L_OP_DELETE : {
            if (sp[-2]._type == OT_TABLE && !sp[-2].tab()->delegate) {
                if (sq_table_remove(sp[-2].tab(), sp[-1], &scratch)) {
                    POP();
                    sp[-1] = std::move(scratch);
                    NEXT();
                }
            }
            SYNC();
            Value obj = sp[-2], key = sp[-1];
            Value r = sq_delete_op(v, obj, key);
            RELOAD();
            POP();
            sp[-1] = std::move(r);
            break;
        }
        case OP_ADD:
        L_OP_ADD:
        case OP_SUB:
        L_OP_SUB:
        case OP_MUL:
        L_OP_MUL : {
            Value& a = sp[-2];
            Value& b = sp[-1];
            if (a._type == OT_INTEGER && b._type == OT_INTEGER) {
                SQUnsignedInteger x = SQUnsignedInteger(a._unVal.nInteger),
                                  y = SQUnsignedInteger(b._unVal.nInteger);
                a._unVal.nInteger = SQInteger(in.op == OP_ADD   ? x + y
                                              : in.op == OP_SUB ? x - y
                                                                : x * y);
                --sp;
                sp->_type = OT_NULL;
                NEXT();
            }
            if (sq_isnumeric(a) && sq_isnumeric(b)) {
                SQFloat x = num_f(a), y = num_f(b);
                a.setFloat(in.op == OP_ADD ? x + y : in.op == OP_SUB ? x - y : x * y);
                --sp;
                sp->_type = OT_NULL;
                NEXT();
            }
            [[fallthrough]];
        }
        case OP_DIV:
        L_OP_DIV:
        case OP_MOD:
        L_OP_MOD : {
            if (in.op == OP_DIV && sq_isnumeric(sp[-2]) && sq_isnumeric(sp[-1]) &&
                (sp[-2]._type == OT_FLOAT || sp[-1]._type == OT_FLOAT)) {
                sp[-2].setFloat(num_f(sp[-2]) / num_f(sp[-1]));
                --sp;
                sp->_type = OT_NULL;
                NEXT();
            }
            SYNC();
            if (push_meta_frame(v, es, es.top - 2, in.op)) {
                RELOAD();
                NEXT();
            }
            Value a = sp[-2], b = sp[-1];
            Value r = arith(v, in.op, a, b);
            RELOAD();
            POP();
            sp[-1] = std::move(r);
            break;
        }
        case OP_BAND:
        L_OP_BAND:
        case OP_BOR:
        L_OP_BOR:
        case OP_BXOR:
        L_OP_BXOR:
        case OP_SHL:
        L_OP_SHL:
        case OP_SHR:
        L_OP_SHR:
        case OP_USHR:
        L_OP_USHR : {
            if (sp[-2]._type == OT_INTEGER && sp[-1]._type == OT_INTEGER) {
                sp[-2]._unVal.nInteger =
                    bit_int(in.op, sp[-2]._unVal.nInteger, sp[-1]._unVal.nInteger);
                --sp;
                sp->_type = OT_NULL;
                NEXT();
            }
            SYNC();
            Value r = bitop(v, in.op, sp[-2], sp[-1]);
            POP();
            sp[-1] = std::move(r);
            break;
        }
        case OP_EQ:
        L_OP_EQ:
        case OP_NE:
        L_OP_NE : {
            bool r = sq_equals(sp[-2], sp[-1]);
            POP();
            sp[-1] = Value(in.op == OP_EQ ? r : !r);
            NEXT();
        }
        case OP_LT:
        L_OP_LT:
        case OP_LE:
        L_OP_LE:
        case OP_GT:
        L_OP_GT:
        case OP_GE:
        L_OP_GE:
        case OP_CMP3:
        L_OP_CMP3 : {
            SQInteger c;
            if (sp[-2]._type == OT_INTEGER && sp[-1]._type == OT_INTEGER) {
                SQInteger x = sp[-2].i(), y = sp[-1].i();
                c = x < y ? -1 : (x > y ? 1 : 0);
            } else {
                SYNC();
                Value a = sp[-2], b = sp[-1];
                c = sq_compare(v, a, b);
                RELOAD();
            }
            POP();
            switch (in.op) {
            case OP_LT:
                sp[-1] = Value(c < 0);
                break;
            case OP_LE:
                sp[-1] = Value(c <= 0);
                break;
            case OP_GT:
                sp[-1] = Value(c > 0);
                break;
            case OP_GE:
                sp[-1] = Value(c >= 0);
                break;
            default:
                sp[-1] = Value(c);
                break;
            }
            NEXT();
        }
        case OP_JCMPF:
        L_OP_JCMPF:
        case OP_JCMPT:
        L_OP_JCMPT : {
            SQInteger c;
            Value& x = sp[-2];
            Value& y = sp[-1];
            bool r;
            if (x._type == OT_INTEGER && y._type == OT_INTEGER) {
                SQInteger a = x._unVal.nInteger, b = y._unVal.nInteger;
                switch (in.a) {
                case OP_LT:
                    r = a < b;
                    break;
                case OP_LE:
                    r = a <= b;
                    break;
                case OP_GT:
                    r = a > b;
                    break;
                case OP_GE:
                    r = a >= b;
                    break;
                case OP_EQ:
                    r = a == b;
                    break;
                default:
                    r = a != b;
                    break;
                }
                sp -= 2;
                sp[0]._type = OT_NULL;
                sp[1]._type = OT_NULL;
            } else {
                if (in.a == OP_EQ || in.a == OP_NE) {
                    r = sq_equals(x, y) == (in.a == OP_EQ);
                } else {
                    SYNC();
                    Value a = x, b = y;
                    c = sq_compare(v, a, b);
                    RELOAD();
                    switch (in.a) {
                    case OP_LT:
                        r = c < 0;
                        break;
                    case OP_LE:
                        r = c <= 0;
                        break;
                    case OP_GT:
                        r = c > 0;
                        break;
                    default:
                        r = c >= 0;
                        break;
                    }
                }
                POP();
                POP();
            }
            if (r == (in.op == OP_JCMPT)) {
                if (in.b < ip - proto->code.data() && --v->budget <= 0) {
                    SYNC();
                    budget_exceeded(v);
                }
                ip = proto->code.data() + in.b;
            }
            NEXT();
        }
        case OP_ADDI:
        L_OP_ADDI : {
            Value& x = sp[-1];
            SQInteger k = in.a == OP_ADD ? SQInteger(in.b) : -SQInteger(in.b);
            if (x._type == OT_INTEGER) {
                x._unVal.nInteger =
                    SQInteger(SQUnsignedInteger(x._unVal.nInteger) + SQUnsignedInteger(k));
                NEXT();
            }
            if (x._type == OT_FLOAT) {
                x._unVal.fFloat += SQFloat(k);
                NEXT();
            }
            SYNC();
            Value a = x, b(SQInteger(in.b));
            Value r = arith(v, in.a, a, b);
            RELOAD();
            sp[-1] = std::move(r);
            break;
        }
#define ARITH_OPND(OPC, BASE, Y)                                                                   \
    case OPC:                                                                                      \
        L_##OPC : {                                                                                \
            if (arith_fast(BASE, sp[-1], Y)) NEXT();                                               \
            if (sp[-1]._type == OT_INSTANCE) {                                                     \
                *sp++ = Y;                                                                         \
                SYNC();                                                                            \
                if (push_meta_frame(v, es, es.top - 2, BASE)) {                                    \
                    RELOAD();                                                                      \
                    NEXT();                                                                        \
                }                                                                                  \
                POP();                                                                             \
            }                                                                                      \
            SYNC();                                                                                \
            Value a = sp[-1], b = Y;                                                               \
            Value r = arith(v, BASE, a, b);                                                        \
            RELOAD();                                                                              \
            sp[-1] = std::move(r);                                                                 \
            break; /* leaves the scope, so a and b are released */                                 \
        }
            ARITH_OPND(OP_ADDL, OP_ADD, stk[in.b])
            ARITH_OPND(OP_SUBL, OP_SUB, stk[in.b])
            ARITH_OPND(OP_MULL, OP_MUL, stk[in.b])
            ARITH_OPND(OP_DIVL, OP_DIV, stk[in.b])
            ARITH_OPND(OP_ADDK, OP_ADD, consts[in.b])
            ARITH_OPND(OP_SUBK, OP_SUB, consts[in.b])
            ARITH_OPND(OP_MULK, OP_MUL, consts[in.b])
            ARITH_OPND(OP_DIVK, OP_DIV, consts[in.b])
#undef ARITH_OPND
        case OP_BITL:
        L_OP_BITL:
        case OP_BITK:
        L_OP_BITK : {
            const Value& y = in.op == OP_BITL ? stk[in.b] : consts[in.b];
            if (sp[-1]._type == OT_INTEGER && y._type == OT_INTEGER) {
                sp[-1]._unVal.nInteger = bit_int(in.a, sp[-1]._unVal.nInteger, y._unVal.nInteger);
                NEXT();
            }
            SYNC();
            Value r = bitop(v, in.a, sp[-1], y);
            sp[-1] = std::move(r);
            break;
        }
#define JCMP_OPND(OPC, WHEN, Y)                                                                    \
    case OPC:                                                                                      \
        L_##OPC : {                                                                                \
            Value& x = sp[-1];                                                                     \
            const Value& y = Y;                                                                    \
            bool r;                                                                                \
            if (x._type == OT_INTEGER && y._type == OT_INTEGER) {                                  \
                r = int_cmp(in.a, x._unVal.nInteger, y._unVal.nInteger);                           \
                --sp;                                                                              \
                sp->_type = OT_NULL;                                                               \
            } else {                                                                               \
                if (in.a == OP_EQ || in.a == OP_NE) {                                              \
                    r = sq_equals(x, y) == (in.a == OP_EQ);                                        \
                } else {                                                                           \
                    SYNC();                                                                        \
                    Value a = x, b = y;                                                            \
                    SQInteger c = sq_compare(v, a, b);                                             \
                    RELOAD();                                                                      \
                    r = int_cmp(in.a, c, 0);                                                       \
                }                                                                                  \
                POP();                                                                             \
            }                                                                                      \
            if (r == WHEN) {                                                                       \
                if (in.b < ip - proto->code.data() && --v->budget <= 0) {                          \
                    SYNC();                                                                        \
                    budget_exceeded(v);                                                            \
                }                                                                                  \
                ip = proto->code.data() + in.b;                                                    \
            }                                                                                      \
            NEXT();                                                                                \
        }
            JCMP_OPND(OP_JCMPFL, false, stk[in.c])
            JCMP_OPND(OP_JCMPTL, true, stk[in.c])
            JCMP_OPND(OP_JCMPFK, false, consts[in.c])
            JCMP_OPND(OP_JCMPTK, true, consts[in.c])
#undef JCMP_OPND
        case OP_IN:
        L_OP_IN : {
            SYNC();
            bool r = in_op(v, sp[-2], sp[-1]);
            POP();
            sp[-1] = Value(r);
            NEXT();
        }
        case OP_INSTANCEOF:
        L_OP_INSTANCEOF : {
            Value& o = sp[-2];
            Value& c = sp[-1];
            if (c.type() != OT_CLASS) {
                SYNC();
                sq_raise(v, "cannot apply instanceof between a %s and a %s", sq_type_name(c.type()),
                         sq_type_name(o.type()));
            }
            bool r = false;
            if (o.type() == OT_INSTANCE)
                for (SQClass* k = o.ins()->cls; k; k = k->base)
                    if (k == c.cls()) r = true;
            POP();
            sp[-1] = Value(r);
            NEXT();
        }
        case OP_UNM:
        L_OP_UNM : {
            if (sp[-1]._type == OT_INTEGER) {
                sp[-1]._unVal.nInteger = SQInteger(0 - SQUnsignedInteger(sp[-1]._unVal.nInteger));
                NEXT();
            }
            SYNC();
            Value a = sp[-1];
            Value r = unm(v, a);
            RELOAD();
            sp[-1] = std::move(r);
            break;
        }
        case OP_NOT:
        L_OP_NOT:
            sp[-1] = Value(is_false(sp[-1]));
            NEXT();
        case OP_BNOT:
        L_OP_BNOT:
            if (sp[-1].type() != OT_INTEGER) {
                SYNC();
                sq_raise(v, "attempt to perform a bitwise op on a %s", sq_type_name(sp[-1].type()));
            }
            sp[-1]._unVal.nInteger = ~sp[-1]._unVal.nInteger;
            NEXT();
        case OP_TYPEOF:
        L_OP_TYPEOF : {
            SYNC();
            Value a = sp[-1];
            Value r = sq_typeof_op(v, a);
            RELOAD();
            sp[-1] = std::move(r);
            break;
        }
        case OP_CLONE:
        L_OP_CLONE : {
            SYNC();
            Value a = sp[-1];
            Value r = sq_clone_op(v, a);
            RELOAD();
            sp[-1] = std::move(r);
            break;
        }
        case OP_JMP:
        L_OP_JMP:
            if (in.b < ip - proto->code.data() && --v->budget <= 0) {
                SYNC();
                budget_exceeded(v);
            }
            ip = proto->code.data() + in.b;
            NEXT();
        case OP_JZ:
        L_OP_JZ : {
            bool f = is_false(sp[-1]);
            POP();
            if (f) ip = proto->code.data() + in.b;
            NEXT();
        }
        case OP_JNZ:
        L_OP_JNZ : {
            bool f = is_false(sp[-1]);
            POP();
            if (!f) {
                if (in.b < ip - proto->code.data() && --v->budget <= 0) {
                    SYNC();
                    budget_exceeded(v);
                }
                ip = proto->code.data() + in.b;
            }
            NEXT();
        }
        case OP_ANDJ:
        L_OP_ANDJ:
            if (is_false(sp[-1]))
                ip = proto->code.data() + in.b;
            else
                POP();
            NEXT();
        case OP_ORJ:
        L_OP_ORJ:
            if (!is_false(sp[-1]))
                ip = proto->code.data() + in.b;
            else
                POP();
            NEXT();
        case OP_CALL:
        L_OP_CALL : {
            if (--v->budget <= 0) {
                SYNC();
                budget_exceeded(v);
            }
            SQInteger nargs = in.a;
            SQInteger ci = (sp - es.stack.data()) - nargs - 1;
            SYNC();
            Value& callee = es.stack[size_t(ci)];
            if (callee._type == OT_CLOSURE) {
                SQClosure* c = callee.clo();
                SQFunctionProto* p = c->proto;
                if (p->nparams == nargs && !p->varargs && !p->generator && !c->env &&
                    ci + 1 + p->stacksize + 8 <= SQInteger(es.stack.size()) &&
                    es.frames.size() < 200000) {
                    Frame& f = es.frames.emplace_back();
                    f.callee = c;
                    f.ip = p->code.data();
                    f.base = ci + 1;
                    f.top = 0;
                    f.flags = 0;
                    f.ntries = 0;
                    f.target = ci;
                    fr = &f;
                    cl = c;
                    proto = p;
                    consts = p->consts.data();
                    stk = es.stack.data() + ci + 1;
                    ip = f.ip;
                    NEXT();
                }
                if (!p->generator) {
                    push_closure_frame(v, es, c, ci, nargs, 0);
                    RELOAD();
                    NEXT();
                }
            } else if (callee._type == OT_NATIVECLOSURE) {
                SQNativeClosure* nc = callee.ncl();
                if (nc->leaf && !nc->env) {
                    if (nc->leaf(&es.stack[size_t(ci + 1)], nargs, scratch)) {
                        Value* res = es.stack.data() + ci;
                        while (sp > res + 1) (--sp)->setNull();
                        *res = std::move(scratch);
                        NEXT();
                    }
                    scratch.setNull();
                }
                call_native(v, es, nc, ci, nargs);
                if (v->suspendRequested) return; // suspended inside the native
                RELOAD();
                NEXT();
            }
            bool pushed = prep_call(v, es, ci, nargs);
            if (v->suspendRequested && !pushed) {
                return; // thread suspended inside a native call
            }
            RELOAD();
            NEXT();
        }
        case OP_PREPCALLK:
        L_OP_PREPCALLK:
        case OP_PREPCALL:
        L_OP_PREPCALL : {
            if (in.op == OP_PREPCALLK) {
                // methods of instances and functions in tables, without copying the receiver
                Value& o = sp[-1];
                const Value& k = consts[in.b];
                Value* p = nullptr;
                if (o._type == OT_INSTANCE) {
                    p = find_hinted(o.ins()->cls->members, k, in);
                    if (p && p->_type == OT_USERPOINTER) p = &o.ins()->vals[size_t(p->i())];
                } else if (o._type == OT_TABLE) {
                    p = find_hinted(o.tab(), k, in);
                } else if (k._type == OT_STRING &&
                           (o._type &
                            (OT_ARRAY | OT_STRING | OT_INTEGER | OT_FLOAT | OT_BOOL | OT_CLOSURE |
                             OT_NATIVECLOSURE | OT_GENERATOR) &
                            0xFFFFFF)) {
                    // values whose methods come only from their type's default delegate
                    if (SQTable* dd = default_delegate(ss, o._type)) p = find_hinted(dd, k, in);
                }
                if (p && p->_type != OT_WEAKREF) {
                    *sp = std::move(o);
                    o = *p;
                    ++sp;
                    NEXT();
                }
            }
            SYNC();
            Value obj, key;
            if (in.op == OP_PREPCALLK) {
                obj = sp[-1];
                key = consts[in.b];
            } else {
                obj = sp[-2];
                key = sp[-1];
            }
            Value fn;
            bool found = false;
            if (obj.type() == OT_INSTANCE) {
                SQInstance* ins = obj.ins();
                if (Value* p = sq_table_find(ins->cls->members, key)) {
                    fn = p->type() == OT_USERPOINTER ? sq_deref(ins->vals[size_t(p->i())])
                                                     : sq_deref(*p);
                    found = true;
                }
            }
            if (!found && !sq_get(v, obj, key, fn)) get_missed(v, cl, key, fn, in.a);
            RELOAD();
            if (in.op == OP_PREPCALLK) {
                sp[-1] = std::move(fn);
                *sp++ = std::move(obj);
            } else {
                sp[-2] = std::move(fn);
                sp[-1] = std::move(obj);
            }
            break;
        }
        case OP_RETURN:
        L_OP_RETURN : {
            Value r;
            if (in.a) r = std::move(*--sp);
            SQInteger base = fr->base;
            if (es.openOuters && es.openOuters->index >= base - 1) close_outers(es, base - 1);
            if (fr->ntries) {
                v->catchers -= fr->ntries;
                es.tries.resize(es.tries.size() - size_t(fr->ntries));
            }
            if (fr->flags & (FRAME_CTOR | FRAME_META)) {
                if (fr->flags & FRAME_CTOR) r = stk[0];
                if (fr->flags & FRAME_META) {
                    --ss->nativeDepth;
                    --v->execDepth;
                }
            }
            SQInteger target = fr->target;
            Value* lim = es.stack.data() + target;
            while (sp > lim) (--sp)->setNull();
            *sp++ = std::move(r);
            es.top = sp - es.stack.data();
            es.frames.pop_back();
            if (SQInteger(es.frames.size()) <= entry) return;
            RELOAD();
            break;
        }
        case OP_NEWTABLE:
        L_OP_NEWTABLE:
            *sp++ = Value(OT_TABLE, sq_table_new(ss));
            NEXT();
        case OP_NEWARRAY:
        L_OP_NEWARRAY : {
            SQArray* a = sq_array_new(ss, 0);
            a->vals.reserve(size_t(in.b));
            *sp++ = Value(OT_ARRAY, a);
            NEXT();
        }
        case OP_APPEND:
        L_OP_APPEND:
            sp[-2].arr()->vals.push_back(std::move(sp[-1]));
            --sp;
            NEXT();
        case OP_CLOSURE:
        L_OP_CLOSURE : {
            SQFunctionProto* p = proto->children[size_t(in.b)];
            SQClosure* c = sq_closure_new(ss, p);
            Value cv(OT_CLOSURE, c);
            c->root = ss->roottable; // the root at creation, kept across setroottable
            c->outers.reserve(p->outers.size());
            for (auto& oi : p->outers) {
                SQOuter* o;
                if (oi.fromLocal)
                    o = find_outer(ss, es, fr->base + oi.index);
                else
                    o = cl->outers[size_t(oi.index)];
                sq_incref(o);
                c->outers.push_back(o);
            }
            if (p->ndefaults) {
                // default values were pushed before the closure op
                c->defaults.resize(size_t(p->ndefaults));
                for (SQInteger i = p->ndefaults - 1; i >= 0; --i) {
                    c->defaults[size_t(i)] = std::move(*--sp);
                }
            }
            *sp++ = std::move(cv);
            break;
        }
        case OP_CLOSE:
        L_OP_CLOSE:
            if (es.openOuters && es.openOuters->index >= fr->base + in.b)
                close_outers(es, fr->base + in.b);
            NEXT();
        case OP_POP:
        L_OP_POP:
            POP();
            NEXT();
        case OP_DUP:
        L_OP_DUP:
            *sp = sp[-1];
            ++sp;
            NEXT();
        case OP_DUP2:
        L_OP_DUP2:
            sp[0] = sp[-2];
            sp[1] = sp[-1];
            sp += 2;
            NEXT();
        case OP_SWAPUNDER:
        L_OP_SWAPUNDER : { // [a b c] -> [c a b]
            Value c = std::move(sp[-1]);
            sp[-1] = std::move(sp[-2]);
            sp[-2] = std::move(sp[-3]);
            sp[-3] = std::move(c);
            break;
        }
        case OP_SETTOP:
        L_OP_SETTOP : {
            Value* lim = stk + in.b;
            while (sp > lim) POP();
            NEXT();
        }
        case OP_FOREACH:
        L_OP_FOREACH : {
            Value* slots = stk + in.c; // container, iterator, key, value
            Value& cont = slots[0];
            Value& it = slots[1];
            SQInteger pos = it.type() == OT_INTEGER ? it.i() : 0;
            bool done = false;
            switch (cont.type()) {
            case OT_ARRAY: {
                auto& vals = cont.arr()->vals;
                if (pos < SQInteger(vals.size())) {
                    slots[2].setInt(pos);
                    slots[3] = sq_deref(vals[size_t(pos)]);
                    it.setInt(pos + 1);
                } else
                    done = true;
                break;
            }
            case OT_TABLE: {
                SQInteger p2 = pos;
                Value k, val;
                if (sq_table_next(cont.tab(), p2, k, val)) {
                    slots[2] = std::move(k);
                    slots[3] = sq_deref(val);
                    it.setInt(p2);
                } else
                    done = true;
                break;
            }
            case OT_STRING: {
                SQString* s = cont.str();
                if (pos < s->len) {
                    slots[2].setInt(pos);
                    slots[3].setInt((signed char)s->data[pos]);
                    it.setInt(pos + 1);
                } else
                    done = true;
                break;
            }
            case OT_CLASS: {
                SQInteger p2 = pos;
                Value k, val;
                if (sq_table_next(cont.cls()->members, p2, k, val)) {
                    slots[2] = std::move(k);
                    slots[3] =
                        val.type() == OT_USERPOINTER ? cont.cls()->defaults[size_t(val.i())] : val;
                    it.setInt(p2);
                } else
                    done = true;
                break;
            }
            case OT_GENERATOR: {
                SYNC();
                Value g = cont, out;
                if (g.gen()->state == GEN_DEAD) {
                    done = true;
                    break;
                }
                sq_resume_generator(v, g.gen(), out);
                RELOAD();
                slots = stk + in.c;
                if (g.gen()->state == GEN_DEAD)
                    done = true;
                else {
                    slots[2].setInt(pos);
                    slots[3] = std::move(out);
                    slots[1].setInt(pos + 1);
                }
                break;
            }
            case OT_INSTANCE:
            case OT_USERDATA: {
                SYNC();
                Value obj = cont, mm;
                if (!sq_get_meta(v, obj, MT_NEXTI, mm)) sq_raise(v, "_nexti failed");
                Value prev = it.type() == OT_NULL ? Value() : slots[2];
                Value key = sq_call_value(v, mm, obj, &prev, 1);
                if (key.isNull()) {
                    RELOAD();
                    done = true;
                    break;
                }
                Value val;
                if (!sq_get(v, obj, key, val)) sq_raise(v, "_nexti returned an invalid idx");
                RELOAD();
                slots = stk + in.c;
                slots[2] = std::move(key);
                slots[3] = std::move(val);
                slots[1].setInt(1);
                break;
            }
            default:
                SYNC();
                sq_raise(v, "cannot iterate %s", sq_type_name(cont.type()));
            }
            if (done) ip = proto->code.data() + in.b;
            NEXT();
        }
        case OP_TRY:
        L_OP_TRY : {
            TryHandler th;
            th.frame = SQInteger(es.frames.size()) - 1;
            th.stackTop = sp - es.stack.data();
            th.catchIp = proto->code.data() + in.b;
            es.tries.push_back(th);
            fr->ntries++;
            v->catchers++;
            NEXT();
        }
        case OP_POPTRY:
        L_OP_POPTRY:
            for (int i = 0; i < in.a; ++i) {
                es.tries.pop_back();
                fr->ntries--;
                v->catchers--;
            }
            NEXT();
        case OP_THROW:
        L_OP_THROW : {
            SYNC();
            Value e = sp[-1];
            throw SQException{e, false};
        }
        case OP_YIELD:
        L_OP_YIELD : {
            if (in.a)
                es.yielded = std::move(*--sp);
            else
                es.yielded.setNull();
            // closures made before a yield keep the values they saw (Squirrel copies the
            // generator's stack out at each yield)
            close_outers(es, 0);
            SYNC();
            return;
        }
        case OP_RESUME:
        L_OP_RESUME : {
            SYNC();
            Value g = sp[-1];
            if (g.type() != OT_GENERATOR)
                sq_raise(v, "trying to resume a '%s',only genenerator can be resumed",
                         sq_type_name(g.type()));
            Value out;
            sq_resume_generator(v, g.gen(), out, true);
            RELOAD();
            if (v->suspendRequested) {
                fr->ip = ip - 1; // the thread suspended inside: resume the generator on wakeup
                return;
            }
            sp[-1] = std::move(out);
            break;
        }
        case OP_NEWCLASS:
        L_OP_NEWCLASS : {
            SYNC();
            Value c = new_class_op(v, sp, in.a != 0);
            if (in.a) POP();
            sp[-1] = std::move(c);
            break;
        }
        case OP_CLASSDONE:
        L_OP_CLASSDONE : {
            SQClass* c = sp[-1].cls();
            if (c->base && !c->base->meta[MT_INHERITED].isNull()) {
                SYNC();
                Value cv = sp[-1];
                Value attrs = c->attributes;
                sq_call_value(v, c->base->meta[MT_INHERITED], cv, &attrs, 1);
                RELOAD();
            }
            NEXT();
        }
        case OP_GETBASE:
        L_OP_GETBASE:
            if (cl->base)
                *sp++ = Value(OT_CLASS, cl->base);
            else
                (sp++)->setNull();
            NEXT();
        case OP_CALLEE:
        L_OP_CALLEE:
            *sp++ = Value(OT_CLOSURE, cl);
            NEXT();
        case OP_INCL:
        L_OP_INCL : {
            Value& l = stk[in.b];
            SQInteger d = in.a ? -1 : 1;
            if (l._type == OT_INTEGER)
                l._unVal.nInteger =
                    SQInteger(SQUnsignedInteger(l._unVal.nInteger) + SQUnsignedInteger(d));
            else if (l._type == OT_FLOAT)
                l._unVal.fFloat += SQFloat(d);
            else {
                SYNC();
                Value a = l, one(d);
                Value r = arith(v, OP_ADD, a, one);
                RELOAD();
                stk[in.b] = std::move(r);
            }
            NEXT();
        }
        case OP_INC:
        L_OP_INC : {
            Value& l = sp[-1];
            SQInteger d = in.a ? -1 : 1;
            if (l._type == OT_INTEGER)
                l._unVal.nInteger =
                    SQInteger(SQUnsignedInteger(l._unVal.nInteger) + SQUnsignedInteger(d));
            else if (l._type == OT_FLOAT)
                l._unVal.fFloat += SQFloat(d);
            else {
                SYNC();
                Value a = l, one(d);
                Value r = arith(v, OP_ADD, a, one);
                RELOAD();
                sp[-1] = std::move(r);
            }
            NEXT();
        }
        case OP_POSTINCF:
        L_OP_POSTINCF : {
            SYNC();
            Value obj = sp[-2], key = sp[-1], old;
            if (!sq_get(v, obj, key, old)) raise_noindex(v, key);
            Value one(SQInteger(in.a ? -1 : 1));
            Value nv = arith(v, OP_ADD, old, one);
            sq_set(v, obj, key, nv);
            RELOAD();
            POP();
            sp[-1] = std::move(old);
            break;
        }
        default:
        L_DEFAULT:
            __attribute__((unused));
            SYNC();
            sq_raise(v, "invalid instruction");
        }
    }
#undef in
}
