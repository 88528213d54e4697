// Heap objects: interned strings, hash tables, arrays, classes, and the cycle collector.
#include "sqvm.h"

#include <cstdio>
#include <cstdlib>
#include <new>

static inline uint64_t load64(const char* p) {
    uint64_t w;
    memcpy(&w, p, 8);
    return w;
}
static inline uint64_t mix_step(uint64_t h, uint64_t w, uint64_t k) {
    h = (h ^ w) * k;
    return h ^ (h >> 29);
}
// Every byte counts (strings are interned by content), but 32 at a time in four
// independent lanes: string building stays bound by copying rather than hashing.
static SQHash hash_bytes(const char* s, SQInteger len) {
    const uint64_t k1 = 0xff51afd7ed558ccdull, k2 = 0xc4ceb9fe1a85ec53ull;
    uint64_t h1 = 0x9E3779B97F4A7C15ull ^ uint64_t(len), h2 = 0x2545F4914F6CDD1Dull;
    SQInteger i = 0;
    if (len >= 32) {
        uint64_t h3 = 0x94D049BB133111EBull, h4 = 0xBF58476D1CE4E5B9ull;
        for (; i + 32 <= len; i += 32) {
            h1 = mix_step(h1, load64(s + i), k1);
            h2 = mix_step(h2, load64(s + i + 8), k2);
            h3 = mix_step(h3, load64(s + i + 16), k1);
            h4 = mix_step(h4, load64(s + i + 24), k2);
        }
        h1 ^= h3 * k2;
        h2 ^= h4 * k1;
    }
    for (; i + 16 <= len; i += 16) {
        h1 = mix_step(h1, load64(s + i), k1);
        h2 = mix_step(h2, load64(s + i + 8), k2);
    }
    if (i + 8 <= len) {
        h1 = mix_step(h1, load64(s + i), k1);
        i += 8;
    }
    uint64_t tail = 0;
    memcpy(&tail, s + i, size_t(len - i));
    h2 = mix_step(h2, tail, k2);
    uint64_t h = h1 ^ (h2 * k1);
    h ^= h >> 33;
    h *= k2;
    h ^= h >> 33;
    return h;
}

static SQString* str_alloc(SQSharedState* ss, SQInteger len) {
    void* mem = malloc(sizeof(SQString) + size_t(len));
    if (!mem) throw std::bad_alloc();
    SQString* str = new (mem) SQString();
    str->kind = OT_STRING;
    str->ss = ss;
    str->len = len;
    str->data[len] = 0;
    return str;
}

static void str_rehash(SQSharedState* ss, SQInteger ncap) {
    SQString** nt = static_cast<SQString**>(calloc(size_t(ncap), sizeof(SQString*)));
    for (SQInteger i = 0; i < ss->strcap; ++i) {
        SQString* s = ss->strtab[i];
        while (s) {
            SQString* next = s->chain;
            SQInteger b = SQInteger(s->hash & SQHash(ncap - 1));
            s->chain = nt[b];
            nt[b] = s;
            s = next;
        }
    }
    free(ss->strtab);
    ss->strtab = nt;
    ss->strcap = ncap;
}

SQString* sq_str_new(SQSharedState* ss, const char* s, SQInteger len) {
    if (len < 0) len = SQInteger(strlen(s));
    SQHash h = hash_bytes(s, len);
    SQInteger b = SQInteger(h & SQHash(ss->strcap - 1));
    for (SQString* p = ss->strtab[b]; p; p = p->chain)
        if (p->hash == h && p->len == len && memcmp(p->data, s, size_t(len)) == 0) return p;
    SQString* str = str_alloc(ss, len);
    str->hash = h;
    memcpy(str->data, s, size_t(len));
    str->chain = ss->strtab[b];
    ss->strtab[b] = str;
    if (++ss->strcount > ss->strcap) str_rehash(ss, ss->strcap * 2);
    return str;
}

