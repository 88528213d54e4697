// Base library (print, assert, array, compilestring, ...) and the default delegates of every type.
#include "sqvm.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

SQSharedState* SS(SQVM* v) {
    return v->shared;
}
Value& A(SQVM* v, SQInteger i) {
    return sq_stk(v, i);
}
SQInteger nargs(SQVM* v) {
    return sq_gettop(v);
}
SQInteger ret(SQVM* v, const Value& r) {
    sq_vpush(v, r);
    return 1;
}
SQInteger fail(SQVM* v, const std::string& msg) {
    v->lasterror = sq_mkstr(v->shared, msg);
    return SQ_ERROR;
}
// runs body, turning script errors into a native error result
template <typename F>
SQInteger guard(SQVM* v, F f) {
    try {
        return f();
    } catch (SQException& e) {
        v->lasterror = e.value;
        return SQ_ERROR;
    }
}

void reg(SQVM* v, SQTable* t, const char* name, SQFUNCTION f, SQInteger nparams, const char* mask) {
    sq_vpush(v, Value(OT_TABLE, t));
    sq_newclosure(v, f, 0);
    sq_setparamscheck(v, nparams, mask);
    sq_setnativeclosurename(v, -1, name);
    Value fn = sq_stk(v, -1);
    sq_table_set(t, sq_mkstr(SS(v), name), fn);
    sq_vpop(v, 2);
}

// ---------------------------------------------------------------- base functions

SQInteger base_print(SQVM* v) {
    return guard(v, [&] {
        Value s = sq_tostring(v, A(v, 2));
        if (SS(v)->printfn) SS(v)->printfn(v, "%s", s.str()->data);
        return SQInteger(0);
    });
}
SQInteger base_error(SQVM* v) {
    return guard(v, [&] {
        Value s = sq_tostring(v, A(v, 2));
        if (SS(v)->errfn) SS(v)->errfn(v, "%s", s.str()->data);
        return SQInteger(0);
    });
}
SQInteger base_getroottable(SQVM* v) {
    return ret(v, SS(v)->roottable);
}
SQInteger base_getconsttable(SQVM* v) {
    return ret(v, SS(v)->consttable);
}
// null is accepted and leaves the table in place: the VM always has a root and const table
SQInteger base_setroottable(SQVM* v) {
    Value old = SS(v)->roottable;
    const Value& t = A(v, 2);
    if (t.type() != OT_TABLE && !t.isNull()) return fail(v, "invalid type");
    if (!t.isNull()) SS(v)->roottable = t;
    return ret(v, old);
}
SQInteger base_setconsttable(SQVM* v) {
    Value old = SS(v)->consttable;
    const Value& t = A(v, 2);
    if (t.type() != OT_TABLE && !t.isNull()) return fail(v, "invalid type, expected table");
    if (!t.isNull()) SS(v)->consttable = t;
    return ret(v, old);
}
SQInteger base_resurrectunreachable(SQVM* v) {
    (void)v;
    return 0; // unreachable cycles are freed by the collector, never handed back
}
SQInteger base_assert(SQVM* v) {
    if (is_false(A(v, 2))) {
        if (nargs(v) > 2) {
            Value m = sq_tostring(v, A(v, 3));
            return fail(v, m.str()->data);
        }
        return fail(v, "assertion failed");
    }
    return 0;
}
SQInteger base_array(SQVM* v) {
    SQInteger n = num_i(A(v, 2));
    if (n < 0) return fail(v, "negative size");
    if (n > SQInteger(1) << 24) return fail(v, "out of memory");
    SQArray* a = sq_array_new(SS(v), n);
    Value r(OT_ARRAY, a);
    if (nargs(v) > 2)
        for (auto& x : a->vals) x = A(v, 3);
    return ret(v, r);
}
SQInteger base_compilestring(SQVM* v) {
    Value src = A(v, 2);
    const char* name =
        nargs(v) > 2 && A(v, 3).type() == OT_STRING ? A(v, 3).str()->data : "unnamedbuffer";
    return guard(v, [&] {
        Value c = sq_compile(v, src.str()->data, src.str()->len, name, false);
        return ret(v, c);
    });
}
SQInteger base_collectgarbage(SQVM* v) {
    return ret(v, Value(sq_gc_collect(SS(v))));
}
SQInteger base_type(SQVM* v) {
    return ret(v, sq_mkstr(SS(v), sq_type_name(A(v, 2).type())));
}
SQInteger base_callee(SQVM* v) {
    auto& fr = (*v->cur).frames;
    if (fr.size() < 2) return fail(v, "no closure in the calls stack");
    const Frame& f = fr[fr.size() - 2];
    return ret(v, Value(f.callee->kind, f.callee));
}
// the call at level of thread t's stack as a table, pushed on v's stack (null past the end)
SQInteger stackinfos(SQVM* v, SQVM* t, SQInteger level) {
    SQStackInfos si;
    if (SQ_FAILED(sq_stackinfos(t, level, &si))) return ret(v, Value());
    SQSharedState* ss = SS(v);
    SQTable* tbl = sq_table_new(ss);
    Value tv(OT_TABLE, tbl);
    sq_table_set(tbl, sq_mkstr(ss, "func"), sq_mkstr(ss, si.funcname ? si.funcname : "unknown"));
    sq_table_set(tbl, sq_mkstr(ss, "src"), sq_mkstr(ss, si.source ? si.source : "unknown"));
    sq_table_set(tbl, sq_mkstr(ss, "line"), Value(si.line));
    SQTable* locals = sq_table_new(ss);
    Value lv(OT_TABLE, locals);
    const SQChar* name;
    for (SQUnsignedInteger i = 0; (name = sq_getlocal(t, SQUnsignedInteger(level), i)) != nullptr;
         ++i) {
        Value val = sq_stk(t, -1);
        sq_table_set(locals, sq_mkstr(ss, name), val);
        sq_vpop(t, 1);
    }
    sq_table_set(tbl, sq_mkstr(ss, "locals"), lv);
    return ret(v, tv);
}
SQInteger base_getstackinfos(SQVM* v) {
    return stackinfos(v, v, num_i(A(v, 2)));
}
SQInteger base_noop(SQVM*) {
    return 0;
}
SQInteger base_seterrorhandler(SQVM* v) {
    v->errorhandler = A(v, 2);
    return 0;
}
SQInteger base_newthread(SQVM* v) {
    Value fn = A(v, 2);
    HSQUIRRELVM t = sq_newthread(v, 64);
    t->threadClosure = fn;
    return 1;
}
SQInteger base_suspend(SQVM* v) {
    if (v->ownsShared) return fail(v, "cannot suspend the main vm");
    // only the thread's own interpreter level can stop and resume later: a native in between
    // (map, sort, call, a metamethod) would be left half done
    // generators resumed on the way stay suspended with the thread
    if (v->execDepth - v->genResumes > 1)
        return fail(v, "cannot suspend through native calls/metamethods");
    v->es.yielded = nargs(v) > 1 ? A(v, 2) : Value();
    v->suspendedIn = v->cur;
    v->suspendRequested = true;
    return SQ_SUSPEND_FLAG;
}

