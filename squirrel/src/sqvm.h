// Internal interfaces shared by the compiler, the interpreter, the API and the libraries.
#pragma once
#include "sqobj.h"

#include <string>

// A script-level error travelling through native code as a C++ exception.
struct SQException {
    Value value;
    bool reported = false;
};

// strings
SQString* sq_str_new(SQSharedState* ss, const char* s, SQInteger len);
SQString* sq_str_concat(SQSharedState* ss, const char* a, SQInteger alen, const char* b,
                        SQInteger blen);
Value sq_mkstr(SQSharedState* ss, const char* s, SQInteger len = -1);
inline Value sq_mkstr(SQSharedState* ss, const std::string& s) {
    return sq_mkstr(ss, s.data(), SQInteger(s.size()));
}

// objects
void sq_gc_link(SQSharedState* ss, SQRefCounted* o, SQObjectType kind);
SQTable* sq_table_new(SQSharedState* ss, SQInteger cap = 0);
Value* sq_table_find(SQTable* t, const SQObject& key);
void sq_table_set(SQTable* t, const SQObject& key, const SQObject& val);
bool sq_table_remove(SQTable* t, const SQObject& key, Value* out);
bool sq_table_next(SQTable* t, SQInteger& iter, Value& k, Value& v);
void sq_table_clear(SQTable* t);
SQTable* sq_table_clone(SQTable* t);
SQArray* sq_array_new(SQSharedState* ss, SQInteger n);
SQClass* sq_class_new(SQSharedState* ss, SQClass* base);
SQInstance* sq_instance_new(SQSharedState* ss, SQClass* cls);
SQClosure* sq_closure_new(SQSharedState* ss, SQFunctionProto* p);
SQNativeClosure* sq_nclosure_new(SQSharedState* ss, SQFUNCTION f, SQInteger nouters);
SQFunctionProto* sq_proto_new(SQSharedState* ss);
SQWeakRef* sq_weakref_of(SQSharedState* ss, const SQObject& o);
SQUserData* sq_userdata_new(SQSharedState* ss, SQInteger size);
SQGenerator* sq_generator_new(SQSharedState* ss);
SQSharedState* sq_shared_new();
void sq_shared_free(SQSharedState* ss);
SQInteger sq_gc_collect(SQSharedState* ss);
void sq_free_all(SQSharedState* ss);
bool sq_class_add(SQVM* v, SQClass* c, const Value& key, const Value& val, bool isStatic);

// values
const char* sq_type_name(SQObjectType t);
// reads through weak references
SQ_INLINE Value sq_deref(const Value& v) {
    if (v.type() != OT_WEAKREF) return v;
    return Value(v.wr()->obj);
}
std::string sq_float_str(SQFloat f);
std::string sq_raw_str(const Value& v);   // no metamethods
std::string sq_print_val(const Value& v); // for error texts
Value sq_tostring(SQVM* v, const Value& o);
SQObjectType sq_typeof_raw(const Value& v);

// interpreter
[[noreturn]] void sq_raise(SQVM* v, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
[[noreturn]] void sq_raise_value(SQVM* v, const Value& e);
Value& sq_stk_invalid();
void sq_vpush_grow(SQVM* v, const Value& val);
// API index: 1 is the first slot of the running native's frame, -1 the top
inline SQInteger sq_absidx(SQVM* v, SQInteger idx) {
    ExecState& es = *v->cur;
    return idx >= 0 ? (es.frames.empty() ? 0 : es.frames.back().base) + idx - 1 : es.top + idx;
}
inline Value& sq_stk(SQVM* v, SQInteger idx) {
    SQInteger a = sq_absidx(v, idx);
    ExecState& es = *v->cur;
    if (a < 0 || a >= es.top) return sq_stk_invalid();
    return es.stack[size_t(a)];
}
inline void sq_vpush(SQVM* v, const Value& val) {
    ExecState& es = *v->cur;
    if (es.top < SQInteger(es.stack.size())) {
        es.stack[size_t(es.top++)] = val;
        return;
    }
    sq_vpush_grow(v, val);
}
void sq_vpop(SQVM* v, SQInteger n);
void sq_ensure_stack(ExecState& es, SQInteger need);
// calls the value at es.stack[callee] with nargs values after it (this first); the result
// replaces the callee slot and top becomes callee+1
void sq_call_at(SQVM* v, SQInteger callee, SQInteger nargs);
// convenience: call fn with this + args, returns result
Value sq_call_value(SQVM* v, const Value& fn, const Value& thisv, const Value* args, int nargs);
bool sq_get(SQVM* v, const Value& obj, const Value& key, Value& out, bool raw = false);
void sq_set(SQVM* v, const Value& obj, const Value& key, const Value& val, bool raw = false);
void sq_newslot_op(SQVM* v, const Value& obj, const Value& key, const Value& val, bool bstatic);
void sq_class_newmember(SQVM* v, const Value& cls, const Value& key, const Value& val,
                        const Value& attrs, bool bstatic, bool raw);
// attributes of a member, or of the class itself for a null name; false for no such member
bool sq_class_getattributes(SQClass* c, const Value& name, Value& out);
bool sq_class_setattributes(SQVM* v, SQClass* c, const Value& name, const Value& val, Value& old);
Value sq_delete_op(SQVM* v, const Value& obj, const Value& key, bool raw = false);
bool sq_equals(const Value& a, const Value& b);
SQInteger sq_compare(SQVM* v, const Value& a, const Value& b);
Value sq_clone_op(SQVM* v, const Value& o);
Value sq_typeof_op(SQVM* v, const Value& o);
bool sq_get_meta(SQVM* v, const Value& obj, MetaMethod m, Value& out);
void sq_resume_generator(SQVM* v, SQGenerator* g, Value& out, bool fromScript = false);
void sq_call_errorhandler(SQVM* v, const Value& err);
Value sq_create_instance(SQVM* v, SQClass* c);
SQInteger sq_frame_line(const Frame& f);
void sq_continue(SQVM* t); // resumes a suspended thread's frames
// resumes a suspended thread by raising err where it suspended
void sq_continue_throw(SQVM* t, const Value& err);

// compiler: returns the compiled closure or throws SQException with the message (after calling
// the compile error handler when raiseerror)
Value sq_compile(SQVM* v, const char* src, SQInteger len, const char* sourcename, bool raiseerror);

// libraries
void sq_register_baselib(SQVM* v);
void sq_init_delegates(SQVM* v);