// Builds the joined text in place, so long strings are copied once; a string that already
// exists is returned instead.
SQString* sq_str_concat(SQSharedState* ss, const char* a, SQInteger alen, const char* b,
                        SQInteger blen) {
    SQInteger len = alen + blen;
    if (len <= 256) {
        char buf[256];
        memcpy(buf, a, size_t(alen));
        memcpy(buf + alen, b, size_t(blen));
        return sq_str_new(ss, buf, len);
    }
    SQString* str = str_alloc(ss, len);
    memcpy(str->data, a, size_t(alen));
    memcpy(str->data + alen, b, size_t(blen));
    SQHash h = hash_bytes(str->data, len);
    SQInteger bucket = SQInteger(h & SQHash(ss->strcap - 1));
    for (SQString* p = ss->strtab[bucket]; p; p = p->chain)
        if (p->hash == h && p->len == len && memcmp(p->data, str->data, size_t(len)) == 0) {
            str->~SQString();
            free(str);
            return p;
        }
    str->hash = h;
    str->chain = ss->strtab[bucket];
    ss->strtab[bucket] = str;
    if (++ss->strcount > ss->strcap) str_rehash(ss, ss->strcap * 2);
    return str;
}

Value sq_mkstr(SQSharedState* ss, const char* s, SQInteger len) {
    return Value(OT_STRING, sq_str_new(ss, s, len));
}

static void str_free(SQString* s) {
    SQSharedState* ss = s->ss;
    SQInteger b = SQInteger(s->hash & SQHash(ss->strcap - 1));
    SQString** pp = &ss->strtab[b];
    while (*pp && *pp != s) pp = &(*pp)->chain;
    if (*pp) *pp = s->chain;
    --ss->strcount;
    s->~SQString();
    free(s);
}

void sq_gc_link(SQSharedState* ss, SQRefCounted* o, SQObjectType kind) {
    o->kind = kind;
    o->ss = ss;
    SQRefCounted* h = &ss->gchead;
    o->gcnext = h->gcnext;
    o->gcprev = h;
    h->gcnext->gcprev = o;
    h->gcnext = o;
}

static void gc_unlink(SQRefCounted* o) {
    if (!o->gcnext) return;
    o->gcprev->gcnext = o->gcnext;
    o->gcnext->gcprev = o->gcprev;
    o->gcnext = o->gcprev = nullptr;
}

// ---------------------------------------------------------------- tables

// Objects are default-initialised (new T, not new T()): their fields carry initialisers or are
// set at once, and zeroing the whole object first costs more than the rest of the allocation.
SQTable* sq_table_new(SQSharedState* ss, SQInteger cap) {
    SQTable* t = new SQTable;
    sq_gc_link(ss, t, OT_TABLE);
    (void)cap;
    return t;
}

static void table_resize(SQTable* t, SQInteger ncap) {
    TableNode* old = t->nodes;
    SQInteger ocap = t->cap;
    t->nodes = new TableNode[size_t(ncap)];
    t->cap = ncap;
    t->count = 0;
    t->used = 0;
    for (SQInteger i = 0; i < ocap; ++i) {
        if (old[i].key._type != OT_NULL) {
            SQInteger m = ncap - 1, j = SQInteger(key_hash(old[i].key) & SQHash(m));
            while (t->nodes[j].key._type != OT_NULL) j = (j + 1) & m;
            t->nodes[j].key = std::move(old[i].key);
            t->nodes[j].val = std::move(old[i].val);
            ++t->count;
            ++t->used;
        }
    }
    delete[] old;
}

Value* sq_table_find(SQTable* t, const SQObject& key) {
    if (t->count == 0) return nullptr;
    SQInteger m = t->cap - 1, j = SQInteger(key_hash(key) & SQHash(m));
    for (;;) {
        TableNode& n = t->nodes[j];
        if (key_eq(n.key, key) && n.key._type != OT_NULL) return &n.val;
        if (n.key._type == OT_NULL && !node_tomb(n)) return nullptr;
        j = (j + 1) & m;
    }
}

void sq_table_set(SQTable* t, const SQObject& key, const SQObject& val) {
    if (Value* p = sq_table_find(t, key)) {
        *p = val;
        return;
    }
    if ((t->used + 1) * 4 > t->cap * 3)
        table_resize(t, t->cap ? (t->count * 2 >= t->cap ? t->cap * 2 : t->cap) : 4);
    SQInteger m = t->cap - 1, j = SQInteger(key_hash(key) & SQHash(m));
    while (t->nodes[j].key._type != OT_NULL) j = (j + 1) & m;
    TableNode& n = t->nodes[j];
    if (!node_tomb(n)) ++t->used;
    n.key = key;
    n.val = val;
    ++t->count;
}