// ---------------------------------------------------------------- shared delegate members

SQInteger d_weakref(SQVM* v) {
    sq_weakref(v, 1);
    return 1;
}
SQInteger d_tostring(SQVM* v) {
    return guard(v, [&] { return ret(v, sq_tostring(v, A(v, 1))); });
}
SQInteger d_len(SQVM* v) {
    return ret(v, Value(sq_getsize(v, 1)));
}

// ---------------------------------------------------------------- tables

SQInteger t_rawget(SQVM* v) {
    Value out;
    if (!sq_get(v, A(v, 1), A(v, 2), out, true)) return fail(v, "the index doesn't exist");
    return ret(v, out);
}
SQInteger t_rawset(SQVM* v) {
    return guard(v, [&] {
        Value out;
        // a class not yet instantiated takes a new member this way too
        if (A(v, 1).type() == OT_CLASS && !A(v, 1).cls()->locked &&
            !sq_get(v, A(v, 1), A(v, 2), out, true))
            sq_newslot_op(v, A(v, 1), A(v, 2), A(v, 3), false);
        else
            sq_set(v, A(v, 1), A(v, 2), A(v, 3), true);
        return ret(v, A(v, 1));
    });
}
SQInteger t_rawdelete(SQVM* v) {
    Value out;
    if (A(v, 1).type() == OT_TABLE && sq_table_remove(A(v, 1).tab(), A(v, 2), &out))
        return ret(v, out);
    return ret(v, Value());
}
SQInteger t_rawin(SQVM* v) {
    Value out;
    Value o = A(v, 1);
    bool r;
    if (o.type() == OT_TABLE)
        r = sq_table_find(o.tab(), A(v, 2)) != nullptr;
    else
        r = sq_get(v, o, A(v, 2), out, true);
    return ret(v, Value(r));
}
SQInteger t_clear(SQVM* v) {
    sq_clear(v, 1);
    return ret(v, A(v, 1));
}
// filter(function(key, value)): a new table of the slots for which it returns true
SQInteger t_filter(SQVM* v) {
    return guard(v, [&] {
        Value self = A(v, 1), fn = A(v, 2);
        SQTable* r = sq_table_new(SS(v));
        Value rv(OT_TABLE, r);
        sq_vpush(v, rv); // reachable for the collector while callbacks run
        Value src(OT_TABLE, sq_table_clone(self.tab()));
        SQInteger it = 0;
        Value k, val;
        while (sq_table_next(src.tab(), it, k, val)) {
            Value args[2] = {k, val};
            if (!is_false(sq_call_value(v, fn, self, args, 2))) sq_table_set(r, k, val);
        }
        return SQInteger(1);
    });
}
SQInteger t_setdelegate(SQVM* v) {
    Value self = A(v, 1);
    sq_push(v, 2);
    if (SQ_FAILED(sq_setdelegate(v, 1))) return SQ_ERROR;
    return ret(v, self);
}
SQInteger t_getdelegate(SQVM* v) {
    return SQ_SUCCEEDED(sq_getdelegate(v, 1)) ? 1 : SQ_ERROR;
}
SQInteger t_keys(SQVM* v) {
    SQArray* a = sq_array_new(SS(v), 0);
    Value r(OT_ARRAY, a);
    SQInteger it = 0;
    Value k, val;
    while (sq_table_next(A(v, 1).tab(), it, k, val)) a->vals.push_back(k);
    return ret(v, r);
}
SQInteger t_values(SQVM* v) {
    SQArray* a = sq_array_new(SS(v), 0);
    Value r(OT_ARRAY, a);
    SQInteger it = 0;
    Value k, val;
    while (sq_table_next(A(v, 1).tab(), it, k, val)) a->vals.push_back(val);
    return ret(v, r);
}

// ---------------------------------------------------------------- arrays

std::vector<Value>& AV(SQVM* v) {
    return A(v, 1).arr()->vals;
}

const size_t MAX_ARRAY = size_t(1) << 24;