bool sq_table_remove(SQTable* t, const SQObject& key, Value* out) {
    Value* p = sq_table_find(t, key);
    if (!p) return false;
    TableNode* n =
        reinterpret_cast<TableNode*>(reinterpret_cast<char*>(p) - offsetof(TableNode, val));
    if (out) *out = std::move(n->val);
    Value k = std::move(n->key);
    n->val = Value(true);
    --t->count;
    return true;
}

bool sq_table_next(SQTable* t, SQInteger& iter, Value& k, Value& v) {
    while (iter < t->cap) {
        TableNode& n = t->nodes[iter++];
        if (n.key._type != OT_NULL) {
            k = n.key;
            v = n.val;
            return true;
        }
    }
    return false;
}

void sq_table_clear(SQTable* t) {
    TableNode* old = t->nodes;
    SQInteger ocap = t->cap;
    t->nodes = nullptr;
    t->cap = t->count = t->used = 0;
    (void)ocap;
    delete[] old;
}

SQTable* sq_table_clone(SQTable* t) {
    SQTable* c = sq_table_new(t->ss);
    for (SQInteger i = 0; i < t->cap; ++i)
        if (t->nodes[i].key._type != OT_NULL) sq_table_set(c, t->nodes[i].key, t->nodes[i].val);
    if (t->delegate) {
        c->delegate = t->delegate;
        sq_incref(c->delegate);
    }
    return c;
}

// ---------------------------------------------------------------- other objects

SQArray* sq_array_new(SQSharedState* ss, SQInteger n) {
    SQArray* a = new SQArray;
    a->vals.resize(size_t(n));
    sq_gc_link(ss, a, OT_ARRAY);
    return a;
}

SQClass* sq_class_new(SQSharedState* ss, SQClass* base) {
    SQClass* c = new SQClass();
    sq_gc_link(ss, c, OT_CLASS);
    if (base) {
        c->base = base;
        sq_incref(base);
        c->members = sq_table_clone(base->members);
        sq_incref(c->members);
        c->defaults = base->defaults;
        for (int i = 0; i < MT_LAST; ++i) c->meta[i] = base->meta[i];
        c->ctor = base->ctor;
        c->typetag = base->typetag;
        c->hook = base->hook;
        if (base->memberAttrs.type() == OT_TABLE)
            c->memberAttrs = Value(OT_TABLE, sq_table_clone(base->memberAttrs.tab()));
        c->udsize = base->udsize;
    } else {
        c->members = sq_table_new(ss);
        sq_incref(c->members);
    }
    return c;
}

SQInstance* sq_instance_new(SQSharedState* ss, SQClass* cls) {
    SQInstance* i = new SQInstance;
    i->cls = cls;
    sq_incref(cls);
    i->vals = cls->defaults;
    i->hook = cls->hook;
    cls->locked = true;
    sq_gc_link(ss, i, OT_INSTANCE);
    return i;
}

SQClosure* sq_closure_new(SQSharedState* ss, SQFunctionProto* p) {
    SQClosure* c = new SQClosure;
    c->proto = p;
    sq_incref(p);
    sq_gc_link(ss, c, OT_CLOSURE);
    return c;
}

SQNativeClosure* sq_nclosure_new(SQSharedState* ss, SQFUNCTION f, SQInteger nouters) {
    SQNativeClosure* c = new SQNativeClosure();
    c->func = f;
    c->outers.resize(size_t(nouters));
    sq_gc_link(ss, c, OT_NATIVECLOSURE);
    return c;
}

SQFunctionProto* sq_proto_new(SQSharedState* ss) {
    SQFunctionProto* p = new SQFunctionProto();
    sq_gc_link(ss, p, OT_FUNCPROTO);
    return p;
}

SQWeakRef* sq_weakref_of(SQSharedState* ss, const SQObject& o) {
    SQRefCounted* r = o._unVal.pRefCounted;
    if (r->weak) return r->weak;
    SQWeakRef* w = new SQWeakRef;
    w->kind = OT_WEAKREF;
    w->ss = ss;
    w->obj = o;
    r->weak = w;
    return w;
}