SQInteger a_append(SQVM* v) {
    if (AV(v).size() >= MAX_ARRAY) return fail(v, "out of memory");
    AV(v).push_back(A(v, 2));
    return ret(v, A(v, 1));
}
SQInteger a_extend(SQVM* v) {
    std::vector<Value> add = A(v, 2).arr()->vals;
    if (AV(v).size() + add.size() > MAX_ARRAY) return fail(v, "out of memory");
    for (auto& x : add) AV(v).push_back(x);
    return ret(v, A(v, 1));
}
SQInteger a_pop(SQVM* v) {
    auto& a = AV(v);
    if (a.empty()) return fail(v, "empty array");
    Value r = a.back();
    a.pop_back();
    return ret(v, r);
}
SQInteger a_top(SQVM* v) {
    auto& a = AV(v);
    if (a.empty()) return fail(v, "top() on a empty array");
    return ret(v, a.back());
}
SQInteger a_insert(SQVM* v) {
    auto& a = AV(v);
    SQInteger i = num_i(A(v, 2));
    if (i < 0 || i > SQInteger(a.size())) return fail(v, "index out of range");
    if (a.size() >= MAX_ARRAY) return fail(v, "out of memory");
    a.insert(a.begin() + long(i), A(v, 3));
    return ret(v, A(v, 1));
}
SQInteger a_remove(SQVM* v) {
    auto& a = AV(v);
    SQInteger i = num_i(A(v, 2));
    if (i < 0 || i >= SQInteger(a.size())) return fail(v, "idx out of range");
    Value r = a[size_t(i)];
    a.erase(a.begin() + long(i));
    return ret(v, r);
}
SQInteger a_resize(SQVM* v) {
    SQInteger n = num_i(A(v, 2));
    if (n < 0) return fail(v, "resizing to negative length");
    if (n > SQInteger(1) << 24) return fail(v, "out of memory");
    Value fill = nargs(v) > 2 ? A(v, 3) : Value();
    auto& a = AV(v);
    size_t old = a.size();
    a.resize(size_t(n));
    for (size_t i = old; i < a.size(); ++i) a[i] = fill;
    return ret(v, A(v, 1));
}
SQInteger a_reverse(SQVM* v) {
    std::reverse(AV(v).begin(), AV(v).end());
    return ret(v, A(v, 1));
}
SQInteger a_clear(SQVM* v) {
    AV(v).clear();
    return ret(v, A(v, 1));
}

bool slice_args(SQVM* v, SQInteger len, SQInteger& s, SQInteger& e, std::string& err) {
    s = nargs(v) > 1 ? num_i(A(v, 2)) : 0;
    e = nargs(v) > 2 ? num_i(A(v, 3)) : len;
    if (s < 0) s += len;
    if (e < 0) e += len;
    if (s > e) {
        err = "wrong indexes";
        return false;
    }
    if (s < 0 || e > len) {
        err = "slice out of range";
        return false;
    }
    return true;
}

SQInteger a_slice(SQVM* v) {
    auto& a = AV(v);
    SQInteger s, e;
    std::string err;
    if (!slice_args(v, SQInteger(a.size()), s, e, err)) return fail(v, err);
    SQArray* r = sq_array_new(SS(v), 0);
    Value rv(OT_ARRAY, r);
    r->vals.assign(a.begin() + long(s), a.begin() + long(e));
    return ret(v, rv);
}
SQInteger a_find(SQVM* v) {
    auto& a = AV(v);
    for (size_t i = 0; i < a.size(); ++i)
        if (sq_equals(a[i], A(v, 2))) return ret(v, Value(SQInteger(i)));
    return ret(v, Value());
}
// How many of (value, index, array) a map/apply callback takes, from its declared parameters
// (vargv counts as one); 0 when it takes none or more than three, which Squirrel refuses.
int callback_arity(const Value& fn) {
    if (fn.type() != OT_CLOSURE) return 1;
    SQFunctionProto* p = fn.clo()->proto;
    SQInteger np = p->nparams - 1 + (p->varargs ? 1 : 0);
    return np < 1 || np > 3 ? 0 : int(np);
}
Value call_elem_callback(SQVM* v, const Value& fn, const Value& self, int arity, size_t i,
                         const Value& x) {
    Value args[3] = {x, Value(SQInteger(i)), self};
    return sq_call_value(v, fn, self, args, arity);
}
// Callbacks may resize the array: the element count is fixed when the call starts, and an
// element removed meanwhile reads as the last one read (Squirrel's long-standing behaviour).
struct ElemReader {
    Value last;
    const Value& operator()(const Value& self, size_t i) {
        auto& a = self.arr()->vals;
        if (i < a.size()) last = a[i];
        return last;
    }
};
SQInteger a_map(SQVM* v) {
    return guard(v, [&] {
        Value self = A(v, 1), fn = A(v, 2);
        ElemReader elem_or_null;
        SQArray* r = sq_array_new(SS(v), 0);
        Value rv(OT_ARRAY, r);
        sq_vpush(v, rv); // reachable for the collector while callbacks run
        int arity = callback_arity(fn);
        if (arity == 0) return fail(v, "attempt to call 'array'");
        size_t n = self.arr()->vals.size();
        r->vals.reserve(n);
        for (size_t i = 0; i < n; ++i)
            r->vals.push_back(call_elem_callback(v, fn, self, arity, i, elem_or_null(self, i)));
        return SQInteger(1);
    });
}
SQInteger a_apply(SQVM* v) {
    return guard(v, [&] {
        Value self = A(v, 1), fn = A(v, 2);
        ElemReader elem_or_null;
        int arity = callback_arity(fn);
        if (arity == 0) return fail(v, "attempt to call 'array'");
        size_t n = self.arr()->vals.size();
        for (size_t i = 0; i < n; ++i) {
            Value r = call_elem_callback(v, fn, self, arity, i, elem_or_null(self, i));
            if (i < self.arr()->vals.size()) self.arr()->vals[i] = r;
        }
        return ret(v, self);
    });
}
SQInteger a_filter(SQVM* v) {
    return guard(v, [&] {
        Value self = A(v, 1), fn = A(v, 2);
        ElemReader elem_or_null;
        SQArray* r = sq_array_new(SS(v), 0);
        Value rv(OT_ARRAY, r);
        sq_vpush(v, rv); // reachable for the collector while callbacks run
        size_t n = self.arr()->vals.size();
        for (size_t i = 0; i < n; ++i) {
            Value args[2] = {Value(SQInteger(i)), elem_or_null(self, i)};
            if (!is_false(sq_call_value(v, fn, self, args, 2))) r->vals.push_back(args[1]);
        }
        return SQInteger(1);
    });
}
SQInteger a_reduce(SQVM* v) {
    return guard(v, [&] {
        Value self = A(v, 1), fn = A(v, 2);
        ElemReader elem_or_null;
        size_t n = self.arr()->vals.size();
        size_t i = 0;
        Value acc;
        if (nargs(v) > 2)
            acc = A(v, 3);
        else {
            if (n == 0) return ret(v, Value());
            acc = elem_or_null(self, 0);
            i = 1;
        }
        for (; i < n; ++i) {
            Value args[2] = {acc, elem_or_null(self, i)};
            acc = sq_call_value(v, fn, self, args, 2);
        }
        return ret(v, acc);
    });
}

SQInteger sort_cmp(SQVM* v, const Value& fn, const Value& a, const Value& b) {
    if (fn.isNull()) return sq_compare(v, a, b);
    Value args[2] = {a, b};
    Value r = sq_call_value(v, fn, v->shared->roottable, args, 2);
    if (r.type() == OT_INTEGER) return r.i();
    if (r.type() == OT_FLOAT) return r.f() > 0 ? 1 : r.f() < 0 ? -1 : 0;
    if (r.type() == OT_BOOL) return r.b() ? 1 : 0;
    sq_raise(v, "numeric value expected as return value of the compare function");
}

struct SortCtx {
    SQVM* v;
    Value fn;
    SQArray* arr;
    size_t n;
    SQInteger cmp(const Value& a, const Value& b) {
        SQInteger c = sort_cmp(v, fn, a, b);
        // the comparator works on a copy: a resize would be silently undone
        if (arr->vals.size() != n) sq_raise(v, "array resized during sort operation");
        return c;
    }
};

// Heap sort: in place, no recursion, and the same order as Squirrel's for comparators that
// are not consistent (scripts written against it see the same result).
void sift_down(SortCtx& cx, std::vector<Value>& a, size_t root, size_t bottom) {
    for (;;) {
        size_t child = root * 2;
        if (child > bottom) return;
        if (child != bottom && cx.cmp(a[child], a[child + 1]) <= 0) ++child;
        if (cx.cmp(a[root], a[child]) >= 0) return;
        std::swap(a[root], a[child]);
        root = child;
    }
}
void heap_sort(SortCtx& cx, std::vector<Value>& a) {
    size_t n = a.size();
    if (n < 2) return;
    for (size_t i = n / 2 + 1; i-- > 0;) sift_down(cx, a, i, n - 1);
    for (size_t i = n - 1; i >= 1; --i) {
        std::swap(a[0], a[i]);
        sift_down(cx, a, 0, i - 1);
    }
}

SQInteger a_sort(SQVM* v) {
    return guard(v, [&] {
        Value self = A(v, 1);
        Value fn = nargs(v) > 1 ? A(v, 2) : Value();
        std::vector<Value> work = self.arr()->vals;
        SortCtx cx{v, fn, self.arr(), work.size()};
        heap_sort(cx, work);
        self.arr()->vals.swap(work);
        return ret(v, self);
    });
}

// ---------------------------------------------------------------- strings and numbers

bool parse_number(const char* s, SQInteger len, bool wantFloat, Value& out) {
    const char* p = s;
    const char* end = s + len;
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) ++p;
    const char* start = p;
    if (p < end && (*p == '-' || *p == '+')) ++p;
    const char* digits = p;
    while (p < end && isdigit((unsigned char)*p)) ++p;
    bool isf = false;
    SQInteger nd = p - digits;
    if (p < end && *p == '.') {
        isf = true;
        ++p;
        const char* fd = p;
        while (p < end && isdigit((unsigned char)*p)) ++p;
        nd += p - fd;
    }
    if (nd == 0) return false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        if (q < end && (*q == '+' || *q == '-')) ++q;
        if (q < end && isdigit((unsigned char)*q)) {
            isf = true;
            p = q;
            while (p < end && isdigit((unsigned char)*p)) ++p;
        }
    }
    std::string txt(start, size_t(p - start));
    if (isf) {
        SQFloat f = SQFloat(strtod(txt.c_str(), nullptr));
        out = wantFloat ? Value(f) : Value(sq_f2i(f));
        return true;
    }
    // integers saturate at the 64-bit range rather than wrapping
    SQInteger i = SQInteger(strtoll(txt.c_str(), nullptr, 10));
    out = wantFloat ? Value(SQFloat(i)) : Value(i);
    return true;
}

SQInteger s_len(SQVM* v) {
    return ret(v, Value(A(v, 1).str()->len));
}
SQInteger s_tointeger(SQVM* v) {
    SQString* s = A(v, 1).str();
    if (nargs(v) > 1) {
        SQInteger base = num_i(A(v, 2));
        // an unusable base reads as 0 when the text starts like a number
        bool badBase = base != 0 && (base < 2 || base > 36);
        char* endp = nullptr;
        long long r = strtoll(s->data, &endp, badBase ? 10 : int(base));
        if (endp == s->data) return fail(v, "cannot convert the string");
        if (badBase) r = 0;
        return ret(v, Value(SQInteger(r)));
    }
    Value out;
    if (!parse_number(s->data, s->len, false, out)) return fail(v, "cannot convert the string");
    return ret(v, out);
}
SQInteger s_tofloat(SQVM* v) {
    SQString* s = A(v, 1).str();
    Value out;
    if (!parse_number(s->data, s->len, true, out)) return fail(v, "cannot convert the string");
    return ret(v, out);
}
SQInteger s_slice(SQVM* v) {
    SQString* s = A(v, 1).str();
    SQInteger b, e;
    std::string err;
    if (!slice_args(v, s->len, b, e, err)) return fail(v, err);
    return ret(v, sq_mkstr(SS(v), s->data + b, e - b));
}
SQInteger s_find(SQVM* v) {
    SQString* s = A(v, 1).str();
    SQString* sub = A(v, 2).str();
    SQInteger start = nargs(v) > 2 ? num_i(A(v, 3)) : 0;
    if (start < 0 || start >= s->len) return ret(v, Value());
    // text after a NUL byte is not searched, as with C strings
    std::string_view hay(s->data, strnlen(s->data, size_t(s->len)));
    if (size_t(start) > hay.size()) return ret(v, Value());
    size_t pos =
        hay.find(std::string_view(sub->data, strnlen(sub->data, size_t(sub->len))), size_t(start));
    if (pos == std::string_view::npos) return ret(v, Value());
    return ret(v, Value(SQInteger(pos)));
}
// optional start and end bound the converted range
SQInteger s_case(SQVM* v, bool upper) {
    SQString* s = A(v, 1).str();
    std::string r(s->data, size_t(s->len));
    SQInteger b = nargs(v) > 1 ? std::clamp(num_i(A(v, 2)), SQInteger(0), s->len) : 0;
    SQInteger e =
        nargs(v) > 2 && sq_isnumeric(A(v, 3)) ? std::clamp(num_i(A(v, 3)), b, s->len) : s->len;
    for (SQInteger i = b; i < e; ++i) {
        unsigned char c = (unsigned char)r[size_t(i)];
        r[size_t(i)] = char(upper ? toupper(c) : tolower(c));
    }
    return ret(v, sq_mkstr(SS(v), r));
}
SQInteger s_tolower(SQVM* v) {
    return s_case(v, false);
}
SQInteger s_toupper(SQVM* v) {
    return s_case(v, true);
}