SQUserData* sq_userdata_new(SQSharedState* ss, SQInteger size) {
    size_t extra = size > 16 ? size_t(size - 16) : 0;
    void* mem = aligned_alloc(16, (sizeof(SQUserData) + extra + 15) & ~size_t(15));
    if (!mem) throw std::bad_alloc();
    SQUserData* u = new (mem) SQUserData();
    u->size = size;
    memset(u->data, 0, size_t(size > 16 ? size : 16));
    sq_gc_link(ss, u, OT_USERDATA);
    return u;
}

SQGenerator* sq_generator_new(SQSharedState* ss) {
    SQGenerator* g = new SQGenerator;
    sq_gc_link(ss, g, OT_GENERATOR);
    return g;
}

// Drops every reference an object holds (used when destroying and when breaking cycles).
static void obj_clear(SQRefCounted* o) {
    switch (o->kind) {
    case OT_TABLE: {
        SQTable* t = static_cast<SQTable*>(o);
        SQTable* d = t->delegate;
        t->delegate = nullptr;
        sq_table_clear(t);
        if (d) sq_decref(d);
        break;
    }
    case OT_ARRAY: {
        std::vector<Value> tmp;
        tmp.swap(static_cast<SQArray*>(o)->vals);
        break;
    }
    case OT_CLOSURE: {
        SQClosure* c = static_cast<SQClosure*>(o);
        std::vector<SQOuter*> outs;
        outs.swap(c->outers);
        std::vector<Value> defs;
        defs.swap(c->defaults);
        c->root.setNull();
        SQWeakRef* env = c->env;
        c->env = nullptr;
        SQClass* base = c->base;
        c->base = nullptr;
        for (SQOuter* ou : outs) sq_decref(ou);
        if (env) sq_decref(env);
        if (base) sq_decref(base);
        break;
    }
    case OT_NATIVECLOSURE: {
        SQNativeClosure* c = static_cast<SQNativeClosure*>(o);
        std::vector<Value> outs;
        outs.swap(c->outers);
        SQWeakRef* env = c->env;
        c->env = nullptr;
        if (env) sq_decref(env);
        break;
    }
    case OT_OUTER:
        static_cast<SQOuter*>(o)->closed.setNull();
        break;
    case OT_CLASS: {
        SQClass* c = static_cast<SQClass*>(o);
        SQTable* m = c->members;
        c->members = nullptr;
        SQClass* b = c->base;
        c->base = nullptr;
        std::vector<Value> d;
        d.swap(c->defaults);
        for (auto& x : c->meta) x.setNull();
        c->ctor.setNull();
        c->attributes.setNull();
        c->memberAttrs.setNull();
        if (m) sq_decref(m);
        if (b) sq_decref(b);
        break;
    }
    case OT_INSTANCE: {
        SQInstance* i = static_cast<SQInstance*>(o);
        std::vector<Value> d;
        d.swap(i->vals);
        break;
    }
    case OT_USERDATA: {
        SQUserData* u = static_cast<SQUserData*>(o);
        SQTable* d = u->delegate;
        u->delegate = nullptr;
        if (d) sq_decref(d);
        break;
    }
    case OT_GENERATOR: {
        SQGenerator* g = static_cast<SQGenerator*>(o);
        g->state = GEN_DEAD;
        for (SQOuter* ou = g->es.openOuters; ou;) {
            SQOuter* n = ou->nextOpen;
            ou->closed = g->es.stack[size_t(ou->index)];
            ou->owner = nullptr;
            ou->ptr = &ou->closed;
            ou = n;
        }
        g->es.openOuters = nullptr;
        std::vector<Value> s;
        s.swap(g->es.stack);
        g->es.frames.clear();
        g->es.tries.clear();
        g->es.top = 0;
        g->closure.setNull();
        break;
    }
    case OT_FUNCPROTO: {
        SQFunctionProto* p = static_cast<SQFunctionProto*>(o);
        std::vector<SQFunctionProto*> ch;
        ch.swap(p->children);
        std::vector<Value> k;
        k.swap(p->consts);
        for (auto* c : ch) sq_decref(c);
        break;
    }
    case OT_THREAD: {
        SQVM* t = static_cast<SQVM*>(o);
        // closures that outlive the thread keep the values of its locals they captured
        for (SQOuter* ou = t->es.openOuters; ou;) {
            SQOuter* n = ou->nextOpen;
            ou->closed = t->es.stack[size_t(ou->index)];
            ou->owner = nullptr;
            ou->ptr = &ou->closed;
            ou->nextOpen = nullptr;
            ou = n;
        }
        t->es.openOuters = nullptr;
        std::vector<Value> s;
        s.swap(t->es.stack);
        t->es.frames.clear();
        t->es.top = 0;
        t->lasterror.setNull();
        t->errorhandler.setNull();
        t->threadClosure.setNull();
        break;
    }
    default:
        break;
    }
}