SQInteger n_tointeger(SQVM* v) {
    Value& o = A(v, 1);
    if (o.type() == OT_BOOL) return ret(v, Value(SQInteger(o.b() ? 1 : 0)));
    return ret(v, Value(num_i(o)));
}
SQInteger n_tofloat(SQVM* v) {
    Value& o = A(v, 1);
    if (o.type() == OT_BOOL) return ret(v, Value(SQFloat(o.b() ? 1 : 0)));
    return ret(v, Value(num_f(o)));
}
SQInteger n_tochar(SQVM* v) {
    const Value& o = A(v, 1);
    char c = o.type() == OT_BOOL ? char(o.b()) : char(num_i(o));
    return ret(v, sq_mkstr(SS(v), &c, 1));
}
SQInteger n_weakref(SQVM* v) {
    return ret(v, A(v, 1));
}

// ---------------------------------------------------------------- closures

SQInteger call_with(SQVM* v, const Value& fn, const std::vector<Value>& args) {
    return guard(v, [&] {
        Value thisv = args.empty() ? Value() : args[0];
        if (args.empty()) {
            SQInteger ci = (*v->cur).top;
            sq_vpush(v, fn);
            try {
                sq_call_at(v, ci, 0);
            } catch (...) {
                for (SQInteger i = (*v->cur).top - 1; i >= ci; --i)
                    (*v->cur).stack[size_t(i)].setNull();
                (*v->cur).top = ci;
                throw;
            }
            return SQInteger(1);
        }
        Value r = sq_call_value(v, fn, thisv, args.data() + 1, int(args.size() - 1));
        return ret(v, r);
    });
}
SQInteger c_call(SQVM* v) {
    std::vector<Value> args;
    for (SQInteger i = 2; i <= nargs(v); ++i) args.push_back(A(v, i));
    return call_with(v, A(v, 1), args);
}
SQInteger c_acall(SQVM* v) {
    Value arr = A(v, 2);
    std::vector<Value> args = arr.arr()->vals;
    return call_with(v, A(v, 1), args);
}
SQInteger c_getroot(SQVM* v) {
    const Value& f = A(v, 1);
    if (f.type() == OT_CLOSURE && f.clo()->root.type() == OT_TABLE) return ret(v, f.clo()->root);
    return ret(v, SS(v)->roottable);
}
SQInteger c_setroot(SQVM* v) {
    const Value& f = A(v, 1);
    if (f.type() != OT_CLOSURE) return fail(v, "native closures have no root table");
    f.clo()->root = A(v, 2);
    return ret(v, f);
}
SQInteger c_bindenv(SQVM* v) {
    if (SQ_FAILED(sq_bindenv(v, 1))) return SQ_ERROR;
    return 1;
}
SQInteger c_getinfos(SQVM* v) {
    Value f = A(v, 1);
    SQSharedState* ss = SS(v);
    SQTable* t = sq_table_new(ss);
    Value tv(OT_TABLE, t);
    auto set = [&](const char* k, const Value& val) { sq_table_set(t, sq_mkstr(ss, k), val); };
    if (f.type() == OT_CLOSURE) {
        SQFunctionProto* p = f.clo()->proto;
        set("native", Value(false));
        set("name", p->name);
        set("src", p->source);
        SQArray* params = sq_array_new(ss, 0);
        Value pv(OT_ARRAY, params);
        params->vals.push_back(sq_mkstr(ss, "this"));
        for (auto& n : p->paramNames) params->vals.push_back(n);
        if (p->varargs) {
            params->vals.push_back(sq_mkstr(ss, "vargv"));
            params->vals.push_back(sq_mkstr(ss, "..."));
        }
        set("parameters", pv);
        SQArray* defs = sq_array_new(ss, 0);
        Value dv(OT_ARRAY, defs);
        defs->vals = f.clo()->defaults;
        set("defparams", dv);
        set("varargs", Value(SQInteger(p->varargs ? 1 : 0)));
    } else {
        SQNativeClosure* nc = f.ncl();
        set("native", Value(true));
        set("name", nc->name);
        set("paramscheck", Value(nc->nparamscheck));
        Value tcv;
        if (!nc->typecheck.empty()) {
            SQArray* tc = sq_array_new(ss, 0);
            tcv = Value(OT_ARRAY, tc);
            for (uint32_t m : nc->typecheck) tc->vals.push_back(Value(SQInteger(m)));
        }
        set("typecheck", tcv);
    }
    return ret(v, tv);
}

// ---------------------------------------------------------------- generators, classes, instances,
// weakrefs, threads

SQInteger g_getstatus(SQVM* v) {
    static const char* names[] = {"suspended", "running", "dead"};
    return ret(v, sq_mkstr(SS(v), names[A(v, 1).gen()->state]));
}
SQInteger k_instance(SQVM* v) {
    return ret(v, sq_create_instance(v, A(v, 1).cls()));
}
SQInteger k_getbase(SQVM* v) {
    return SQ_SUCCEEDED(sq_getbase(v, 1)) ? 1 : SQ_ERROR;
}
// newmember/rawnewmember(name, value, attributes = null, static = false)
SQInteger class_newmember(SQVM* v, bool raw) {
    return guard(v, [&] {
        Value cls = A(v, 1), attrs = nargs(v) > 3 ? A(v, 4) : Value();
        bool st = nargs(v) > 4 && !is_false(A(v, 5));
        sq_class_newmember(v, cls, A(v, 2), A(v, 3), attrs, st, raw);
        return ret(v, cls);
    });
}
SQInteger k_newmember(SQVM* v) {
    return class_newmember(v, false);
}
SQInteger k_rawnewmember(SQVM* v) {
    return class_newmember(v, true);
}
SQInteger k_getattributes(SQVM* v) {
    Value out;
    if (!sq_class_getattributes(A(v, 1).cls(), A(v, 2), out)) return fail(v, "wrong index");
    return ret(v, out);
}
SQInteger k_setattributes(SQVM* v) {
    Value old;
    if (!sq_class_setattributes(v, A(v, 1).cls(), A(v, 2), A(v, 3), old))
        return fail(v, "wrong index");
    return ret(v, old);
}
SQInteger i_getclass(SQVM* v) {
    return ret(v, Value(OT_CLASS, A(v, 1).ins()->cls));
}
SQInteger w_ref(SQVM* v) {
    return ret(v, Value(A(v, 1).wr()->obj));
}

// first: start the thread's function; otherwise resume it with the caller's yielded value,
// or by raising *raise inside it (an error it does not catch reaches the caller only when
// propagate is set)
SQInteger thread_run(SQVM* v, SQVM* t, bool first, const Value* raise = nullptr,
                     bool propagate = true) {
    t->state = VM_RUNNING;
    t->suspendRequested = false;
    ExecState& es = t->es;
    try {
        if (first) {
            sq_call_at(t, 0, es.top - 1);
        } else {
            // resume the suspended frames: complete the pending native call with the wakeup value
            // (in the innermost generator when it suspended inside generators, which the thread
            // then resumes again on its way back in)
            ExecState& at = t->suspendedIn ? *t->suspendedIn : es;
            t->suspendedIn = nullptr;
            Frame& nf = at.frames.back();
            SQInteger ci = nf.target;
            for (SQInteger i = at.top - 1; i > ci; --i) at.stack[size_t(i)].setNull();
            at.stack[size_t(ci)] = raise ? Value() : (*v->cur).yielded;
            at.top = ci + 1;
            at.frames.pop_back();
            if (raise && &at == &es) {
                sq_continue_throw(t, *raise);
            } else {
                if (raise) {
                    t->raiseIn = &at;
                    t->wakeupError = *raise;
                }
                sq_continue(t);
            }
        }
    } catch (SQException& e) {
        t->state = VM_IDLE;
        t->raiseIn = nullptr;
        t->suspendedIn = nullptr;
        for (auto& s : es.stack) s.setNull();
        es.frames.clear();
        es.top = 0;
        if (!propagate) return 0;
        v->lasterror = e.value;
        return SQ_ERROR;
    }
    if (t->suspendRequested) {
        t->state = VM_SUSPENDED;
        return ret(v, es.yielded);
    }
    t->state = VM_IDLE;
    Value r = es.top > 0 ? es.stack[0] : Value();
    for (auto& s : es.stack) s.setNull();
    es.top = 0;
    return ret(v, r);
}
SQInteger th_call(SQVM* v) {
    SQVM* t = A(v, 1).thr();
    if (t->state == VM_RUNNING) return fail(v, "attempt to call 'thread'");
    if (t->state != VM_IDLE) return fail(v, "wrong status");
    if (t->threadClosure.isNull()) return fail(v, "the thread has no function");
    t->es.top = 0;
    sq_vpush(t, t->threadClosure);
    sq_vpush(t, SS(v)->roottable);
    for (SQInteger i = 2; i <= nargs(v); ++i) sq_vpush(t, A(v, i));
    return thread_run(v, t, true);
}
SQInteger wakeup_check(SQVM* v, SQVM* t) {
    if (t->state == VM_IDLE) return fail(v, "cannot wakeup a idle thread");
    if (t->state == VM_RUNNING) return fail(v, "cannot wakeup a running thread");
    return 0;
}
SQInteger th_wakeup(SQVM* v) {
    SQVM* t = A(v, 1).thr();
    if (t->state != VM_SUSPENDED) return wakeup_check(v, t);
    (*v->cur).yielded = nargs(v) > 1 ? A(v, 2) : Value();
    return thread_run(v, t, false);
}
// wakeupthrow(error, propagate = true): resumes the thread by raising error at its suspend
SQInteger th_wakeupthrow(SQVM* v) {
    SQVM* t = A(v, 1).thr();
    if (t->state != VM_SUSPENDED) return wakeup_check(v, t);
    Value err = A(v, 2);
    bool propagate = nargs(v) < 3 || !is_false(A(v, 3));
    return thread_run(v, t, false, &err, propagate);
}
SQInteger th_getstackinfos(SQVM* v) {
    SQVM* t = A(v, 1).thr();
    SQInteger level = num_i(A(v, 2));
    if (t == v) return stackinfos(v, v, level);
    if (t->state != VM_SUSPENDED || level < 0) return ret(v, Value());
    // the suspend call it waits in is not a level of its own
    bool inNative = !t->es.frames.empty() && (t->es.frames.back().flags & FRAME_NATIVE);
    return stackinfos(v, t, level + (inNative ? 1 : 0));
}
SQInteger th_getstatus(SQVM* v) {
    static const char* names[] = {"idle", "running", "suspended"};
    return ret(v, sq_mkstr(SS(v), names[A(v, 1).thr()->state]));
}