static void destroy_one(SQRefCounted* o);

// Objects whose last reference goes away while another object is being destroyed wait in a
// queue, so that freeing a long chain of objects does not recurse once per link.
void sq_destroy(SQRefCounted* o) {
    static thread_local bool active = false;
    static thread_local std::vector<SQRefCounted*> pending;
    if (o->weak && o->kind != OT_WEAKREF) {
        SQWeakRef* w = o->weak;
        o->weak = nullptr;
        w->obj._type = OT_NULL;
        w->obj._unVal.raw = 0;
    }
    if (active) {
        pending.push_back(o);
        return;
    }
    active = true;
    struct Reset {
        ~Reset() { active = false; }
    } reset;
    destroy_one(o);
    while (!pending.empty()) {
        SQRefCounted* p = pending.back();
        pending.pop_back();
        destroy_one(p);
    }
}

static void destroy_one(SQRefCounted* o) {
    if (o->kind == OT_STRING) {
        if (o->weak) o->weak->obj._type = OT_NULL, o->weak->obj._unVal.raw = 0;
        str_free(static_cast<SQString*>(o));
        return;
    }
    if (o->kind == OT_WEAKREF) {
        SQWeakRef* w = static_cast<SQWeakRef*>(o);
        if (w->obj._type != OT_NULL) w->obj._unVal.pRefCounted->weak = nullptr;
        if (w->weak) {
            w->weak->obj._type = OT_NULL;
            w->weak->obj._unVal.raw = 0;
        }
        delete w;
        return;
    }
    o->refs = 1; // keep alive while clearing
    if (o->weak) {
        SQWeakRef* w = o->weak;
        o->weak = nullptr;
        w->obj._type = OT_NULL;
        w->obj._unVal.raw = 0;
    }
    if (o->kind == OT_INSTANCE) {
        SQInstance* i = static_cast<SQInstance*>(o);
        if (i->hook && i->up) i->hook(i->up, 0);
        i->hook = nullptr;
    } else if (o->kind == OT_USERDATA) {
        SQUserData* u = static_cast<SQUserData*>(o);
        if (u->hook) u->hook(u->data, u->size);
        u->hook = nullptr;
    }
    obj_clear(o);
    gc_unlink(o);
    switch (o->kind) {
    case OT_TABLE:
        delete static_cast<SQTable*>(o);
        break;
    case OT_ARRAY:
        delete static_cast<SQArray*>(o);
        break;
    case OT_CLOSURE: {
        SQClosure* c = static_cast<SQClosure*>(o);
        sq_decref(c->proto);
        delete c;
        break;
    }
    case OT_NATIVECLOSURE:
        delete static_cast<SQNativeClosure*>(o);
        break;
    case OT_OUTER: {
        SQOuter* ou = static_cast<SQOuter*>(o);
        if (ou->owner) {
            SQOuter** pp = &ou->owner->openOuters;
            while (*pp && *pp != ou) pp = &(*pp)->nextOpen;
            if (*pp) *pp = ou->nextOpen;
        }
        delete ou;
        break;
    }
    case OT_CLASS:
        delete static_cast<SQClass*>(o);
        break;
    case OT_INSTANCE: {
        SQInstance* i = static_cast<SQInstance*>(o);
        SQClass* c = i->cls;
        delete i;
        sq_decref(c);
        break;
    }
    case OT_USERDATA: {
        SQUserData* u = static_cast<SQUserData*>(o);
        u->~SQUserData();
        free(u);
        break;
    }
    case OT_GENERATOR:
        delete static_cast<SQGenerator*>(o);
        break;
    case OT_FUNCPROTO:
        delete static_cast<SQFunctionProto*>(o);
        break;
    case OT_THREAD: {
        SQVM* t = static_cast<SQVM*>(o);
        auto& vms = t->shared->vms;
        for (size_t k = 0; k < vms.size(); ++k)
            if (vms[k] == t) {
                vms.erase(vms.begin() + long(k));
                break;
            }
        delete t;
        break;
    }
    default:
        break;
    }
}

bool sq_class_add(SQVM* v, SQClass* c, const Value& key, const Value& val, bool isStatic) {
    (void)v;
    Value* existing = sq_table_find(c->members, key);
    bool isFunc = val.type() == OT_CLOSURE || val.type() == OT_NATIVECLOSURE;
    if (val.type() == OT_CLOSURE && !val.clo()->base && c->base) {
        val.clo()->base = c->base;
        sq_incref(c->base);
    }
    if (key.type() == OT_STRING) {
        // only functions become metamethods, and then they are not members; anything else is a
        // plain member of that name
        SQSharedState* ss = c->ss;
        for (int m = 0; m < MT_LAST; ++m)
            if (key.str() == ss->metanames[m].str() && isFunc) {
                c->meta[m] = val;
                return true;
            }
        if (key.str() == ss->ctorName.str()) c->ctor = val;
    }
    if (existing && existing->type() == OT_USERPOINTER && !isStatic && !isFunc) {
        c->defaults[size_t(existing->_unVal.nInteger)] = val;
        return true;
    }
    if (isStatic || isFunc) {
        sq_table_set(c->members, key, val);
    } else {
        Value marker;
        marker._type = OT_USERPOINTER; // field marker: index into the instance values
        marker._unVal.nInteger = SQInteger(c->defaults.size());
        c->defaults.push_back(val);
        sq_table_set(c->members, key, marker);
    }
    return true;
}

// ---------------------------------------------------------------- shared state and collector

SQSharedState* sq_shared_new() {
    SQSharedState* ss = new SQSharedState();
    ss->strcap = 256;
    ss->strtab = static_cast<SQString**>(calloc(size_t(ss->strcap), sizeof(SQString*)));
    ss->gchead.gcnext = ss->gchead.gcprev = &ss->gchead;
    static const char* names[MT_LAST] = {
        "_add",    "_sub",     "_mul",     "_div",      "_unm",       "_modulo",
        "_set",    "_get",     "_typeof",  "_nexti",    "_cmp",       "_call",
        "_cloned", "_newslot", "_delslot", "_tostring", "_newmember", "_inherited"};
    for (int i = 0; i < MT_LAST; ++i) ss->metanames[i] = sq_mkstr(ss, names[i]);
    ss->ctorName = sq_mkstr(ss, "constructor");
    return ss;
}

static void gc_mark(SQRefCounted* o, std::vector<SQRefCounted*>& work);

static void gc_markv(const SQObject& v, std::vector<SQRefCounted*>& work) {
    if (sq_rc(v._type) && v._type != OT_STRING && v._type != OT_WEAKREF) {
        SQRefCounted* o = v._unVal.pRefCounted;
        if (!o->mark) {
            o->mark = 1;
            work.push_back(o);
        }
    }
}
static void gc_marko(SQRefCounted* o, std::vector<SQRefCounted*>& work) {
    if (o && !o->mark) {
        o->mark = 1;
        work.push_back(o);
    }
}

static void gc_mark_es(ExecState& es, std::vector<SQRefCounted*>& work) {
    for (SQInteger i = 0; i < SQInteger(es.stack.size()); ++i) gc_markv(es.stack[size_t(i)], work);
    for (auto& f : es.frames) gc_marko(f.callee, work);
    for (SQOuter* o = es.openOuters; o; o = o->nextOpen) gc_marko(o, work);
}