// ---------------------------------------------------------------- leaf shortcuts

// each checks this as its closure's type mask does: borrowed methods see other types
bool l_alen(const Value* a, SQInteger n, Value& out) {
    if (n != 1 || a[0].type() != OT_ARRAY) return false;
    out = Value(SQInteger(a[0].arr()->vals.size()));
    return true;
}
bool l_tlen(const Value* a, SQInteger n, Value& out) {
    if (n != 1 || a[0].type() != OT_TABLE) return false;
    out = Value(a[0].tab()->count);
    return true;
}
bool l_slen(const Value* a, SQInteger n, Value& out) {
    if (n != 1 || a[0].type() != OT_STRING) return false;
    out = Value(a[0].str()->len);
    return true;
}
bool l_append(const Value* a, SQInteger n, Value& out) {
    if (n != 2 || a[0].type() != OT_ARRAY || a[0].arr()->vals.size() >= MAX_ARRAY) return false;
    a[0].arr()->vals.push_back(a[1]);
    out = a[0];
    return true;
}
bool l_pop(const Value* a, SQInteger n, Value& out) {
    if (n != 1 || a[0].type() != OT_ARRAY || a[0].arr()->vals.empty()) return false;
    auto& vals = a[0].arr()->vals;
    out = std::move(vals.back());
    vals.pop_back();
    return true;
}
bool l_top(const Value* a, SQInteger n, Value& out) {
    if (n != 1 || a[0].type() != OT_ARRAY || a[0].arr()->vals.empty()) return false;
    out = a[0].arr()->vals.back();
    return true;
}
bool l_tointeger(const Value* a, SQInteger n, Value& out) {
    if (n != 1) return false;
    if (a[0].type() == OT_BOOL)
        out = Value(SQInteger(a[0].b() ? 1 : 0));
    else if (sq_isnumeric(a[0]))
        out = Value(num_i(a[0]));
    else
        return false;
    return true;
}
bool l_tofloat(const Value* a, SQInteger n, Value& out) {
    if (n != 1) return false;
    if (a[0].type() == OT_BOOL)
        out = Value(SQFloat(a[0].b() ? 1 : 0));
    else if (sq_isnumeric(a[0]))
        out = Value(num_f(a[0]));
    else
        return false;
    return true;
}

void set_leaf(SQSharedState* ss, SQTable* t, const char* name, SQLEAFFN f) {
    Value* p = sq_table_find(t, sq_mkstr(ss, name));
    if (p && p->type() == OT_NATIVECLOSURE) p->ncl()->leaf = f;
}

} // namespace

void sq_register_baselib(SQVM* v) {
    SQTable* root = v->shared->roottable.tab();
    reg(v, root, "print", base_print, 2, nullptr);
    reg(v, root, "error", base_error, 2, nullptr);
    reg(v, root, "getroottable", base_getroottable, 1, nullptr);
    reg(v, root, "setroottable", base_setroottable, 2, nullptr);
    reg(v, root, "getconsttable", base_getconsttable, 1, nullptr);
    reg(v, root, "setconsttable", base_setconsttable, 2, nullptr);
    reg(v, root, "resurrectunreachable", base_resurrectunreachable, 1, nullptr);
    reg(v, root, "assert", base_assert, -2, nullptr);
    reg(v, root, "array", base_array, -2, ".n");
    reg(v, root, "compilestring", base_compilestring, -2, ".ss");
    reg(v, root, "collectgarbage", base_collectgarbage, 1, nullptr);
    reg(v, root, "type", base_type, 2, nullptr);
    reg(v, root, "callee", base_callee, -1, nullptr);
    reg(v, root, "seterrorhandler", base_seterrorhandler, 2, ".c");
    reg(v, root, "newthread", base_newthread, 2, ".c");
    reg(v, root, "getstackinfos", base_getstackinfos, 2, ".n");
    reg(v, root, "enabledebuginfo", base_noop, 2, nullptr);
    reg(v, root, "setdebughook", base_noop, 2, nullptr);
    reg(v, root, "suspend", base_suspend, -1, nullptr);
    sq_table_set(root, sq_mkstr(v->shared, "_version_"), sq_mkstr(v->shared, SQUIRREL_VERSION));
    sq_table_set(root, sq_mkstr(v->shared, "_intsize_"), Value(SQInteger(8)));
    sq_table_set(root, sq_mkstr(v->shared, "_floatsize_"), Value(SQInteger(4)));
    sq_table_set(root, sq_mkstr(v->shared, "_charsize_"), Value(SQInteger(1)));
    sq_table_set(root, sq_mkstr(v->shared, "_versionnumber_"),
                 Value(SQInteger(SQUIRREL_VERSION_NUMBER)));
}

void sq_init_delegates(SQVM* v) {
    SQSharedState* ss = v->shared;
    auto mk = [&](Value& slot) {
        slot = Value(OT_TABLE, sq_table_new(ss));
        return slot.tab();
    };
    SQTable* t = mk(ss->delegates[0]);
    reg(v, t, "len", d_len, 1, "t");
    reg(v, t, "rawget", t_rawget, 2, "t");
    reg(v, t, "rawset", t_rawset, 3, "t");
    reg(v, t, "rawdelete", t_rawdelete, 2, "t");
    reg(v, t, "rawin", t_rawin, 2, "t");
    reg(v, t, "weakref", d_weakref, 1, nullptr);
    reg(v, t, "tostring", d_tostring, 1, nullptr);
    reg(v, t, "clear", t_clear, 1, "t");
    reg(v, t, "filter", t_filter, 2, "tc");
    reg(v, t, "setdelegate", t_setdelegate, 2, ".t|o");
    reg(v, t, "getdelegate", t_getdelegate, 1, nullptr);
    reg(v, t, "keys", t_keys, 1, "t");
    reg(v, t, "values", t_values, 1, "t");

    SQTable* a = mk(ss->delegates[1]);
    reg(v, a, "len", d_len, 1, "a");
    reg(v, a, "append", a_append, 2, "a");
    reg(v, a, "push", a_append, 2, "a");
    reg(v, a, "extend", a_extend, 2, "aa");
    reg(v, a, "pop", a_pop, 1, "a");
    reg(v, a, "top", a_top, 1, "a");
    reg(v, a, "insert", a_insert, 3, "an");
    reg(v, a, "remove", a_remove, 2, "an");
    reg(v, a, "resize", a_resize, -2, "an");
    reg(v, a, "sort", a_sort, -1, "ac");
    reg(v, a, "reverse", a_reverse, 1, "a");
    reg(v, a, "slice", a_slice, -1, "ann");
    reg(v, a, "weakref", d_weakref, 1, nullptr);
    reg(v, a, "tostring", d_tostring, 1, nullptr);
    reg(v, a, "clear", a_clear, 1, "a");
    reg(v, a, "map", a_map, 2, "ac");
    reg(v, a, "apply", a_apply, 2, "ac");
    reg(v, a, "reduce", a_reduce, -2, "ac");
    reg(v, a, "filter", a_filter, 2, "ac");
    reg(v, a, "find", a_find, 2, "a.");

    SQTable* s = mk(ss->delegates[2]);
    reg(v, s, "len", s_len, 1, "s");
    reg(v, s, "tointeger", s_tointeger, -1, "sn");
    reg(v, s, "tofloat", s_tofloat, 1, "s");
    reg(v, s, "tostring", d_tostring, 1, nullptr);
    reg(v, s, "slice", s_slice, -1, "snn");
    reg(v, s, "find", s_find, -2, "ssn");
    reg(v, s, "tolower", s_tolower, -1, "sn");
    reg(v, s, "toupper", s_toupper, -1, "sn");
    reg(v, s, "weakref", d_weakref, 1, nullptr);

    SQTable* n = mk(ss->delegates[3]);
    reg(v, n, "tointeger", n_tointeger, 1, "n|b");
    reg(v, n, "tofloat", n_tofloat, 1, "n|b");
    reg(v, n, "tostring", d_tostring, 1, nullptr);
    reg(v, n, "tochar", n_tochar, 1, "n|b");
    reg(v, n, "weakref", n_weakref, 1, nullptr);

    SQTable* c = mk(ss->delegates[4]);
    reg(v, c, "call", c_call, -1, "c");
    reg(v, c, "pcall", c_call, -1, "c");
    reg(v, c, "acall", c_acall, 2, "ca");
    reg(v, c, "pacall", c_acall, 2, "ca");
    reg(v, c, "weakref", d_weakref, 1, nullptr);
    reg(v, c, "tostring", d_tostring, 1, nullptr);
    reg(v, c, "bindenv", c_bindenv, 2, "ct|y|x");
    reg(v, c, "getroot", c_getroot, 1, "c");
    reg(v, c, "setroot", c_setroot, 2, "ct");
    reg(v, c, "getinfos", c_getinfos, 1, "c");

    SQTable* g = mk(ss->delegates[5]);
    reg(v, g, "getstatus", g_getstatus, 1, "g");
    reg(v, g, "weakref", d_weakref, 1, nullptr);
    reg(v, g, "tostring", d_tostring, 1, nullptr);

    SQTable* k = mk(ss->delegates[6]);
    reg(v, k, "instance", k_instance, 1, "y");
    reg(v, k, "getbase", k_getbase, 1, "y");
    reg(v, k, "rawin", t_rawin, 2, "y");
    reg(v, k, "rawget", t_rawget, 2, "y");
    reg(v, k, "rawset", t_rawset, 3, "y");
    reg(v, k, "newmember", k_newmember, -3, "y");
    reg(v, k, "rawnewmember", k_rawnewmember, -3, "y");
    reg(v, k, "getattributes", k_getattributes, 2, "y.");
    reg(v, k, "setattributes", k_setattributes, 3, "y..");
    reg(v, k, "weakref", d_weakref, 1, nullptr);
    reg(v, k, "tostring", d_tostring, 1, nullptr);

    SQTable* in = mk(ss->delegates[7]);
    reg(v, in, "getclass", i_getclass, 1, "x");
    reg(v, in, "rawin", t_rawin, 2, "x");
    reg(v, in, "rawget", t_rawget, 2, "x");
    reg(v, in, "rawset", t_rawset, 3, "x");
    reg(v, in, "weakref", d_weakref, 1, nullptr);
    reg(v, in, "tostring", d_tostring, 1, nullptr);

    SQTable* w = mk(ss->weakrefDelegate);
    reg(v, w, "ref", w_ref, 1, "w");
    reg(v, w, "weakref", d_weakref, 1, nullptr);
    reg(v, w, "tostring", d_tostring, 1, nullptr);

    SQTable* th = mk(ss->threadDelegate);
    reg(v, th, "call", th_call, -1, "v");
    reg(v, th, "wakeup", th_wakeup, -1, "v");
    reg(v, th, "wakeupthrow", th_wakeupthrow, -2, "v.b");
    reg(v, th, "getstatus", th_getstatus, 1, "v");
    reg(v, th, "getstackinfos", th_getstackinfos, 2, "vn");
    reg(v, th, "weakref", d_weakref, 1, nullptr);
    reg(v, th, "tostring", d_tostring, 1, nullptr);

    // the calls of per-element loops, answered without a call frame
    set_leaf(ss, t, "len", l_tlen);
    set_leaf(ss, a, "len", l_alen);
    set_leaf(ss, s, "len", l_slen);
    set_leaf(ss, a, "append", l_append);
    set_leaf(ss, a, "push", l_append);
    set_leaf(ss, a, "pop", l_pop);
    set_leaf(ss, a, "top", l_top);
    set_leaf(ss, n, "tointeger", l_tointeger);
    set_leaf(ss, n, "tofloat", l_tofloat);
}