static void gc_mark(SQRefCounted* o, std::vector<SQRefCounted*>& work) {
    switch (o->kind) {
    case OT_TABLE: {
        SQTable* t = static_cast<SQTable*>(o);
        for (SQInteger i = 0; i < t->cap; ++i) {
            gc_markv(t->nodes[i].key, work);
            gc_markv(t->nodes[i].val, work);
        }
        gc_marko(t->delegate, work);
        break;
    }
    case OT_ARRAY:
        for (auto& v : static_cast<SQArray*>(o)->vals) gc_markv(v, work);
        break;
    case OT_CLOSURE: {
        SQClosure* c = static_cast<SQClosure*>(o);
        gc_marko(c->proto, work);
        for (auto* ou : c->outers) gc_marko(ou, work);
        for (auto& d : c->defaults) gc_markv(d, work);
        gc_marko(c->base, work);
        gc_markv(c->root, work);
        break;
    }
    case OT_NATIVECLOSURE:
        for (auto& d : static_cast<SQNativeClosure*>(o)->outers) gc_markv(d, work);
        break;
    case OT_OUTER: {
        SQOuter* ou = static_cast<SQOuter*>(o);
        if (!ou->owner) gc_markv(ou->closed, work);
        break;
    }
    case OT_CLASS: {
        SQClass* c = static_cast<SQClass*>(o);
        gc_marko(c->members, work);
        gc_marko(c->base, work);
        for (auto& d : c->defaults) gc_markv(d, work);
        for (auto& d : c->meta) gc_markv(d, work);
        gc_markv(c->ctor, work);
        gc_markv(c->attributes, work);
        gc_markv(c->memberAttrs, work);
        break;
    }
    case OT_INSTANCE: {
        SQInstance* i = static_cast<SQInstance*>(o);
        gc_marko(i->cls, work);
        for (auto& d : i->vals) gc_markv(d, work);
        break;
    }
    case OT_USERDATA:
        gc_marko(static_cast<SQUserData*>(o)->delegate, work);
        break;
    case OT_GENERATOR: {
        SQGenerator* g = static_cast<SQGenerator*>(o);
        gc_markv(g->closure, work);
        gc_mark_es(g->es, work);
        break;
    }
    case OT_FUNCPROTO: {
        SQFunctionProto* p = static_cast<SQFunctionProto*>(o);
        for (auto& k : p->consts) gc_markv(k, work);
        for (auto* c : p->children) gc_marko(c, work);
        break;
    }
    case OT_THREAD: {
        SQVM* t = static_cast<SQVM*>(o);
        gc_mark_es(t->es, work);
        gc_markv(t->lasterror, work);
        gc_markv(t->errorhandler, work);
        gc_markv(t->threadClosure, work);
        break;
    }
    default:
        break;
    }
}

SQInteger sq_gc_collect(SQSharedState* ss) {
    std::vector<SQRefCounted*> work;
    SQRefCounted* h = &ss->gchead;
    for (SQRefCounted* o = h->gcnext; o != h; o = o->gcnext) o->mark = 0;
    if (!ss->closing) {
        gc_markv(ss->roottable, work);
        gc_markv(ss->registry, work);
        gc_markv(ss->consttable, work);
        for (auto& d : ss->delegates) gc_markv(d, work);
        gc_markv(ss->weakrefDelegate, work);
        gc_markv(ss->threadDelegate, work);
        for (auto& m : ss->metanames) gc_markv(m, work);
        for (auto& r : ss->extrefs)
            gc_marko(r.first->kind == OT_STRING || r.first->kind == OT_WEAKREF ? nullptr : r.first,
                     work);
        for (SQVM* v : ss->vms) {
            gc_marko(v, work);
            if (v->ownsShared) { // the main VM is not on the object list
                gc_mark_es(v->es, work);
                gc_markv(v->lasterror, work);
                gc_markv(v->errorhandler, work);
            }
        }
    }
    while (!work.empty()) {
        SQRefCounted* o = work.back();
        work.pop_back();
        gc_mark(o, work);
    }
    std::vector<SQRefCounted*> dead;
    for (SQRefCounted* o = h->gcnext; o != h; o = o->gcnext)
        if (!o->mark && !(o->kind == OT_THREAD && static_cast<SQVM*>(o)->ownsShared))
            dead.push_back(o);
    for (SQRefCounted* o : dead) sq_incref(o);
    for (SQRefCounted* o : dead) {
        if (o->kind == OT_INSTANCE) {
            SQInstance* i = static_cast<SQInstance*>(o);
            if (i->hook && i->up) i->hook(i->up, 0);
            i->hook = nullptr;
        }
        obj_clear(o);
    }
    for (SQRefCounted* o : dead) sq_decref(o);
    return SQInteger(dead.size());
}

void sq_shared_free(SQSharedState* ss) {
    for (SQInteger i = 0; i < ss->strcap; ++i) {
        SQString* s = ss->strtab[i];
        while (s) {
            SQString* n = s->chain;
            s->~SQString();
            free(s);
            s = n;
        }
    }
    free(ss->strtab);
    delete ss;
}
